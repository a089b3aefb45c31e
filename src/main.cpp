// orvane: runs an Orvane script, or the interactive loop when no script is named.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"
#include "repl.hpp"
#include "run_guard.hpp"
#include "support/output.hpp"
#include "support/unicode.hpp"

namespace orvane {
namespace {

constexpr std::string_view DEBUG_BANNER = "\x1b[33m[\x1b[93mORVANE\x1b[33m]\x1b[0m ";
constexpr std::string_view DEBUG_RULE =
    "─────────────────────────────────";

void write_stderr(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void debug_log(bool debug, std::string_view message) {
  if (!debug) return;
  std::string line(DEBUG_BANNER);
  line += message;
  line += '\n';
  write_stderr(line);
}

std::string milliseconds(std::chrono::steady_clock::duration d) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  double ms = (static_cast<double>(ns / 1000000000) + static_cast<double>(ns % 1000000000) / 1e9) *
              1000.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", ms);
  return buf;
}

// Reads the whole file; on failure returns false with the description in `error`.
bool read_file(const std::string& path, std::string& text, std::string& error) {
  auto os_error = [&](int code) {
    error = std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
    return false;
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return os_error(errno);
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int code = errno;
      ::close(fd);
      return os_error(code);
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!unicode::is_valid_utf8(text)) {
    error = "stream did not contain valid UTF-8";
    return false;
  }
  return true;
}

int fail(std::string_view message) {
  output::flush();
  write_stderr(std::string(message) + "\n");
  return 1;
}

int run_script(const CommandLine& cl) {
  using Clock = std::chrono::steady_clock;
  bool debug = cl.debug;
  debug_log(debug, DEBUG_RULE);
  debug_log(debug, "Starting Orvane interpreter...");
  if (!has_script_extension(cl.file)) return fail("Error: Only .ov files are allowed.");
  std::string text, error;
  if (!read_file(cl.file, text, error)) return fail("Error: Failed to read the file: " + error);
  debug_log(debug, "File read successfully (" + std::to_string(text.size()) + " bytes)");

  TokenList tokens;
  Program program;
  Clock::duration tokenizing{}, parsing{}, executing{};
  std::optional<std::string> failure = run_guarded([&] {
    auto t0 = Clock::now();
    tokens = tokenize(text);
    tokenizing = Clock::now() - t0;
    debug_log(debug, "Tokenization completed in " + milliseconds(tokenizing) + "ms");
    t0 = Clock::now();
    program = Parser::parse_program(tokens);
    parsing = Clock::now() - t0;
    debug_log(debug, "Parsing completed in " + milliseconds(parsing) + "ms");
  });
  if (failure) return fail(*failure);

  debug_log(debug, "Starting execution...");
  debug_log(debug, DEBUG_RULE);
  auto t0 = Clock::now();
  failure = run_guarded([&] { run_program(program); });
  executing = Clock::now() - t0;
  if (failure) return fail(*failure);
  output::flush();
  debug_log(debug, DEBUG_RULE);
  debug_log(debug, "Tokenization: " + milliseconds(tokenizing) + "ms");
  debug_log(debug, "Parsing:      " + milliseconds(parsing) + "ms");
  debug_log(debug, "Execution:    " + milliseconds(executing) + "ms");
  debug_log(debug, DEBUG_RULE);
  return 0;
}

int dispatch(const CommandLine& cl) {
  switch (cl.action) {
    case CommandLine::Help: output::write(USAGE); break;
    case CommandLine::Version: output::write(VERSION_LINE); break;
    case CommandLine::Repl: run_repl(); break;
    case CommandLine::Run: return run_script(cl);
  }
  output::flush();
  return 0;
}

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_DFL);  // a closed pipe ends the run quietly, as with other tools
  std::vector<std::string> args(argv + 1, argv + argc);
  orvane::CommandLine cl = orvane::parse_arguments(args);
  return orvane::dispatch(cl);
}
