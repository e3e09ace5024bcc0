#include "jet_engine/format/file_header.h"

#include "jet_engine/format/little_endian.h"

#include <array>
#include <cstring>
#include <utility>

namespace jet_engine {

namespace {

constexpr std::size_t maskStart = 0x18;
constexpr std::size_t versionOffset = 0x14;
constexpr std::size_t codePageOffset = 0x3C;
constexpr unsigned jet3Version = 0;
// Access 2019, the newest format the header names.
constexpr unsigned newestVersion = 0x06;

// The RC4 key stream every Jet file masks its settings with.
std::array<unsigned char, 128> maskStream()
{
    constexpr unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<unsigned char, 256> s{};
    for (unsigned i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    unsigned char j = 0;
    for (unsigned i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + s[i] + key[i % 4]);
        std::swap(s[i], s[j]);
    }
    std::array<unsigned char, 128> stream{};
    unsigned char x = 0;
    unsigned char y = 0;
    for (unsigned char &out : stream) {
        x = static_cast<unsigned char>(x + 1);
        y = static_cast<unsigned char>(y + s[x]);
        std::swap(s[x], s[y]);
        out = s[static_cast<unsigned char>(s[x] + s[y])];
    }
    return stream;
}

} // namespace

void toggleHeaderMask(unsigned char *page, bool jet3)
{
    static const std::array<unsigned char, 128> stream = maskStream();
    const std::size_t masked = jet3 ? 126 : 128;
    for (std::size_t k = 0; k < masked; ++k)
        page[maskStart + k] ^= stream[k];
}

Outcome<FileFormat> readHeader(const unsigned char *page, std::size_t size)
{
    static constexpr unsigned char magic[4] = {0x00, 0x01, 0x00, 0x00};
    if (size < headerBytes || std::memcmp(page, magic, 4) != 0
        || (std::memcmp(page + 4, "Standard Jet DB", 16) != 0 && std::memcmp(page + 4, "Standard ACE DB", 16) != 0))
        return Status::NotADatabase;
    const unsigned version = page[versionOffset];
    if (version > newestVersion)
        return Status::NotADatabase;
    FileFormat format;
    format.jet3 = version == jet3Version;
    format.pageSize = format.jet3 ? 2048 : 4096;
    unsigned char settings[headerBytes];
    std::memcpy(settings, page, headerBytes);
    toggleHeaderMask(settings, format.jet3);
    format.codePage = le16(settings + codePageOffset);
    return format;
}

} // namespace jet_engine
