#include "repl.hpp"

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "repl_support.hpp"
#include "repl_terminal.hpp"
#include "run_guard.hpp"
#include "support/input.hpp"
#include "support/interrupt.hpp"
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
      case '(':
      case '[':
        count_up(parens);
        break;
      case ')':
      case ']':
        count_down(parens);
        break;
      case '{':
        count_up(braces);
        break;
      case '}':
        count_down(braces);
        break;
      default:
        break;
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
  try {
    failure = run_guarded([&] {
      interp.prepare();
      for (const StmtPtr& stmt : program) interp.execute(*stmt);
    });
  } catch (const Interrupted&) {
    // Ctrl-C: what was printed stays, the prompt starts on a line of its own.
    interp.recover();
    output::write("\n");
    return;
  }
  if (failure) {
    interp.recover();
    report(*failure);
  }
}

// The loop's state between lines: the interpreter, the bracket counters and the held lines.
class Session {
 public:
  const char* prompt() const { return m_parens == 0 && m_braces == 0 ? ">>> " : "... "; }

  // Handles one line as read (line end included or not); false when it ends the loop. A
  // finished entry is handed to `editor`, when there is one, before it runs.
  bool take_line(std::string_view line, LineEditor* editor) {
    std::string_view trimmed = unicode::trim_white_space(line);
    if (trimmed.empty()) return true;
    if (trimmed == "exit" || trimmed == "quit") {
      output::write("Goodbye!\n");
      return false;
    }
    count_brackets(trimmed, m_parens, m_braces);
    if (m_parens > 0 || m_braces > 0) {
      m_held.emplace_back(trimmed);
      return true;
    }
    std::string text;
    for (const std::string& h : m_held) {
      text += h;
      text += '\n';
    }
    text += trimmed;
    m_held.clear();
    if (editor) {
      editor->remember(text);
      editor->learn(text);
    }
    run_entry(m_interp, text);
    return true;
  }

  // Ctrl-C at the prompt: the unfinished entry is dropped and a new one begins.
  void discard_entry() {
    m_held.clear();
    m_parens = m_braces = 0;
  }

 private:
  Interpreter m_interp;
  int32_t m_parens = 0, m_braces = 0;
  std::vector<std::string> m_held;
};

// Standard input is a pipe or a file: lines are read as they come.
void run_plain(Session& session) {
  for (;;) {
    output::write(session.prompt());
    output::flush();
    std::optional<std::string> line = input::read_line();
    if (!line || !unicode::is_valid_utf8(*line)) return;  // end of input: no farewell
    if (!session.take_line(*line, nullptr)) return;
  }
}

// A person at a terminal: lines come through the line editor. A line recalled from a
// multi-line entry is taken line by line, as if typed again.
void run_on_terminal(Session& session) {
  LineEditor editor;
  for (;;) {
    output::flush();
    interrupt::take();  // a Ctrl-C that came after the last entry ended asks for nothing
    std::string text;
    switch (editor.read(session.prompt(), text)) {
      case LineEditor::Read::End:
        output::write("\n");
        return;
      case LineEditor::Read::Interrupted:
        output::write("^C\n");
        session.discard_entry();
        continue;
      case LineEditor::Read::Line:
        break;
    }
    if (!unicode::is_valid_utf8(text)) return;
    for (std::string_view line : repl::split_lines(text))
      if (!session.take_line(line, &editor)) return;
  }
}

}  // namespace

void run_repl() {
  output::write("Welcome to Orvane Interactive REPL!\nType 'exit' to quit.\n\n");
  Session session;
  if (terminal_session())
    run_on_terminal(session);
  else
    run_plain(session);
  output::flush();
}

}  // namespace orvane
