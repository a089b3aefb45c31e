#include "repl.hpp"

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "run_guard.hpp"
#include "support/input.hpp"
#include "support/output.hpp"
#include "support/unicode.hpp"

namespace orvane {

namespace {

// Counters saturate at the smallest value instead of wrapping.
void count_down(int32_t& depth) {
  if (depth > INT32_MIN) --depth;
}
void count_up(int32_t& depth) {
  if (depth < INT32_MAX) ++depth;
}

// Brackets inside strings and comments count like all others.
void count_brackets(std::string_view line, int32_t& parens, int32_t& braces) {
  for (char c : line) {
    switch (c) {
      case '(': case '[': count_up(parens); break;
      case ')': case ']': count_down(parens); break;
      case '{': count_up(braces); break;
      case '}': count_down(braces); break;
      default: break;
    }
  }
}

void report(const std::string& message) {
  output::flush();
  std::string line = message + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

void run_entry(Interpreter& interp, const std::string& text) {
  Program program;
  // An entry that cannot be scanned or parsed is dropped before it touches the interpreter,
  // so a return, break or continue left from earlier entries stays in effect.
  std::optional<std::string> failure = run_guarded([&] {
    TokenList tokens = tokenize(text);
    program = Parser::parse_program(tokens);
  });
  if (failure) {
    report(*failure);
    return;
  }
  failure = run_guarded([&] {
    interp.prepare();
    for (const StmtPtr& stmt : program) interp.execute(*stmt);
  });
  if (failure) {
    interp.recover();
    report(*failure);
  }
}

}  // namespace

void run_repl() {
  output::write("Welcome to Orvane Interactive REPL!\nType 'exit' to quit.\n\n");
  Interpreter interp;
  int32_t parens = 0, braces = 0;
  std::vector<std::string> held;
  for (;;) {
    output::write(parens == 0 && braces == 0 ? ">>> " : "... ");
    output::flush();
    std::optional<std::string> line = input::read_line();
    if (!line || !unicode::is_valid_utf8(*line)) break;  // end of input: no farewell
    std::string_view trimmed = unicode::trim_white_space(*line);
    if (trimmed.empty()) continue;
    if (trimmed == "exit" || trimmed == "quit") {
      output::write("Goodbye!\n");
      break;
    }
    count_brackets(trimmed, parens, braces);
    if (parens > 0 || braces > 0) {
      held.emplace_back(trimmed);
      continue;
    }
    std::string text;
    for (const std::string& h : held) {
      text += h;
      text += '\n';
    }
    text += trimmed;
    held.clear();
    run_entry(interp, text);
  }
  output::flush();
}

}  // namespace orvane
