// Tokens: a kind with a fixed code and, for names, strings and numbers, a payload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class TokenKind : uint8_t {
  Let, Def, Return, If, Else, While, For, In, Break, Continue, True, False, And, Or, Not,
  Match, Try, Catch, Global,
  Identifier, Number, Float, String,
  Plus, Minus, Star, Slash, Percent, StarStar,
  Assign, PlusAssign, MinusAssign, StarAssign, SlashAssign,
  EqualEqual, NotEqual, Less, Greater, LessEqual, GreaterEqual,
  LeftParen, RightParen, LeftBrace, RightBrace, LeftBracket, RightBracket,
  Comma, Colon, Semicolon, Arrow, FatArrow, Dot, Question,
  Eof
};

inline constexpr int TOKEN_KIND_COUNT = 54;

class Token {
 public:
  explicit Token(TokenKind kind) : m_kind(kind) {}
  Token(TokenKind kind, std::string text) : m_kind(kind), m_text(std::move(text)) {}
  static Token number(int64_t v) {
    Token t(TokenKind::Number);
    t.m_integer = v;
    return t;
  }
  static Token real(double v) {
    Token t(TokenKind::Float);
    t.m_real = v;
    return t;
  }

  TokenKind kind() const { return m_kind; }
  const std::string& text() const { return m_text; }  // Identifier and String
  int64_t integer() const { return m_integer; }       // Number
  double real() const { return m_real; }              // Float

  bool operator==(const Token& other) const {
    if (m_kind != other.m_kind) return false;
    switch (m_kind) {
      case TokenKind::Identifier:
      case TokenKind::String: return m_text == other.m_text;
      case TokenKind::Number: return m_integer == other.m_integer;
      case TokenKind::Float: return m_real == other.m_real;
      default: return true;
    }
  }

 private:
  TokenKind m_kind;
  std::string m_text;
  int64_t m_integer = 0;
  double m_real = 0;
};

using TokenList = std::vector<Token>;

// The source spelling of a kind ("let", "+=", "(") or its name for payload kinds.
std::string_view token_kind_name(TokenKind kind);

}  // namespace orvane
