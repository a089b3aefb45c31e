#include "lexer/lexer.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "support/unicode.hpp"

namespace orvane {

namespace {

struct Keyword {
  std::string_view text;
  TokenKind kind;
};

constexpr Keyword KEYWORDS[] = {
    {"let", TokenKind::Let},       {"def", TokenKind::Def},
    {"return", TokenKind::Return}, {"if", TokenKind::If},
    {"else", TokenKind::Else},     {"while", TokenKind::While},
    {"for", TokenKind::For},       {"in", TokenKind::In},
    {"break", TokenKind::Break},   {"continue", TokenKind::Continue},
    {"true", TokenKind::True},     {"false", TokenKind::False},
    {"and", TokenKind::And},       {"or", TokenKind::Or},
    {"not", TokenKind::Not},       {"match", TokenKind::Match},
    {"try", TokenKind::Try},       {"catch", TokenKind::Catch},
    {"global", TokenKind::Global},
};

// Spellings of the operator and punctuation kinds, indexed from Plus.
constexpr std::string_view OPERATOR_SPELLINGS[] = {
    "+",  "-",  "*", "/", "%", "**", "=", "+=", "-=", "*=", "/=", "==", "!=", "<", ">",
    "<=", ">=", "(", ")", "{", "}",  "[", "]",  ",",  ":",  ";",  "->", "=>", ".", "?"};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// ASCII characters that continue a name: letters, digits and "_".
struct NameTable {
  bool continues[128] = {};
  constexpr NameTable() {
    for (int c = 0; c < 128; ++c)
      continues[c] =
          (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
};
constexpr NameTable NAME_TABLE;

// Keywords by first letter and length, so a name is compared with at most two of them.
struct KeywordTable {
  uint8_t slot[26][9][2] = {};  // index into KEYWORDS plus one; zero is empty
  constexpr KeywordTable() {
    for (size_t i = 0; i < std::size(KEYWORDS); ++i) {
      auto& s = slot[KEYWORDS[i].text[0] - 'a'][KEYWORDS[i].text.size()];
      (s[0] ? s[1] : s[0]) = static_cast<uint8_t>(i + 1);
    }
  }
};
constexpr KeywordTable KEYWORD_TABLE;

TokenKind keyword_or_name(std::string_view text) {
  if (text.size() < 2 || text.size() > 8 || text[0] < 'a' || text[0] > 'z')
    return TokenKind::Identifier;
  for (uint8_t k : KEYWORD_TABLE.slot[text[0] - 'a'][text.size()])
    if (k && KEYWORDS[k - 1].text == text) return KEYWORDS[k - 1].kind;
  return TokenKind::Identifier;
}

}  // namespace

std::vector<std::string_view> keyword_spellings() {
  std::vector<std::string_view> spellings;
  for (const Keyword& k : KEYWORDS) spellings.push_back(k.text);
  return spellings;
}

namespace {

// With TRACK, the scan also records in `offsets` the byte offset where each token begins; a
// separate instance, so the scan for a run stays exactly as it was.
template <bool TRACK>
class Lexer {
 public:
  explicit Lexer(std::string_view source, std::vector<size_t>* offsets = nullptr,
                 std::vector<size_t>* dropped = nullptr)
      : m_src(source), m_offsets(offsets), m_dropped(dropped) {}

  TokenList run() {
    m_tokens.reserve(m_src.size() / 8 + 1);  // a rough guess; ordinary code has more
    while (m_pos < m_src.size()) {
      if constexpr (TRACK) {
        // A step emits at most one token, so a step that grew the list began that token; one
        // that did not skipped a blank or a comment, or dropped a character.
        size_t start = m_pos, count = m_tokens.size();
        step();
        if (m_tokens.size() != count)
          m_offsets->push_back(start);
        else if (m_dropped && !skips(m_src[start]))
          m_dropped->push_back(start);
      } else {
        step();
      }
    }
    m_tokens.emplace_back(TokenKind::Eof);
    if constexpr (TRACK) m_offsets->push_back(m_src.size());
    return std::move(m_tokens);
  }

 private:
  bool next_is(char c) const { return m_pos < m_src.size() && m_src[m_pos] == c; }

  void emit(TokenKind kind) { m_tokens.emplace_back(kind); }

  // A first character that may pair with the next one: `pairs` lists (next, kind) options.
  void one_or_two(TokenKind single, std::initializer_list<std::pair<char, TokenKind>> pairs) {
    for (auto [next, kind] : pairs) {
      if (next_is(next)) {
        ++m_pos;
        emit(kind);
        return;
      }
    }
    emit(single);
  }

  void step() {
    char c = m_src[m_pos++];
    switch (c) {
      case ' ':
      case '\t':
      case '\n':
      case '\r':
        return;
      case '#':
        line_comment();
        return;
      case '"':
        string_literal();
        return;
      case '!':
        one_or_two(TokenKind::Not, {{'=', TokenKind::NotEqual}});
        return;
      case '+':
        one_or_two(TokenKind::Plus, {{'=', TokenKind::PlusAssign}});
        return;
      case '-':
        one_or_two(TokenKind::Minus, {{'=', TokenKind::MinusAssign}, {'>', TokenKind::Arrow}});
        return;
      case '*':
        one_or_two(TokenKind::Star, {{'=', TokenKind::StarAssign}, {'*', TokenKind::StarStar}});
        return;
      case '/':
        if (next_is('*')) {
          block_comment();
          return;
        }
        one_or_two(TokenKind::Slash, {{'=', TokenKind::SlashAssign}});
        return;
      case '<':
        one_or_two(TokenKind::Less, {{'=', TokenKind::LessEqual}});
        return;
      case '>':
        one_or_two(TokenKind::Greater, {{'=', TokenKind::GreaterEqual}});
        return;
      case '=':
        one_or_two(TokenKind::Assign, {{'=', TokenKind::EqualEqual}, {'>', TokenKind::FatArrow}});
        return;
      case '%':
        emit(TokenKind::Percent);
        return;
      case '(':
        emit(TokenKind::LeftParen);
        return;
      case ')':
        emit(TokenKind::RightParen);
        return;
      case '{':
        emit(TokenKind::LeftBrace);
        return;
      case '}':
        emit(TokenKind::RightBrace);
        return;
      case '[':
        emit(TokenKind::LeftBracket);
        return;
      case ']':
        emit(TokenKind::RightBracket);
        return;
      case ',':
        emit(TokenKind::Comma);
        return;
      case ':':
        emit(TokenKind::Colon);
        return;
      case ';':
        emit(TokenKind::Semicolon);
        return;
      case '.':
        emit(TokenKind::Dot);
        return;
      case '?':
        emit(TokenKind::Question);
        return;
      default:
        break;
    }
    if (is_digit(c)) {
      number_literal(m_pos - 1);
    } else if (is_ascii_letter(c) || c == '_') {
      name(m_pos - 1);
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      // A non-ASCII character (a byte-order mark included) is dropped whole.
      --m_pos;
      unicode::decode(m_src, m_pos);
    }
    // Any other character is dropped.
  }

  void line_comment() {
    size_t nl = m_src.find('\n', m_pos);
    m_pos = nl == std::string_view::npos ? m_src.size() : nl + 1;
  }

  // After "/*": the opening star never closes the comment, so "/*/" stays open.
  void block_comment() {
    size_t close = m_src.find("*/", m_pos + 1);
    m_pos = close == std::string_view::npos ? m_src.size() : close + 2;
  }

  void string_literal() {
    std::string text;
    for (;;) {
      // Copy the run of plain characters up to the next quote or backslash in one piece.
      size_t stop = m_pos;
      while (stop < m_src.size() && m_src[stop] != '"' && m_src[stop] != '\\') ++stop;
      text.append(m_src.data() + m_pos, stop - m_pos);
      m_pos = stop;
      if (m_pos >= m_src.size()) break;  // unterminated: the literal ends with the text
      if (m_src[m_pos++] == '"') break;
      if (m_pos >= m_src.size()) break;  // a backslash at the very end is dropped
      switch (m_src[m_pos]) {
        case 'n':
          text += '\n';
          ++m_pos;
          break;
        case 't':
          text += '\t';
          ++m_pos;
          break;
        case 'r':
          text += '\r';
          ++m_pos;
          break;
        case '\\':
          text += '\\';
          ++m_pos;
          break;
        case '"':
          text += '"';
          ++m_pos;
          break;
        default:
          text += '\\';
          break;  // any other escape stands for itself
      }
    }
    m_tokens.push_back(Token::string(std::move(text)));
  }

  void number_literal(size_t start) {
    bool is_float = false;
    while (m_pos < m_src.size()) {
      char c = m_src[m_pos];
      if (is_digit(c)) {
        ++m_pos;
      } else if (c == '.' && !is_float && m_pos + 1 < m_src.size() && is_digit(m_src[m_pos + 1])) {
        // Only a dot followed by a digit makes a float: "3..4" stays a range.
        is_float = true;
        ++m_pos;
      } else {
        break;
      }
    }
    std::string_view text = m_src.substr(start, m_pos - start);
    if (is_float) {
      m_tokens.push_back(Token::real(parse_float(text)));
      return;
    }
    uint64_t value = 0;
    for (char c : text) {
      unsigned digit = static_cast<unsigned>(c - '0');
      if (value > (static_cast<uint64_t>(INT64_MAX) - digit) / 10)
        throw LiteralTooLarge{std::string(text), start};
      value = value * 10 + digit;
    }
    m_tokens.push_back(Token::number(static_cast<int64_t>(value)));
  }

  static double parse_float(std::string_view text) {
    double value = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
      // Too large for a double: infinity. Too small: the nearest double is zero.
      bool large = text.find_first_not_of('0') < text.find('.');
      return large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
  }

  void name(size_t start) {
    while (m_pos < m_src.size()) {
      auto c = static_cast<unsigned char>(m_src[m_pos]);
      if (c < 0x80) {
        if (!NAME_TABLE.continues[c]) break;
        ++m_pos;
      } else {
        size_t next = m_pos;
        if (!unicode::is_alphanumeric(unicode::decode(m_src, next))) break;
        m_pos = next;
      }
    }
    std::string_view text = m_src.substr(start, m_pos - start);
    TokenKind kind = keyword_or_name(text);
    if (kind == TokenKind::Identifier)
      m_tokens.emplace_back(kind, text);
    else
      emit(kind);
  }

  // The characters a step passes over without dropping them: blanks and comment openers.
  static bool skips(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#' || c == '/';
  }

  std::string_view m_src;
  std::vector<size_t>* m_offsets;
  std::vector<size_t>* m_dropped;
  size_t m_pos = 0;
  TokenList m_tokens;
};

// Lines and columns of growing byte offsets, in one pass over the text.
class PositionCounter {
 public:
  explicit PositionCounter(std::string_view source) : m_src(source) {}

  SourcePosition advance_to(size_t offset) {
    for (; m_pos < offset && m_pos < m_src.size(); ++m_pos) {
      auto c = static_cast<unsigned char>(m_src[m_pos]);
      if (c == '\n') {
        ++m_at.line;
        m_at.column = 1;
      } else if ((c & 0xC0) != 0x80) {
        ++m_at.column;  // a continuation byte belongs to the character before it
      }
    }
    return m_at;
  }

 private:
  std::string_view m_src;
  size_t m_pos = 0;
  SourcePosition m_at{1, 1};
};

}  // namespace

TokenList tokenize(std::string_view source) { return Lexer<false>(source).run(); }

TokenList tokenize(std::string_view source, std::vector<SourcePosition>& positions,
                   std::vector<size_t>* dropped) {
  std::vector<size_t> offsets;
  TokenList tokens = Lexer<true>(source, &offsets, dropped).run();
  positions = positions_of(source, offsets);
  return tokens;
}

std::vector<SourcePosition> positions_of(std::string_view source,
                                         const std::vector<size_t>& offsets) {
  std::vector<SourcePosition> positions;
  positions.reserve(offsets.size());
  PositionCounter counter(source);
  for (size_t offset : offsets) positions.push_back(counter.advance_to(offset));
  return positions;
}

std::string_view token_kind_name(TokenKind kind) {
  auto code = static_cast<int>(kind);
  if (code < static_cast<int>(TokenKind::Identifier)) return KEYWORDS[code].text;
  switch (kind) {
    case TokenKind::Identifier:
      return "identifier";
    case TokenKind::Number:
      return "number";
    case TokenKind::Float:
      return "float";
    case TokenKind::String:
      return "string";
    case TokenKind::Eof:
      return "eof";
    default:
      return OPERATOR_SPELLINGS[code - static_cast<int>(TokenKind::Plus)];
  }
}

}  // namespace orvane
