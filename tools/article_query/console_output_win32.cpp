#include "console_output.h"

#include "jet_engine/text/unicode_text.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <windows.h>

namespace console_output {
namespace {

// Lenient, so that a designation the engine could only partly decode still
// shows, its undecodable bytes as U+FFFD, as the grid shows it.
std::wstring toConsoleText(std::string_view utf8)
{
    std::wstring text;
    text.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = jet_engine::nextCodePoint(utf8, pos);
        if (c >= 0x10000) {
            text.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<wchar_t>(c));
        }
    }
    return text;
}

// Older consoles refuse a single write of more than about 64 KB; pieces
// end between surrogate pairs so that none is split.
bool writeConsole(HANDLE console, const std::wstring &text)
{
    constexpr std::size_t piece = 8192;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t count = std::min(piece, text.size() - at);
        if (at + count < text.size() && text[at + count - 1] >= 0xD800 && text[at + count - 1] <= 0xDBFF)
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data() + at, static_cast<DWORD>(count), &written, nullptr) || written == 0)
            return false;
        at += written;
    }
    return true;
}

bool write(DWORD which, std::FILE *stream, std::string_view utf8)
{
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode))
        return writeConsole(handle, toConsoleText(utf8));
    // The C library's text mode turns each '\n' into CR LF, as Windows
    // programs end their lines in files and pipes.
    const bool written = std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
    return std::fflush(stream) == 0 && written;
}

} // namespace

bool writeOut(std::string_view utf8) { return write(STD_OUTPUT_HANDLE, stdout, utf8); }
bool writeErr(std::string_view utf8) { return write(STD_ERROR_HANDLE, stderr, utf8); }

} // namespace console_output
