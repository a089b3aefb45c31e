// Tokens: a kind with a fixed code and, for names, strings and numbers, a payload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/intern.hpp"

namespace orvane {

enum class TokenKind : uint8_t {
  Let,
  Def,
  Return,
  If,
  Else,
  While,
  For,
  In,
  Break,
  Continue,
  True,
  False,
  And,
  Or,
  Not,
  Match,
  Try,
  Catch,
  Global,
  Identifier,
  Number,
  Float,
  String,
  Plus,
  Minus,
  Star,
  Slash,
  Percent,
  StarStar,
  Assign,
  PlusAssign,
  MinusAssign,
  StarAssign,
  SlashAssign,
  EqualEqual,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
  LeftParen,
  RightParen,
  LeftBrace,
  RightBrace,
  LeftBracket,
  RightBracket,
  Comma,
  Colon,
  Semicolon,
  Arrow,
  FatArrow,
  Dot,
  Question,
  Eof
};

// Eof is the last kind.
inline constexpr int TOKEN_KIND_COUNT = static_cast<int>(TokenKind::Eof) + 1;

// Sixteen bytes, so a large script's token list stays small and cheap to grow. A name is
// interned as it is scanned (the parser needs its NameId anyway); a string literal owns its
// text on the heap.
class Token {
 public:
  explicit Token(TokenKind kind) : m_kind(kind) {}
  // Identifier or String with its text.
  Token(TokenKind kind, std::string_view text) : m_kind(kind) {
    if (kind == TokenKind::String)
      m_payload.string = new std::string(text);
    else
      m_name = intern(text);
  }
  static Token string(std::string text) {
    Token t(TokenKind::String);
    t.m_payload.string = new std::string(std::move(text));
    return t;
  }
  static Token number(int64_t v) {
    Token t(TokenKind::Number);
    t.m_payload.integer = v;
    return t;
  }
  static Token real(double v) {
    Token t(TokenKind::Float);
    t.m_payload.real = v;
    return t;
  }

  Token(const Token& other)
      : m_kind(other.m_kind), m_name(other.m_name), m_payload(other.m_payload) {
    if (m_kind == TokenKind::String) m_payload.string = new std::string(*other.m_payload.string);
  }
  Token(Token&& other) noexcept
      : m_kind(other.m_kind), m_name(other.m_name), m_payload(other.m_payload) {
    other.m_kind = TokenKind::Eof;  // the string, if any, now belongs here
  }
  Token& operator=(Token other) noexcept {
    std::swap(m_kind, other.m_kind);
    std::swap(m_name, other.m_name);
    std::swap(m_payload, other.m_payload);
    return *this;
  }
  ~Token() {
    if (m_kind == TokenKind::String) delete m_payload.string;
  }

  TokenKind kind() const { return m_kind; }
  // Identifier and String.
  const std::string& text() const {
    return m_kind == TokenKind::String ? *m_payload.string : name_text(m_name);
  }
  NameId name() const { return m_name; }                 // Identifier
  int64_t integer() const { return m_payload.integer; }  // Number
  double real() const { return m_payload.real; }         // Float

  bool operator==(const Token& other) const {
    if (m_kind != other.m_kind) return false;
    switch (m_kind) {
      case TokenKind::Identifier:
        return m_name == other.m_name;
      case TokenKind::String:
        return *m_payload.string == *other.m_payload.string;
      case TokenKind::Number:
        return m_payload.integer == other.m_payload.integer;
      case TokenKind::Float:
        return m_payload.real == other.m_payload.real;
      default:
        return true;
    }
  }

 private:
  TokenKind m_kind;
  NameId m_name = 0;
  union Payload {
    int64_t integer;
    double real;
    std::string* string;  // owned
  } m_payload{0};
};

static_assert(sizeof(Token) == 16);

using TokenList = std::vector<Token>;

// The source spelling of a kind ("let", "+=", "(") or its name for payload kinds.
std::string_view token_kind_name(TokenKind kind);

}  // namespace orvane
