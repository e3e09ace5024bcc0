#pragma once
// A scripted stand-in for the engine: it records every text it is asked to
// open and answers with fixed rows, failing where the script says: with a
// status, or by running out of memory. Its sets have no faster way to give
// their rows than the engine's own walk over them.

#include "jet_engine/engine.h"

#include <QStringList>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace fake {

using jet_engine::FieldValue;
using jet_engine::Outcome;
using jet_engine::Status;
using Cells = std::vector<std::optional<std::string>>;

struct Script {
    Cells rows;
    bool openFails = false;
    std::size_t fieldFailsAt = SIZE_MAX;
    std::size_t moveNextFailsAt = SIZE_MAX;
    std::size_t eofFailsAt = SIZE_MAX;
    bool openThrows = false;
    std::size_t fieldThrowsAt = SIZE_MAX;
    std::size_t moveNextThrowsAt = SIZE_MAX;
    std::size_t eofThrowsAt = SIZE_MAX;
};

class Recordset : public jet_engine::Recordset {
public:
    explicit Recordset(const Script &script)
        : m_script(script)
        , m_rows(std::make_shared<const Cells>(script.rows))
    {
    }

    Status moveFirst() override
    {
        if (m_rows->empty())
            return Status::NoCurrentRow;
        m_position = 0;
        return Status::Ok;
    }
    Outcome<bool> eof() const override
    {
        if (m_position == m_script.eofFailsAt)
            return Status::ReadFailed;
        if (m_position == m_script.eofThrowsAt)
            throw std::bad_alloc();
        return m_position >= m_rows->size();
    }
    Status moveNext() override
    {
        if (m_position >= m_rows->size())
            return Status::NoCurrentRow;
        if (m_position == m_script.moveNextFailsAt)
            return Status::ReadFailed;
        if (m_position == m_script.moveNextThrowsAt)
            throw std::bad_alloc();
        ++m_position;
        return Status::Ok;
    }
    Outcome<FieldValue> field(int index) const override
    {
        if (index != 0 || m_position >= m_rows->size())
            return Status::NoCurrentRow;
        if (m_position == m_script.fieldFailsAt)
            return Status::ReadFailed;
        if (m_position == m_script.fieldThrowsAt)
            throw std::bad_alloc();
        const auto &cell = (*m_rows)[m_position];
        return cell ? FieldValue{FieldValue::Kind::Text, *cell} : FieldValue{};
    }
    std::shared_ptr<const void> storage() const override { return m_rows; }

private:
    Script m_script;
    std::shared_ptr<const Cells> m_rows;
    std::size_t m_position = 0;
};

class Database : public jet_engine::Database {
public:
    Script script;
    QStringList queries;

    Outcome<std::shared_ptr<jet_engine::Recordset>> openRecordset(std::u16string_view text) override
    {
        queries << QString::fromUtf16(text.data(), qsizetype(text.size()));
        if (script.openFails)
            return Status::SyntaxError;
        if (script.openThrows)
            throw std::bad_alloc();
        return std::shared_ptr<jet_engine::Recordset>(std::make_shared<Recordset>(script));
    }
};

} // namespace fake
