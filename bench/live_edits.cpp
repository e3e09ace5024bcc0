#include "live_edits.h"

#include "designations.h"

#include <cstdio>

namespace live_edits {

namespace {

// bench-make-db's.
constexpr std::uint64_t seed = 20261208;

std::string markerOf(int i)
{
    // No designation holds a Q followed by a W.
    return std::string("ZQW") + static_cast<char>('A' + i % 26) + static_cast<char>('A' + i / 26 % 26);
}

} // namespace

void print(const Edit &edit, const std::optional<Seen> &seen)
{
    // A window that never lists it says so, and the benchmark goes on.
    if (!seen)
        std::printf("live %s never\n", edit.kind);
    else
        std::printf("live %s %.3f %.3f %d\n", edit.kind, seen->detectMs, seen->refreshMs, seen->rows);
    std::fflush(stdout);
}

std::string Colleague::open(const std::string &path) { return m_editor.open(path); }

std::optional<Edit> Colleague::make(int i)
{
    const std::string marker = markerOf(i);
    std::string error;
    Edit edit{i % 2 ? "added" : "inplace", marker, {}};
    if (i % 2) {
        mdb_writer::Row row{marker + " AJOUT", static_cast<std::int32_t>(9'900'000 + i), 1.5};
        error = m_editor.addRow("ARTICLE", row, mdb_writer::Times::Kept);
    } else {
        // Rows spread over the first hundred thousand, present in every size.
        std::size_t index = 1000 + static_cast<std::size_t>(i) * 7919 % 99'000;
        while (designations::missing(seed, index))
            ++index;
        const std::string was = designations::designation(seed, index);
        // As long as it was, give or take a character cut in two.
        std::size_t cut = marker.size();
        while (cut < was.size() && (static_cast<unsigned char>(was[cut]) & 0xC0) == 0x80)
            ++cut;
        const std::string text = cut < was.size() ? marker + was.substr(cut) : marker;
        error = m_editor.setText("ARTICLE", index, "ARTICLE", text, mdb_writer::Times::Kept);
    }
    edit.made = Clock::now();
    if (!error.empty()) {
        std::fprintf(stderr, "live edit %d: %s\n", i, error.c_str());
        return std::nullopt;
    }
    return edit;
}

} // namespace live_edits
