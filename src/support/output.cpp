#include "support/output.hpp"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace orvane::output {

namespace {

constexpr size_t BUFFER_LIMIT = 1 << 16;

struct Buffer {
  std::string data;
  bool line_buffered = isatty(STDOUT_FILENO) == 1;
  bool discard = false;
};

Buffer& buffer() {
  static Buffer b;
  return b;
}

[[noreturn]] void fail_write(int error) {
  if (error == EPIPE) _exit(128 + SIGPIPE);  // the reader has gone: end quietly
  static constexpr std::string_view message = "Error: failed to write output\n";
  ssize_t ignored = ::write(STDERR_FILENO, message.data(), message.size());
  (void)ignored;
  _exit(1);
}

}  // namespace

void set_discard(bool discard) { buffer().discard = discard; }

bool discarding() { return buffer().discard; }

void write(std::string_view text) {
  Buffer& b = buffer();
  if (b.discard) return;
  b.data += text;
  if (b.data.size() >= BUFFER_LIMIT ||
      (b.line_buffered && text.find('\n') != std::string_view::npos))
    flush();
}

void flush() {
  std::string& data = buffer().data;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_write(errno);
    }
    done += static_cast<size_t>(n);
  }
  data.clear();
}

}  // namespace orvane::output
