#pragma once
// The file's first page: whether it is a Jet file at all, which format, and
// the code page Jet 3 text is stored in. Most of the page's settings lie
// under a fixed RC4 mask.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/status.h"

#include <cstddef>
#include <cstdint>

namespace jet_engine {

// How many bytes of the first page readHeader needs.
constexpr std::size_t headerBytes = 0x18 + 128;

// The format the page names. NotADatabase for anything that is not the
// first page of a Jet 3, Jet 4 or ACE file.
Outcome<FileFormat> readHeader(const unsigned char *page, std::size_t size);

// Applies (or, being an XOR, removes) the mask over the first page's
// settings: 126 bytes in Jet 3, 128 in Jet 4 and ACE.
void toggleHeaderMask(unsigned char *page, bool jet3);

} // namespace jet_engine
