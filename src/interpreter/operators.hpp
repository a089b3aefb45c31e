// The rules of every binary operator on every pair of kinds, kept in one place. The interpreter's
// fast paths call the same per-kind functions that the general rule uses.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "interpreter/value.hpp"
#include "lexer/token.hpp"

namespace orvane {

namespace operators {

inline uint64_t wrap(int64_t v) { return static_cast<uint64_t>(v); }
inline int64_t unwrap(uint64_t v) { return static_cast<int64_t>(v); }

// Exponent: the low 32 bits read as unsigned, so -1 acts as 4294967295; squares wrap.
int64_t integer_power(int64_t base, int64_t exponent);

// Float equality: an absolute difference below the tolerance; with a NaN both are false.
inline bool floats_equal(double a, double b) { return std::fabs(a - b) < FLOAT_TOLERANCE; }
inline bool floats_differ(double a, double b) { return std::fabs(a - b) >= FLOAT_TOLERANCE; }

// Whether `op` divides (and so may divide by zero on Numbers).
inline bool is_division(TokenKind op) { return op == TokenKind::Slash || op == TokenKind::Percent; }

// The comparison operators as bits: comparing two Numbers or two Floats gives the set of
// operators that hold, and an operator holds when its bit is in that set. The lowering pass puts
// an operator's bit in its instruction, so that a comparison is computed without a switch.
enum ComparisonBit : uint8_t { LT = 1, LE = 2, GT = 4, GE = 8, EQ = 16, NE = 32 };

constexpr uint8_t comparison_bit(TokenKind op) {
  switch (op) {
    case TokenKind::Less:
      return LT;
    case TokenKind::LessEqual:
      return LE;
    case TokenKind::Greater:
      return GT;
    case TokenKind::GreaterEqual:
      return GE;
    case TokenKind::EqualEqual:
      return EQ;
    case TokenKind::NotEqual:
      return NE;
    default:
      return 0;
  }
}

// The comparison that holds of (b, a) just when `op` holds of (a, b), for every pair of kinds:
// an ordering turns round, equality stays.
constexpr TokenKind mirrored(TokenKind op) {
  switch (op) {
    case TokenKind::Less:
      return TokenKind::Greater;
    case TokenKind::LessEqual:
      return TokenKind::GreaterEqual;
    case TokenKind::Greater:
      return TokenKind::Less;
    case TokenKind::GreaterEqual:
      return TokenKind::LessEqual;
    default:
      return op;
  }
}

// Numbers compare exactly, so exactly one of less, equal and greater holds.
[[gnu::always_inline]] inline uint8_t comparisons(int64_t a, int64_t b) {
  return a < b ? LT | LE | NE : a == b ? LE | GE | EQ : GT | GE | NE;
}

// Floats order as IEEE doubles (a NaN compares false) and are equal within the tolerance.
[[gnu::always_inline]] inline uint8_t comparisons(double a, double b) {
  return static_cast<uint8_t>((a < b) * LT | (a <= b) * LE | (a > b) * GT | (a >= b) * GE |
                              floats_equal(a, b) * EQ | floats_differ(a, b) * NE);
}

// A comparison's result as a value, or Null for an operator that is no comparison.
template <class T>
[[gnu::always_inline]] inline Value comparison(T a, TokenKind op, T b) {
  uint8_t bit = comparison_bit(op);
  return bit ? Value::boolean(comparisons(a, b) & bit) : Value::null();
}

// An operator on two Numbers. Division and remainder by zero give 0 and set `divided_by_zero`;
// the least integer divided by -1 wraps to itself. Here and for Floats, the commonest operators
// are told apart by comparisons, which the branch predictor learns per handler, before the
// switch's one shared jump.
[[gnu::always_inline]] inline Value numbers(int64_t a, TokenKind op, int64_t b,
                                            bool& divided_by_zero) {
  if (op == TokenKind::Plus) return Value::number(unwrap(wrap(a) + wrap(b)));
  if (op == TokenKind::Minus) return Value::number(unwrap(wrap(a) - wrap(b)));
  switch (op) {
    case TokenKind::Star:
      return Value::number(unwrap(wrap(a) * wrap(b)));
    case TokenKind::Slash:
      if (b == 0) return divided_by_zero = true, Value::number(0);
      if (b == -1) return Value::number(unwrap(0 - wrap(a)));
      return Value::number(a / b);
    case TokenKind::Percent:
      if (b == 0) return divided_by_zero = true, Value::number(0);
      if (b == -1) return Value::number(0);
      return Value::number(a % b);
    case TokenKind::StarStar:
      return Value::number(integer_power(a, b));
    default:
      return comparison(a, op, b);
  }
}

[[gnu::always_inline]] inline Value floats(double a, TokenKind op, double b) {
  if (op == TokenKind::Star) return Value::real(a * b);
  if (op == TokenKind::Plus) return Value::real(a + b);
  if (op == TokenKind::Minus) return Value::real(a - b);
  if (op == TokenKind::Slash) return Value::real(a / b);
  switch (op) {
    case TokenKind::Percent:
      return Value::real(std::fmod(a, b));
    case TokenKind::StarStar:
      return Value::real(std::pow(a, b));
    default:
      return comparison(a, op, b);
  }
}

// Strings compare by their bytes, for equality only: no ordering holds between them.
[[gnu::always_inline]] inline uint8_t comparisons(const std::string& a, const std::string& b) {
  return same_text(a, b) ? EQ : NE;
}

// == and != on two Strings; Null for any other comparison (+ joins apart).
inline Value string_comparison(const std::string& a, TokenKind op, const std::string& b) {
  uint8_t bit = comparison_bit(op) & (EQ | NE);
  return bit ? Value::boolean(comparisons(a, b) & bit) : Value::null();
}

inline Value booleans(bool a, TokenKind op, bool b) {
  switch (op) {
    case TokenKind::And:
      return Value::boolean(a && b);
    case TokenKind::Or:
      return Value::boolean(a || b);
    case TokenKind::EqualEqual:
      return Value::boolean(a == b);
    case TokenKind::NotEqual:
      return Value::boolean(a != b);
    default:
      return Value::null();
  }
}

// Whether two values match as a `match` pattern: same kind and equal by that kind's rule.
inline bool pattern_matches(const Value& subject, const Value& pattern) {
  if (subject.kind() != pattern.kind()) return false;
  switch (subject.kind()) {
    case Value::Number:
      return subject.as_number() == pattern.as_number();
    case Value::Float:
      return floats_equal(subject.as_float(), pattern.as_float());
    case Value::String:
      return same_text(subject.as_string(), pattern.as_string());
    case Value::Boolean:
      return subject.as_boolean() == pattern.as_boolean();
    case Value::Null:
      return true;
    default:
      return false;
  }
}

// Negation and `not`.
Value negate(const Value& v);
inline Value logical_not(const Value& v) { return Value::boolean(!is_truthy(v)); }

}  // namespace operators

// Applies a binary operator to any pair of values: mixed kinds give Null (no promotion). The left
// operand is taken by value so that a string nobody else holds is appended to in place. A
// division by zero sets `*divided_by_zero` when given; reporting it is the caller's business.
Value binary_op(Value left, TokenKind op, const Value& right, bool* divided_by_zero = nullptr);

}  // namespace orvane
