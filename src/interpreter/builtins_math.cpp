// abs, pow, sqrt, floor, ceil, round, min, max, random, random_range.
#include <cmath>
#include <cstdint>

#include "interpreter/builtins.hpp"
#include "interpreter/random.hpp"

namespace orvane {

namespace {

// A double through the math library, back to a Number as as_integer would convert it.
Value rounded(const Value& x, double (*round_fn)(double)) {
  std::optional<double> d = as_real(x);
  if (!d) return Value::null();
  return Value::number(*as_integer(Value::real(round_fn(*d))));
}

// Scans the numeric arguments left to right. `replaces(best, next)` says whether next takes
// over; because the comparisons are ordered, NaN never wins one, which is what gives min
// and max their different NaN behaviour.
Value extreme(ReadArgs args, bool (*replaces)(double best, double next)) {
  std::optional<double> best;
  for (const Value& v : args) {
    std::optional<double> d = as_real(v);
    if (!d) continue;
    if (!best || replaces(*best, *d)) best = d;
  }
  if (!best) return Value::null();
  return Value::real(*best);
}

}  // namespace

namespace builtins {

Value abs(ReadArgs args, Host&) {
  const Value& x = args[0];
  if (x.is(Value::Number)) {
    // Two's complement: the least integer is its own absolute value.
    auto u = static_cast<uint64_t>(x.as_number());
    return Value::number(static_cast<int64_t>(x.as_number() < 0 ? 0 - u : u));
  }
  if (x.is(Value::Float)) return Value::real(std::fabs(x.as_float()));
  return Value::null();
}

Value pow(ReadArgs args, Host&) {
  std::optional<double> base = as_real(args[0]);
  std::optional<double> exponent = as_real(args[1]);
  if (!base || !exponent) return Value::null();
  return Value::real(std::pow(*base, *exponent));
}

Value sqrt(ReadArgs args, Host&) {
  std::optional<double> x = as_real(args[0]);
  if (!x) return Value::null();
  return Value::real(std::sqrt(*x));
}

Value floor(ReadArgs args, Host&) {
  return rounded(args[0], [](double d) { return std::floor(d); });
}

Value ceil(ReadArgs args, Host&) {
  return rounded(args[0], [](double d) { return std::ceil(d); });
}

// Halves go away from zero.
Value round(ReadArgs args, Host&) {
  return rounded(args[0], [](double d) { return std::round(d); });
}

// Ties and NaN comparisons take the later value.
Value max(ReadArgs args, Host&) {
  return extreme(args, [](double best, double next) { return !(best > next); });
}

// Ties keep the earlier value; a NaN best stays, a later NaN never wins.
Value min(ReadArgs args, Host&) {
  return extreme(args, [](double best, double next) { return best > next; });
}

Value random(BuiltinArgs, Host& host) {
  return Value::real(unit_interval(host.random().next_u64()));
}

Value random_range(BuiltinArgs args, Host& host) {
  std::optional<int64_t> low = as_integer(args[0]);
  std::optional<int64_t> high = as_integer(args[1]);
  if (!low || !high) return Value::null();
  // The draw comes first, whatever the bounds.
  uint64_t bits = host.random().next_u64();
  std::optional<int64_t> result = range_value(bits, *low, *high);
  return result ? Value::number(*result) : Value::null();
}

}  // namespace builtins

}  // namespace orvane
