// orvane: runs an Orvane script, or the interactive loop when no script is named.
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "cli.hpp"
#include "repl.hpp"
#include "run_guard.hpp"
#include "support/interrupt.hpp"
#include "support/output.hpp"
#include "support/unicode.hpp"

namespace orvane {
namespace {

constexpr std::string_view DEBUG_BANNER = "\x1b[33m[\x1b[93mORVANE\x1b[33m]\x1b[0m ";
constexpr std::string_view DEBUG_RULE = "─────────────────────────────────";

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
  double ms =
      (static_cast<double>(ns / 1000000000) + static_cast<double>(ns % 1000000000) / 1e9) * 1000.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", ms);
  return buf;
}

// The thread that runs scripts; a stop signal delivered elsewhere is passed on to it, so that a
// read it is blocked in returns early.
pthread_t g_runner;
// Set while that thread runs a script, so that no signal is passed on to a thread that ended.
volatile std::sig_atomic_t g_forwarding = 0;

void on_stop_signal(int signal) {
  int saved = errno;
  interrupt::request(signal);
  if (g_forwarding && !pthread_equal(pthread_self(), g_runner)) pthread_kill(g_runner, signal);
  errno = saved;
}

// Ctrl-C, SIGTERM and SIGHUP ask the running script to stop. No SA_RESTART: a blocking read
// fails with EINTR and the reader checks for the request.
void install_stop_handlers() {
  g_runner = pthread_self();
  g_forwarding = 1;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

// A script may take this share of the memory limit: its tokens and syntax tree need several
// times the room of its text.
constexpr uint64_t SCRIPT_SHARE_OF_MEMORY = 8;

int fail(std::string_view message) {
  output::flush();
  write_stderr(std::string(message) + "\n");
  return 1;
}

int run_script_or_throw(const CommandLine& cl) {
  using Clock = std::chrono::steady_clock;
  bool debug = cl.debug;
  debug_log(debug, DEBUG_RULE);
  debug_log(debug, "Starting Orvane interpreter...");
  if (!has_script_extension(cl.file)) return fail("Error: Only .ov files are allowed.");
  std::string text, error;
  if (!read_script(cl.file, allocation_limit() / SCRIPT_SHARE_OF_MEMORY, text, error))
    return fail("Error: Failed to read the file: " + error);
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

// A stop signal ends the run with the conventional status, 128 and the signal's number. By the
// time it gets here the interpreter and its window are gone; what was printed still goes out.
int run_script(const CommandLine& cl) {
  install_stop_handlers();
  int status;
  try {
    status = run_script_or_throw(cl);
  } catch (const Interrupted& stop) {
    output::flush();
    status = 128 + stop.signal;
  }
  g_forwarding = 0;
  return status;
}

int dispatch_or_throw(const CommandLine& cl) {
  switch (cl.action) {
    case CommandLine::Help:
      output::write(USAGE);
      break;
    case CommandLine::Version:
      output::write(VERSION_LINE);
      break;
    case CommandLine::Repl:
      run_repl();
      break;
    case CommandLine::Run:
      return run_script(cl);
  }
  output::flush();
  return 0;
}

// Memory can run out outside a script's run too (the interactive loop gathering a line, say):
// that ends the process with the same message, never with an uncaught exception.
int dispatch(const CommandLine& cl) {
  try {
    return dispatch_or_throw(cl);
  } catch (const std::bad_alloc&) {
    return fail("Error: out of memory");
  } catch (const OutOfMemory&) {
    return fail("Error: out of memory");
  }
}

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_DFL);  // a closed pipe ends the run quietly, as with other tools
  std::vector<std::string> args(argv + 1, argv + argc);
  orvane::CommandLine cl = orvane::parse_arguments(args);
  return orvane::dispatch(cl);
}
