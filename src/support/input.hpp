// Line reading from standard input, shared by the input builtin and the interactive loop.
#pragma once

#include <optional>
#include <string>

namespace orvane::input {

// Flushes standard output, then reads one line, its line feed included. At the end of input
// the remaining bytes form the last line; with none left the result is empty (nullopt). On a
// terminal the end of input holds for one read only. Throws Interrupted when a stop is
// requested while it waits.
std::optional<std::string> read_line();

}  // namespace orvane::input
