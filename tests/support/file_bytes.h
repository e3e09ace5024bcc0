#pragma once
// Little-endian numbers in a file's bytes held as a string, for tests that
// read or patch pages by hand.

#include "jet_engine/format/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace test_support {

inline std::uint16_t le16(const std::string &bytes, std::size_t at)
{
    return jet_engine::le16(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

inline std::uint32_t le32(const std::string &bytes, std::size_t at)
{
    return jet_engine::le32(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

inline void put16(std::string &bytes, std::size_t at, std::uint32_t value)
{
    jet_engine::put16(reinterpret_cast<unsigned char *>(bytes.data()) + at, value);
}

inline void put32(std::string &bytes, std::size_t at, std::uint32_t value)
{
    jet_engine::put32(reinterpret_cast<unsigned char *>(bytes.data()) + at, value);
}

} // namespace test_support
