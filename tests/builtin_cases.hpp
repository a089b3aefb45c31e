// Table-driven checks of builtin calls, shared by the builtin test files.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter/graphics.hpp"

namespace orvane::testing {

inline Value num(int64_t n) { return Value::number(n); }
inline Value flt(double d) { return Value::real(d); }
inline Value str(const char* s) { return Value::string(s); }

// Calls a builtin by name without a window.
inline Value call(std::string_view name, std::vector<Value> args) {
  GraphicsContext graphics;
  return *call_builtin(name, std::move(args), graphics);
}

struct Case {
  const char* name;
  std::vector<Value> args;
  Value expected;
};

// Same kind and same display form: the display tells -0 from 0, shows NaN, and keeps the
// String "null" apart from Null.
inline void expect_results(std::vector<Case> cases) {
  for (Case& c : cases) {
    std::string text = std::string(c.name) + "(";
    for (size_t i = 0; i < c.args.size(); ++i) text += (i ? ", " : "") + display(c.args[i]);
    text += ")";
    Value got = call(c.name, std::move(c.args));
    EXPECT_EQ(type_name(got), type_name(c.expected)) << text;
    EXPECT_EQ(display(got), display(c.expected)) << text;
  }
}

}  // namespace orvane::testing
