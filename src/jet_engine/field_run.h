#pragma once

#include "jet_engine/field_value.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace jet_engine {

// Values that do not lie in one buffer: each row's found when asked for.
class RowTexts {
public:
    virtual ~RowTexts() = default;
    virtual std::string_view text(std::uint32_t row) const = 0;
};

// One field over many rows of a set, nulls left out, as views into the
// set's storage, which the run keeps alive: a grid can take a million rows
// in one step and turn into text only the rows it shows.
class FieldRun {
public:
    FieldRun() = default;
    // Row r's text is text[offsets[r] .. offsets[r + 1] - 1): one byte that
    // is not the value's follows each. The run's rows are rows[0 .. count),
    // or first, first + 1, ... when `rows` is null. Every pointer stays
    // valid as long as `keepAlive` does.
    FieldRun(FieldValue::Kind kind, const char *text, const std::uint32_t *offsets, const std::uint32_t *rows,
             std::uint32_t first, std::size_t count, std::shared_ptr<const void> keepAlive)
        : m_kind(kind)
        , m_text(text)
        , m_offsets(offsets)
        , m_rows(rows)
        , m_first(first)
        , m_count(count)
        , m_keepAlive(std::move(keepAlive))
    {
    }

    // The same over values found one by one through `texts`.
    FieldRun(FieldValue::Kind kind, const RowTexts *texts, const std::uint32_t *rows, std::uint32_t first,
             std::size_t count, std::shared_ptr<const void> keepAlive)
        : m_kind(kind)
        , m_texts(texts)
        , m_rows(rows)
        , m_first(first)
        , m_count(count)
        , m_keepAlive(std::move(keepAlive))
    {
    }

    FieldValue::Kind kind() const { return m_kind; }
    std::size_t size() const { return m_count; }

    std::string_view operator[](std::size_t i) const
    {
        assert(i < m_count);
        const std::uint32_t row = m_rows ? m_rows[i] : m_first + static_cast<std::uint32_t>(i);
        if (m_texts)
            return m_texts->text(row);
        return {m_text + m_offsets[row], m_offsets[row + 1] - 1 - m_offsets[row]};
    }

    // The first `count` values alone.
    FieldRun first(std::size_t count) const
    {
        FieldRun shorter = *this;
        shorter.m_count = count < m_count ? count : m_count;
        return shorter;
    }

    const std::shared_ptr<const void> &keepAlive() const { return m_keepAlive; }

private:
    FieldValue::Kind m_kind = FieldValue::Kind::Text;
    const char *m_text = nullptr;
    const std::uint32_t *m_offsets = nullptr;
    const RowTexts *m_texts = nullptr;
    const std::uint32_t *m_rows = nullptr;
    std::uint32_t m_first = 0;
    std::size_t m_count = 0;
    std::shared_ptr<const void> m_keepAlive;
};

} // namespace jet_engine
