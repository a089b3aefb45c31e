// Notes for what the parser reported while it forgave the input.
#include <algorithm>
#include <charconv>

#include "lint/checks.hpp"
#include "parser/dump.hpp"

namespace orvane::lint {

namespace {

bool is_assignment(TokenKind k) {
  return k == TokenKind::Assign || k == TokenKind::PlusAssign || k == TokenKind::MinusAssign ||
         k == TokenKind::StarAssign || k == TokenKind::SlashAssign;
}

// Keywords that begin a statement and can begin no expression.
bool begins_statement_only(TokenKind k) {
  switch (k) {
    case TokenKind::Let:
    case TokenKind::Def:
    case TokenKind::Return:
    case TokenKind::If:
    case TokenKind::While:
    case TokenKind::For:
    case TokenKind::Match:
    case TokenKind::Try:
    case TokenKind::Global:
    case TokenKind::Break:
    case TokenKind::Continue:
      return true;
    default:
      return false;
  }
}

std::string closer_of(TokenKind open) {
  switch (open) {
    case TokenKind::LeftParen:
      return "`)`";
    case TokenKind::LeftBracket:
      return "`]`";
    default:
      return "`}`";
  }
}

class ForgivenChecks {
 public:
  ForgivenChecks(const Parsed& parsed, std::vector<Note>& notes)
      : m_tokens(parsed.tokens), m_lines(parsed.lines), m_events(parsed.events), m_notes(notes) {}

  void run() {
    std::vector<bool> shadowed = covered(shadows(), m_tokens.size());
    for (size_t i = 0; i < m_events.size(); ++i)
      if (m_events[i].at >= shadowed.size() || !shadowed[m_events[i].at]) i = take(i);
  }

 private:
  uint32_t line(size_t index) const { return m_lines[std::min(index, m_lines.size() - 1)]; }

  // Token ranges whose reports follow from an earlier mistake. A statement left out casts its
  // shadow over the rest of the line where parsing resumed and over any brackets opened there
  // (the block after a broken header becomes a dict). An unclosed bracket that swallowed later
  // lines casts its shadow over those lines.
  std::vector<std::pair<size_t, size_t>> shadows() const {
    std::vector<std::pair<size_t, size_t>> out;
    size_t line_shadow_end = 0;
    for (const Event& e : m_events) {
      if (e.what == Forgiven::StatementLeftOut && e.at >= line_shadow_end) {
        line_shadow_end = rest_of_line(e.end);  // one inside this shadow adds nothing to it
        out.emplace_back(e.end, line_shadow_end);
      } else if (e.what == Forgiven::CloserMissing && line(e.end) > line(e.at)) {
        auto next_line = std::upper_bound(m_lines.begin(), m_lines.end(), line(e.at));
        out.emplace_back(static_cast<size_t>(next_line - m_lines.begin()), e.end);
      }
    }
    return out;
  }

  // The first token after `start`'s line and the brackets opened on it; the brace closing
  // an enclosing block ends it early.
  size_t rest_of_line(size_t start) const {
    int depth = 0;
    size_t i = start;
    for (; i < m_tokens.size() && kind(i) != TokenKind::Eof; ++i) {
      if (depth == 0 && line(i) != line(start)) break;
      TokenKind k = kind(i);
      if (k == TokenKind::LeftBrace || k == TokenKind::LeftBracket || k == TokenKind::LeftParen) {
        ++depth;
      } else if (k == TokenKind::RightBrace && depth == 0) {
        break;
      } else if (depth > 0 && (k == TokenKind::RightBrace || k == TokenKind::RightBracket ||
                               k == TokenKind::RightParen)) {
        --depth;
      }
    }
    return i;
  }

  const Token& token(size_t index) const {
    return index < m_tokens.size() ? m_tokens[index] : m_tokens.back();
  }
  TokenKind kind(size_t index) const { return token(index).kind(); }
  std::string found(size_t index) const { return spell(token(index)); }

  void note(size_t at, std::string text) { m_notes.push_back(Note{at, std::move(text)}); }

  // Handles the event at `i` (and any it merges with); returns the index of the last one used.
  size_t take(size_t i) {
    const Event& e = m_events[i];
    if (in_arm_cascade(e)) return i;
    switch (e.what) {
      case Forgiven::MissingExpression:
        missing_expression(e.at);
        break;
      case Forgiven::TokenSkipped:
      case Forgiven::ElementSkipped:
      case Forgiven::ArmTokenSkipped:
      case Forgiven::KeySkipped:
        return skipped_run(i);
      case Forgiven::StatementLeftOut:
        statement_left_out(e.at, e.end);
        break;
      case Forgiven::EmptyStatement:
        break;  // a stray ";" does nothing
      case Forgiven::ElseDropped:
        else_dropped(e.at);
        break;
      case Forgiven::UnbracedArm:
        unbraced_arm(e.at, e.end);
        break;
      case Forgiven::ArmLeftOut:
        note(e.at, "expected `=>` after the match pattern, found " + found(e.end) +
                       ": the pattern is discarded and no arm is added");
        break;
      case Forgiven::KeyDropped:
        note(e.at, "dict key " + found(e.at) + " without `:` is dropped");
        break;
      case Forgiven::DotDropped:
        note(e.at, "`.` not followed by a name is dropped");
        break;
      case Forgiven::ArgumentsDropped:
        note(e.at,
             "only plain names can be called: these arguments are discarded and nothing "
             "is called");
        break;
      case Forgiven::CloserMissing:
      case Forgiven::BlockNotClosed:
        return closer_missing(i);
    }
    return i;
  }

  // After an arm whose assignment or statement was cut off, the tokens the arm loop then skips
  // or discards belong to the same mistake.
  bool in_arm_cascade(const Event& e) {
    if (m_cascade == NONE || e.at != m_cascade) return false;
    if (e.what != Forgiven::ArmTokenSkipped && e.what != Forgiven::ArmLeftOut) return false;
    m_cascade = e.end;
    return true;
  }

  void missing_expression(size_t at) {
    if (kind(at) == TokenKind::Eof)  // shown at the last token, not on a line of its own
      note(at > 0 ? at - 1 : at, "missing expression at the end of the file: read as 0");
    else
      note(at, "missing expression before " + found(at) + ": read as 0");
  }

  // Tokens with a message of their own are never merged into a run.
  bool stands_alone(size_t at) const {
    TokenKind k = kind(at);
    return is_assignment(k) || k == TokenKind::Else || k == TokenKind::Catch;
  }

  size_t skipped_run(size_t i) {
    const Event& first = m_events[i];
    if (first.what == Forgiven::TokenSkipped && stands_alone(first.at)) {
      skipped_alone(first.at);
      return i;
    }
    size_t last = i;
    while (last + 1 < m_events.size() && m_events[last + 1].what == first.what &&
           m_events[last + 1].at == m_events[last].end && !stands_alone(m_events[last + 1].at))
      ++last;
    size_t count = last - i + 1;
    std::string list;
    for (size_t j = i; j <= last && j < i + 4; ++j)
      list += (j == i ? "" : ", ") + found(m_events[j].at);
    if (count > 4) list += " and " + std::to_string(count - 4) + " more";
    note(first.at, list + " skipped: " + skip_reason(first.what, first.at, count > 1));
    return last;
  }

  std::string skip_reason(Forgiven what, size_t at, bool many) const {
    std::string them = many ? "them" : "it";
    switch (what) {
      case Forgiven::ElementSkipped:
        return "no element of a list can begin with " + them;
      case Forgiven::KeySkipped:
        return "dict keys are bare names followed by `:`";
      case Forgiven::ArmTokenSkipped:
        if (kind(at) == TokenKind::Comma) return "match arms are not separated by commas";
        return "no match arm can begin with " + them;
      default:
        return "no statement can begin with " + them;
    }
  }

  // A skipped "=" after an element or member, a stray "else" or "catch".
  void skipped_alone(size_t at) {
    TokenKind k = kind(at);
    if (k == TokenKind::Else) {
      note(at, "`else` skipped: it does not follow the block of an `if`");
    } else if (k == TokenKind::Catch) {
      note(at, "`catch` skipped: it does not follow the block of a `try`");
    } else if (at > 0 && kind(at - 1) == TokenKind::RightBracket) {
      note(at,
           "assignment to an element is ignored: only plain names can be assigned, and "
           "values never change in place");
    } else if (at > 1 && kind(at - 1) == TokenKind::Identifier && kind(at - 2) == TokenKind::Dot) {
      note(at,
           "assignment to a member is ignored: only plain names can be assigned, and "
           "values never change in place");
    } else {
      note(at, found(at) + " skipped: only plain names can be assigned");
    }
  }

  void statement_left_out(size_t at, size_t end) {
    TokenKind k = kind(at);
    std::string text = code(token_kind_name(k)) + " statement left out: expected " +
                       expected_in(k, at, end) + ", found " + found(end);
    if (k == TokenKind::If)
      text = "`if` needs `{` after its condition, found " + found(end) +
             ": the `if` is left out and what follows runs unconditionally";
    else if (k == TokenKind::While)
      text = "`while` needs `{` after its condition, found " + found(end) +
             ": the loop is left out and what follows runs once";
    m_notes.push_back(Note{at, std::move(text), end});
  }

  // What the statement beginning with `k` at `at` wanted at `end`, where it failed.
  std::string expected_in(TokenKind k, size_t at, size_t end) const {
    switch (k) {
      case TokenKind::Let:
        return end == at + 1 ? "a name" : "`=` after the name";
      case TokenKind::Global:
        return "a name";
      case TokenKind::Def:
        if (end == at + 1) return "a name";
        if (end == at + 2) return "`(`";
        return kind(end - 1) == TokenKind::RightParen ? "`{`" : "`)` after the parameters";
      case TokenKind::For:
        if (end == at + 1) return "a name";
        if (end == at + 2) return "`in`";
        return "`{` after the iterable";
      case TokenKind::Match:
        return "`{` after the subject";
      case TokenKind::Try:
        if (end == at + 1) return "`{`";
        if (kind(end - 1) == TokenKind::Catch) return "a name after `catch`";
        if (end >= 2 && kind(end - 1) == TokenKind::Identifier && kind(end - 2) == TokenKind::Catch)
          return "`{` after " + code("catch " + token(end - 1).text());
        return "`catch` after the block";
      default:
        return "`{`";
    }
  }

  void else_dropped(size_t at) {
    if (kind(at + 1) == TokenKind::If)
      note(at,
           "`else if` is not a form: the `else` is dropped and the `if` after it runs "
           "whatever the first condition was; write `else { if ... }`");
    else
      note(at, "`else` without `{` is dropped: what follows runs whatever the condition was");
  }

  void unbraced_arm(size_t at, size_t end) {
    if (end == at && begins_statement_only(kind(at))) {
      note(at,
           "a match arm without braces holds one expression, not a statement: the arm does "
           "nothing; write `=> { ... }`");
      m_cascade = at;
    } else if (end == at) {
      note(at, "match arm without a body before " + found(at) + ": read as 0");
    } else if (is_assignment(kind(end))) {
      note(at, "a match arm without braces holds one expression: " + found(end) +
                   " ends it and the assignment does nothing; write `=> { ... }`");
      m_cascade = end;
    }
  }

  static bool is_unclosed(Forgiven what) {
    return what == Forgiven::CloserMissing || what == Forgiven::BlockNotClosed;
  }

  // Brackets still open at the end of the file make one finding, at the innermost.
  size_t closer_missing(size_t i) {
    const Event& e = m_events[i];
    size_t last = i;
    if (kind(e.end) == TokenKind::Eof)
      while (last + 1 < m_events.size() && is_unclosed(m_events[last + 1].what) &&
             m_events[last + 1].end == e.end)
        ++last;
    std::string text = found(e.at) + " is not closed";
    if (kind(e.end) == TokenKind::Eof)
      text += " before the end of the file";
    else
      text += ": expected " + closer_of(kind(e.at)) + ", found " + found(e.end);
    bool swallowed = line(e.end) != line(e.at);
    if (swallowed && kind(e.end) != TokenKind::Eof)
      text += " on line " + std::to_string(line(e.end));
    if (swallowed && e.what == Forgiven::CloserMissing)
      text += kind(e.end) == TokenKind::Eof ? "; everything after it is read inside it"
                                            : "; the lines between are read inside it";
    if (last > i) text += "; nor are the " + std::to_string(last - i) + " around it";
    note(e.at, text);
    return last;
  }

  static constexpr size_t NONE = static_cast<size_t>(-1);

  const TokenList& m_tokens;
  const std::vector<uint32_t>& m_lines;
  const std::vector<Event>& m_events;
  std::vector<Note>& m_notes;
  size_t m_cascade = NONE;  // the token the current arm cascade has reached
};

}  // namespace

void Recorder::forgiven(Forgiven what, size_t at, size_t end) {
  bool gives_up = what == Forgiven::TokenSkipped || what == Forgiven::ElementSkipped ||
                  what == Forgiven::ArmTokenSkipped || what == Forgiven::EmptyStatement ||
                  (what == Forgiven::UnbracedArm && end == at);
  if (gives_up && !m_events.empty() && m_events.back().what == Forgiven::MissingExpression &&
      m_events.back().at == at)
    m_events.pop_back();
  m_events.push_back(Event{what, at, end});
}

std::vector<bool> covered(const std::vector<std::pair<size_t, size_t>>& ranges, size_t count) {
  std::vector<int> starts(count + 1, 0);
  for (auto [from, to] : ranges) {
    if (from >= to || from >= count) continue;
    ++starts[from];
    --starts[std::min(to, count)];
  }
  std::vector<bool> out(count, false);
  int open = 0;
  for (size_t i = 0; i < count; ++i) out[i] = (open += starts[i]) > 0;
  return out;
}

std::string code(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '`';
  out += text;
  out += '`';
  return out;
}

std::string spell(const Token& token) {
  switch (token.kind()) {
    case TokenKind::Identifier:
      return code(token.text());
    case TokenKind::String:
      return "the string " + quote(token.text());
    case TokenKind::Number:
      return code(std::to_string(token.integer()));
    case TokenKind::Float: {
      char buf[64];
      auto res = std::to_chars(buf, buf + sizeof buf, token.real());
      return code(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
    }
    case TokenKind::Eof:
      return "the end of the file";
    default:
      return code(token_kind_name(token.kind()));
  }
}

void check_forgiven(const Parsed& parsed, std::vector<Note>& notes) {
  ForgivenChecks(parsed, notes).run();
}

}  // namespace orvane::lint
