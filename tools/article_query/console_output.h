#pragma once
// Where article-query's text goes: standard output and standard error, as
// UTF-8 text. A Windows console shows UTF-8 bytes in its own code page, so
// there the text is written to the console as UTF-16; redirected to a file or
// a pipe, on every system, the bytes are UTF-8 with the system's line ends.

#include <string_view>

namespace console_output {

// Each returns false when the text could not be written in full.
bool writeOut(std::string_view utf8);
bool writeErr(std::string_view utf8);

} // namespace console_output
