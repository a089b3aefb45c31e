#include "lint/lint.hpp"

#include <algorithm>

#include "lint/checks.hpp"
#include "parser/parser.hpp"

namespace orvane::lint {

namespace {

bool is_skip(Forgiven what) {
  return what == Forgiven::TokenSkipped || what == Forgiven::ElementSkipped ||
         what == Forgiven::ArmTokenSkipped || what == Forgiven::KeySkipped;
}

std::vector<Finding> findings_at(const std::vector<Note>& notes,
                                 const std::vector<SourcePosition>& positions) {
  std::vector<Finding> out;
  for (const Note& n : notes) {
    SourcePosition at = positions[std::min(n.token, positions.size() - 1)];
    Finding f{at, false, n.text};
    bool repeated = !out.empty() && out.back().text == f.text &&
                    out.back().position.line == at.line && out.back().position.column == at.column;
    if (!repeated) out.push_back(std::move(f));
  }
  return out;
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
  TokenList tokens;
  try {
    tokens = tokenize(source, positions);
  } catch (const LiteralTooLarge& e) {
    return {Finding{position_of(source, e.offset), true,
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
  return findings_at(notes, positions);
}

std::string format(std::string_view file, const Finding& finding) {
  return std::string(file) + ":" + std::to_string(finding.position.line) + ":" +
         std::to_string(finding.position.column) + (finding.error ? ": error: " : ": warning: ") +
         finding.text;
}

}  // namespace orvane::lint
