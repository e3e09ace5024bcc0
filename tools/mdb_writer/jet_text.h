#pragma once
// Text as Jet stores it. Jet 4: UTF-16 code units, written either as UCS-2 LE
// or, when every unit fits in one byte and that saves space, in the
// "compressed" form (0xFF 0xFE, then one byte per character). Jet 3: bytes of
// the machine's code page, Windows-1252 for the Western European systems
// this data comes from.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mdb_writer::jet_text {

// Replaces `out` with the UTF-16 form of `utf8`; characters beyond the BMP
// become surrogate pairs. Returns false (and leaves `out` unspecified) when
// `utf8` is not well-formed UTF-8.
bool toUtf16(std::string_view utf8, std::u16string &out);

// Appends the stored bytes of `text`. Long memo values are never compressed
// by Jet, so the caller says whether compression is allowed.
void appendJet4(std::u16string_view text, bool allowCompression, std::vector<std::uint8_t> &out);

// Appends the Windows-1252 bytes of `text`; returns false when a character
// has none (and leaves `out` unspecified).
bool appendCp1252(std::u16string_view text, std::vector<std::uint8_t> &out);

// Appends the characters of Windows-1252 bytes; its five unassigned bytes
// stand for the C1 controls of the same number, as Windows maps them.
void appendFromCp1252(const std::uint8_t *bytes, std::size_t size, std::u16string &out);

} // namespace mdb_writer::jet_text
