#include "repl_support.hpp"

#include <algorithm>

#include "interpreter/builtins.hpp"
#include "lexer/lexer.hpp"

namespace orvane::repl {

namespace {

bool is_name(const TokenList& tokens, size_t i) {
  return i < tokens.size() && tokens[i].kind() == TokenKind::Identifier;
}

bool is_assignment(TokenKind kind) {
  switch (kind) {
    case TokenKind::Assign:
    case TokenKind::PlusAssign:
    case TokenKind::MinusAssign:
    case TokenKind::StarAssign:
    case TokenKind::SlashAssign:
      return true;
    default:
      return false;
  }
}

bool introduces_name(TokenKind kind) {
  switch (kind) {
    case TokenKind::Let:
    case TokenKind::Def:
    case TokenKind::For:
    case TokenKind::Catch:
    case TokenKind::Global:
      return true;
    default:
      return false;
  }
}

// The names of a parameter list that starts at `i` (just after the "(" of a def); commas
// between them are optional.
void collect_parameters(const TokenList& tokens, size_t i, std::set<std::string>& names) {
  while (is_name(tokens, i)) {
    names.insert(tokens[i].text());
    ++i;
    if (i < tokens.size() && tokens[i].kind() == TokenKind::Comma) ++i;
  }
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Length of the escape sequence that starts at `i` (an ESC): a CSI sequence runs to its final
// byte, SS3 ("ESC O") takes one more character, any other ESC takes the next one.
size_t escape_length(std::string_view s, size_t i) {
  size_t j = i + 1;
  if (j >= s.size() || static_cast<unsigned char>(s[j]) < 0x20) return 1;
  if (s[j] == 'O') return std::min<size_t>(3, s.size() - i);
  if (s[j] != '[') return 2;
  for (++j; j < s.size(); ++j) {
    unsigned char c = static_cast<unsigned char>(s[j]);
    if (c >= 0x40 && c <= 0x7e) return j - i + 1;
    if (c < 0x20 || c > 0x3f) return j - i;  // broken off: keep what follows
  }
  return s.size() - i;
}

}  // namespace

void collect_defined_names(const TokenList& tokens, std::set<std::string>& names) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    TokenKind kind = tokens[i].kind();
    if (introduces_name(kind) && is_name(tokens, i + 1)) {
      names.insert(tokens[i + 1].text());
      if (kind == TokenKind::Def && i + 2 < tokens.size() &&
          tokens[i + 2].kind() == TokenKind::LeftParen)
        collect_parameters(tokens, i + 3, names);
    } else if (kind == TokenKind::Identifier && i + 1 < tokens.size() &&
               is_assignment(tokens[i + 1].kind())) {
      names.insert(tokens[i].text());
    }
  }
}

std::vector<std::string> completions(std::string_view prefix,
                                     const std::set<std::string>& session_names) {
  std::set<std::string> found;
  auto offer = [&](std::string_view word) {
    if (starts_with(word, prefix)) found.emplace(word);
  };
  for (std::string_view word : keyword_spellings()) offer(word);
  for (std::string_view word : builtin_names()) offer(word);
  for (const std::string& word : session_names) offer(word);
  return {found.begin(), found.end()};
}

std::string history_path(const char* state_home, const char* home) {
  if (state_home && state_home[0] == '/') return std::string(state_home) + "/orvane/history";
  if (home && home[0] != '\0') return std::string(home) + "/.local/state/orvane/history";
  return "";
}

std::string strip_escape_sequences(std::string_view line) {
  std::string clean;
  clean.reserve(line.size());
  for (size_t i = 0; i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == 0x1b) {
      i += escape_length(line, i);
      continue;
    }
    if ((c >= 0x20 && c != 0x7f) || c == '\t' || c == '\n') clean += line[i];
    ++i;
  }
  return clean;
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    size_t nl = text.find('\n');
    lines.push_back(text.substr(0, nl));
    if (nl == std::string_view::npos) return lines;
    text.remove_prefix(nl + 1);
  }
}

}  // namespace orvane::repl
