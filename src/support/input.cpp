#include "support/input.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "support/interrupt.hpp"
#include "support/memory.hpp"
#include "support/output.hpp"

namespace orvane::input {

namespace {

struct Reader {
  char buffer[1 << 14];
  size_t start = 0;
  size_t end = 0;
  bool at_end = false;
  // A terminal's end of input (Ctrl-D) ends one read only; a pipe's or a file's is final.
  bool end_is_final = isatty(STDIN_FILENO) != 1;
  bool echo_end = !end_is_final && isatty(STDOUT_FILENO) == 1;

  bool fill() {
    if (at_end) return false;
    start = end = 0;
    for (;;) {
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        interrupt::check();  // a stop signal ends the wait
        continue;
      }
      if (n <= 0) {
        at_end = end_is_final;
        return false;
      }
      end = static_cast<size_t>(n);
      return true;
    }
  }
};

Reader& reader() {
  static Reader r;
  return r;
}

}  // namespace

std::optional<std::string> read_line() {
  output::flush();
  Reader& r = reader();
  std::string line;
  for (;;) {
    if (r.start == r.end && !r.fill()) break;
    // A line without end (standard input from /dev/zero) would take all memory; the caller
    // needs room for a copy or two beside it.
    if (line.size() > memory::environment_limit() / 4) throw std::bad_alloc();
    const char* from = r.buffer + r.start;
    const void* nl = std::memchr(from, '\n', r.end - r.start);
    if (nl) {
      size_t take = static_cast<size_t>(static_cast<const char*>(nl) - from) + 1;
      line.append(from, take);
      r.start += take;
      return line;
    }
    line.append(from, r.end - r.start);
    r.start = r.end;
  }
  if (line.empty()) {
    // Ctrl-D leaves the cursor after the prompt; what follows starts on a line of its own.
    if (r.echo_end) output::write("\n");
    return std::nullopt;
  }
  return line;
}

}  // namespace orvane::input
