// The pieces of the linter: what the parser reported while it forgave the input, and the
// checks that turn that, the tokens and the tree into notes at tokens.
#pragma once

#include <string>
#include <vector>

#include "lexer/token.hpp"
#include "parser/ast.hpp"
#include "parser/observer.hpp"

namespace orvane::lint {

struct Event {
  Forgiven what;
  size_t at;
  size_t end;
};

// Records the parser's reports. A placeholder 0 that the parser gave up again (a skip or an
// empty statement at the same token follows it at once) is not kept.
class Recorder : public ParseObserver {
 public:
  void forgiven(Forgiven what, size_t at, size_t end) override;
  const std::vector<Event>& events() const { return m_events; }

 private:
  std::vector<Event> m_events;
};

// A finding at the token with index `token`.
struct Note {
  size_t token;
  std::string text;
  // A statement left out: the token where it failed. A character dropped between `token` and
  // there explains it better, and the note is not shown.
  size_t failed_at = 0;
};

// What every check reads.
struct Parsed {
  const TokenList& tokens;
  const std::vector<uint32_t>& lines;  // the line of each token
  const std::vector<Event>& events;
  const Program& program;
};

// Notes for the parser's reports (skipped tokens, statements left out, placeholders, ...).
void check_forgiven(const Parsed& parsed, std::vector<Note>& notes);
// A return whose value begins on a later line.
void check_returns(const Parsed& parsed, std::vector<Note>& notes);
// Checks on the tree: builtins called with too few arguments, functions a builtin hides,
// top-level lets whose effects happen twice in a script without main.
void check_tree(const Parsed& parsed, std::vector<Note>& notes);

// Marks the tokens of the ranges [from, to) among `count` tokens, in time linear in both.
std::vector<bool> covered(const std::vector<std::pair<size_t, size_t>>& ranges, size_t count);

// A token as the writer wrote it, in backquotes ("`let`", "`x`", "`42`", "a string").
std::string spell(const Token& token);
// `text` in backquotes.
std::string code(std::string_view text);

}  // namespace orvane::lint
