#include "interpreter/operators.hpp"

namespace orvane {

namespace operators {

int64_t integer_power(int64_t base, int64_t exponent) {
  uint64_t e = static_cast<uint32_t>(exponent);
  uint64_t result = 1;
  uint64_t b = wrap(base);
  while (e) {
    if (e & 1) result *= b;
    b *= b;
    e >>= 1;
  }
  return unwrap(result);
}

Value negate(const Value& v) {
  if (v.is(Value::Number)) return Value::number(unwrap(0 - wrap(v.as_number())));
  if (v.is(Value::Float)) return Value::real(-v.as_float());
  return Value::null();
}

}  // namespace operators

namespace {

Value joined(Value left, const Value& right) {
  const std::string& r = right.as_string();
  check_allocation(uint64_t{left.as_string().size()} + r.size());
  if (left.is_unique()) {
    // Appending to a string nobody else holds: amortised O(1) for `s = s + t`.
    if (&r == &left.as_string()) {
      std::string copy = r;
      left.mutable_string() += copy;
    } else {
      left.mutable_string() += r;
    }
    return left;
  }
  std::string text;
  text.reserve(left.as_string().size() + r.size());
  text += left.as_string();
  text += r;
  return Value::string(std::move(text));
}

Value strings(Value left, TokenKind op, const Value& right) {
  if (op == TokenKind::Plus) return joined(std::move(left), right);
  return operators::string_comparison(left.as_string(), op, right.as_string());
}

}  // namespace

Value binary_op(Value left, TokenKind op, const Value& right, bool* divided_by_zero) {
  if (left.kind() != right.kind()) return Value::null();
  switch (left.kind()) {
    case Value::Number: {
      bool zero = false;
      Value result = operators::numbers(left.as_number(), op, right.as_number(), zero);
      if (zero && divided_by_zero) *divided_by_zero = true;
      return result;
    }
    case Value::Float:
      return operators::floats(left.as_float(), op, right.as_float());
    case Value::String:
      return strings(std::move(left), op, right);
    case Value::Boolean:
      return operators::booleans(left.as_boolean(), op, right.as_boolean());
    default:
      return Value::null();
  }
}

}  // namespace orvane
