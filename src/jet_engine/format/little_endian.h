#pragma once
// Jet stores every number least significant byte first. Read by our row
// reader; written by the test writer and the tests' hand-made pages.

#include <cstdint>

namespace jet_engine {

inline std::uint16_t le16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t le24(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16);
}
inline std::uint32_t le32(const unsigned char *p)
{
    return le24(p) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t le64(const unsigned char *p)
{
    return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

inline void put16(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put32(unsigned char *p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

} // namespace jet_engine
