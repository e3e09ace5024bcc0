#include "console_output.h"

#include <cstdio>

namespace console_output {
namespace {

bool write(std::FILE *stream, std::string_view utf8)
{
    const bool written = std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
    return std::fflush(stream) == 0 && written;
}

} // namespace

bool writeOut(std::string_view utf8) { return write(stdout, utf8); }
bool writeErr(std::string_view utf8) { return write(stderr, utf8); }

} // namespace console_output
