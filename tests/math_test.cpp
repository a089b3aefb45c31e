// The numeric builtins: result kinds, rounding and saturation, and the min/max scan rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "builtin_cases.hpp"
#include "interpreter/builtins.hpp"
#include "interpreter/graphics.hpp"

namespace orvane {
namespace {

using namespace orvane::testing;

const Value NaN = Value::real(std::numeric_limits<double>::quiet_NaN());

TEST(MathBuiltins, Abs) {
  expect_results({
      {"abs", {num(-5)}, num(5)},
      {"abs", {num(INT64_MIN)}, num(INT64_MIN)},  // wraps to itself
      {"abs", {flt(-2.5)}, flt(2.5)},
      {"abs", {flt(-0.0)}, flt(0.0)},
      {"abs", {NaN}, NaN},
      {"abs", {flt(-INFINITY)}, flt(INFINITY)},
      {"abs", {str("-1")}, Value::null()},
      {"abs", {}, Value::null()},
  });
}

TEST(MathBuiltins, PowAndSqrtAlwaysGiveFloats) {
  expect_results({
      {"pow", {num(2), num(3)}, flt(8)},
      {"pow", {num(2), flt(0.5)}, flt(std::sqrt(2.0))},
      {"pow", {NaN, num(0)}, flt(1)},
      {"pow", {num(-8), flt(1.0 / 3)}, NaN},
      {"pow", {num(2)}, Value::null()},
      {"pow", {num(2), str("3")}, Value::null()},
      {"sqrt", {num(4)}, flt(2)},
      {"sqrt", {num(-1)}, NaN},
      {"sqrt", {flt(-0.0)}, flt(-0.0)},
      {"sqrt", {Value::array({num(4)})}, Value::null()},
  });
}

TEST(MathBuiltins, FloorCeilRoundGiveSaturatedNumbers) {
  expect_results({
      {"floor", {flt(2.7)}, num(2)},
      {"floor", {flt(-2.5)}, num(-3)},
      {"floor", {num(7)}, num(7)},
      {"floor", {NaN}, num(0)},
      {"floor", {flt(1e300)}, num(INT64_MAX)},
      {"floor", {flt(-1e300)}, num(INT64_MIN)},
      // Numbers pass through a double: beyond 2^53 they may move, and 2^63-1 saturates.
      {"floor", {num(9007199254740993)}, num(9007199254740992)},
      {"floor", {num(INT64_MAX)}, num(INT64_MAX)},
      {"floor", {str("2")}, Value::null()},
      {"ceil", {flt(2.1)}, num(3)},
      {"ceil", {flt(-0.5)}, num(0)},
      {"ceil", {flt(1e300)}, num(INT64_MAX)},
      {"round", {flt(2.5)}, num(3)},
      {"round", {flt(-2.5)}, num(-3)},
      {"round", {flt(-0.5)}, num(-1)},
      {"round", {flt(0.49999999999999994)}, num(0)},  // adding 0.5 first would give 1
      {"round", {flt(9223372036854775807.0)}, num(INT64_MAX)},
      {"round", {NaN}, num(0)},
      {"round", {Value::null()}, Value::null()},
  });
}

TEST(MathBuiltins, MinMaxScanRules) {
  expect_results({
      {"min", {num(3), flt(1.5)}, flt(1.5)},
      {"max", {num(2), num(2)}, flt(2)},
      {"min", {num(5), str("a")}, flt(5)},
      {"min", {str("a"), str("b")}, Value::null()},
      {"max", {num(1)}, Value::null()},
      {"min", {Value::array({num(1)}), Value::array({num(2)})}, Value::null()},
      {"max", {num(5), Value::null(), num(9), str("x"), num(2)}, flt(9)},
      {"min", {num(5), Value::null(), num(2), str("x"), num(9)}, flt(2)},
      // NaN: max lets a NaN in and out again, min keeps a leading NaN and ignores later ones.
      {"max", {NaN, num(1)}, flt(1)},
      {"max", {num(1), NaN}, NaN},
      {"max", {num(1), num(2), NaN, num(3)}, flt(3)},
      {"min", {num(1), NaN}, flt(1)},
      {"min", {NaN, num(1)}, NaN},
      {"min", {num(3), NaN, num(1)}, flt(1)},
      // Ties: max takes the later value, min keeps the earlier one.
      {"max", {flt(-0.0), flt(0.0)}, flt(0.0)},
      {"max", {flt(0.0), flt(-0.0)}, flt(-0.0)},
      {"min", {flt(-0.0), flt(0.0)}, flt(-0.0)},
      {"min", {flt(0.0), flt(-0.0)}, flt(0.0)},
      {"max", {num(9007199254740993), num(0)}, flt(9007199254740992.0)},
  });
}

}  // namespace
}  // namespace orvane
