#include "lint/lint.hpp"

#include <algorithm>
#include <cstdio>
#include <map>

#include "lint/checks.hpp"
#include "parser/parser.hpp"
#include "support/unicode.hpp"

namespace orvane::lint {

namespace {

bool is_skip(Forgiven what) {
  return what == Forgiven::TokenSkipped || what == Forgiven::ElementSkipped ||
         what == Forgiven::ArmTokenSkipped || what == Forgiven::KeySkipped;
}

bool before(const SourcePosition& a, const SourcePosition& b) {
  return a.line != b.line ? a.line < b.line : a.column < b.column;
}

// Whether one of `dropped` (in order) lies between `from` and `to`.
bool any_between(const std::vector<SourcePosition>& dropped, SourcePosition from,
                 SourcePosition to) {
  auto first = std::upper_bound(dropped.begin(), dropped.end(), from, before);
  return first != dropped.end() && before(*first, to);
}

std::vector<Finding> findings_at(const std::vector<Note>& notes,
                                 const std::vector<SourcePosition>& positions,
                                 const std::vector<SourcePosition>& dropped) {
  std::vector<Finding> out;
  auto at = [&](size_t token) { return positions[std::min(token, positions.size() - 1)]; };
  for (const Note& n : notes) {
    if (n.failed_at > n.token && any_between(dropped, at(n.token), at(n.failed_at))) continue;
    Finding f{at(n.token), false, n.text};
    bool repeated =
        !out.empty() && out.back().text == f.text && !before(out.back().position, f.position);
    if (!repeated) out.push_back(std::move(f));
  }
  return out;
}

size_t utf8_length(unsigned char lead) {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Characters that show as nothing or as a blank: control characters, no-break and other
// spaces, zero-width and direction marks, the byte-order mark.
bool is_invisible(char32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xA0) || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x205F && c <= 0x206F) || c == 0x3000 || c == 0xFEFF;
}

// `run` as the writer sees it, with invisible characters as U+XXXX.
std::string shown(std::string_view run) {
  std::string out;
  for (size_t pos = 0; pos < run.size();) {
    size_t start = pos;
    char32_t c = unicode::decode(run, pos);
    if (is_invisible(c)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += run.substr(start, pos - start);
    }
  }
  return code(out);
}

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Characters that show as a blank and separate what stands around them as one would.
bool is_blank_like(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

template <class Test>
bool all_of(std::string_view run, Test test) {
  for (size_t pos = 0; pos < run.size();)
    if (!test(unicode::decode(run, pos))) return false;
  return true;
}

bool all_invisible(std::string_view run) { return all_of(run, is_invisible); }

std::string why_dropped(std::string_view run, char after) {
  if (all_invisible(run)) return " is dropped and splits what stands around it in two";
  if (run.find_first_not_of('&') == std::string_view::npos)
    return " is dropped: there is no such operator; write `and`";
  if (run.find_first_not_of('|') == std::string_view::npos)
    return " is dropped: there is no such operator; write `or`";
  if (run.find('\'') != std::string_view::npos)
    return " is dropped: strings are written in double quotes";
  if (static_cast<unsigned char>(run[0]) >= 0x80 && is_name_byte(after))
    return " is dropped: a name begins with an ASCII letter or `_`";
  return " is dropped: no token begins with it";
}

// One finding for each run of adjacent characters the scanner dropped, except invisible ones
// that do what a blank would, and quotes after the first on a line.
std::vector<Finding> dropped_characters(std::string_view source,
                                        const std::vector<size_t>& offsets) {
  std::vector<size_t> starts;
  std::vector<std::string_view> runs;
  for (size_t offset : offsets) {
    size_t length = utf8_length(static_cast<unsigned char>(source[offset]));
    if (!runs.empty() && starts.back() + runs.back().size() == offset)
      runs.back() = source.substr(starts.back(), runs.back().size() + length);
    else {
      starts.push_back(offset);
      runs.push_back(source.substr(offset, length));
    }
  }
  std::vector<SourcePosition> positions = positions_of(source, starts);
  std::vector<Finding> out;
  uint32_t quote_line = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (runs[i] == "'" && positions[i].line == quote_line) continue;
    if (runs[i] == "'") quote_line = positions[i].line;
    size_t after = starts[i] + runs[i].size();
    char next = after < source.size() ? source[after] : '\0';
    char before = starts[i] > 0 ? source[starts[i] - 1] : '\0';
    // A blank-like character splits as a blank does; a zero-width one is a surprise only
    // where it splits what looks like one name.
    if (all_of(runs[i], is_blank_like)) continue;
    if (all_invisible(runs[i]) && !(is_name_byte(before) && is_name_byte(next))) continue;
    out.push_back(Finding{positions[i], false, shown(runs[i]) + why_dropped(runs[i], next)});
  }
  return out;
}

// Where "//" stands, written as if it began a comment: two "/" tokens side by side.
std::vector<SourcePosition> double_slashes(const TokenList& tokens,
                                           const std::vector<SourcePosition>& positions) {
  std::vector<SourcePosition> out;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const SourcePosition &a = positions[i], &b = positions[i + 1];
    if (tokens[i].kind() == TokenKind::Slash && tokens[i + 1].kind() == TokenKind::Slash &&
        a.line == b.line && a.column + 1 == b.column && (out.empty() || out.back().line != a.line))
      out.push_back(a);
  }
  return out;
}

// What follows "//" on its line is no code the writer meant: findings there are dropped, and
// the "//" itself is the one finding.
void explain_double_slashes(const std::vector<SourcePosition>& slashes,
                            std::vector<Finding>& findings) {
  std::map<uint32_t, uint32_t> comment_from;  // line -> column of its "//"
  for (const SourcePosition& p : slashes) comment_from[p.line] = p.column;
  std::erase_if(findings, [&](const Finding& f) {
    auto c = comment_from.find(f.position.line);
    return c != comment_from.end() && f.position.column >= c->second;
  });
  for (const SourcePosition& p : slashes)
    findings.push_back(Finding{p, false,
                               "`//` begins no comment: it reads as two divisions with a 0 "
                               "between them, and the rest of the line as code; comments begin "
                               "with `#`"});
}

}  // namespace

void check_returns(const Parsed& parsed, std::vector<Note>& notes) {
  const std::vector<uint32_t>& lines = parsed.lines;
  std::vector<bool> skipped(parsed.tokens.size(), false);
  for (const Event& e : parsed.events)
    if (is_skip(e.what) && e.at < skipped.size()) skipped[e.at] = true;
  for (size_t r = 0; r + 1 < parsed.tokens.size(); ++r) {
    if (parsed.tokens[r].kind() != TokenKind::Return || skipped[r]) continue;
    TokenKind next = parsed.tokens[r + 1].kind();
    // These end a return without a value; anything else is its value, wherever it stands.
    if (next == TokenKind::RightBrace || next == TokenKind::Semicolon || next == TokenKind::Eof)
      continue;
    if (lines[r + 1] == lines[r]) continue;
    notes.push_back({r, "`return` takes its value from the next line: the expression at " +
                            spell(parsed.tokens[r + 1]) + " on line " +
                            std::to_string(lines[r + 1]) +
                            " is returned; write `return;` to return nothing"});
  }
}

std::vector<Finding> lint_source(std::string_view source) {
  std::vector<SourcePosition> positions;
  std::vector<size_t> dropped;
  TokenList tokens;
  try {
    tokens = tokenize(source, positions, &dropped);
  } catch (const LiteralTooLarge& e) {
    return {Finding{positions_of(source, {e.offset})[0], true,
                    "integer literal too large: " + e.digits + "; nothing runs"}};
  }
  Recorder recorder;
  Program program;
  try {
    program = Parser::parse_program(tokens, &recorder);
  } catch (const NestingTooDeep&) {
    return {Finding{SourcePosition{1, 1}, true, "nesting too deep; nothing runs"}};
  }
  std::vector<uint32_t> lines;
  lines.reserve(positions.size());
  for (const SourcePosition& p : positions) lines.push_back(p.line);
  Parsed parsed{tokens, lines, recorder.events(), program};

  std::vector<Note> notes;
  check_forgiven(parsed, notes);
  check_returns(parsed, notes);
  check_tree(parsed, notes);
  std::stable_sort(notes.begin(), notes.end(),
                   [](const Note& a, const Note& b) { return a.token < b.token; });
  std::vector<Finding> characters = dropped_characters(source, dropped);
  std::vector<SourcePosition> dropped_at;
  for (const Finding& f : characters) dropped_at.push_back(f.position);
  std::vector<Finding> out = findings_at(notes, positions, dropped_at);
  for (Finding& f : characters) out.push_back(std::move(f));
  explain_double_slashes(double_slashes(tokens, positions), out);
  std::stable_sort(out.begin(), out.end(), [](const Finding& a, const Finding& b) {
    return before(a.position, b.position);
  });
  return out;
}

std::string format(std::string_view file, const Finding& finding) {
  return std::string(file) + ":" + std::to_string(finding.position.line) + ":" +
         std::to_string(finding.position.column) + (finding.error ? ": error: " : ": warning: ") +
         finding.text;
}

}  // namespace orvane::lint
