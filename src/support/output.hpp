// Buffered standard output. Line-buffered on a terminal, fully buffered otherwise; flushed
// before standard input is read, after every prompt, before an error exit and at the end.
#pragma once

#include <string_view>

namespace orvane::output {

void write(std::string_view text);
// Writes everything buffered. A failed write reports "Error: failed to write output" on
// standard error and ends the process with status 1; a closed pipe ends it quietly.
void flush();
// Drops everything written from now on (for the fuzz target).
void set_discard(bool discard);
bool discarding();

}  // namespace orvane::output
