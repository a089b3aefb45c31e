// Text helpers of the interactive loop on a terminal: the names Tab completes, where history is
// kept, and cleaning an edited line. Kept apart from the line editor so they can be tested alone.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lexer/token.hpp"

namespace orvane::repl {

// Adds the names that `tokens` define to `names`: targets of let, def, for, catch, global and
// of assignments, and function parameters.
void collect_defined_names(const TokenList& tokens, std::set<std::string>& names);

// The words Tab offers for `prefix`, sorted and without repeats: keywords, builtin names and
// the names defined in the session.
std::vector<std::string> completions(std::string_view prefix,
                                     const std::set<std::string>& session_names);

// The history file: under `state_home` when it is an absolute path, else under `home`'s
// ~/.local/state; empty when neither is usable.
std::string history_path(const char* state_home, const char* home);

// Removes terminal escape sequences and control characters other than tab and line feed, so
// no key sequence can reach the scanner or the bracket counter.
std::string strip_escape_sequences(std::string_view line);

// Splits `text` at line feeds; a text without one is a single line.
std::vector<std::string_view> split_lines(std::string_view text);

}  // namespace orvane::repl
