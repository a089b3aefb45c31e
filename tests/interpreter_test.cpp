// The interpreter in process: the operator table, the index, range and unary rules, the
// completion state left at the top level, the catch rule, and assignments that fail midway.
#include "interpreter/interpreter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <list>
#include <string>

#include "lexer/lexer.hpp"
#include "parser/parser.hpp"

namespace orvane {
namespace {

constexpr int64_t MIN_INT = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX_INT = std::numeric_limits<int64_t>::max();
const double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();
const double EPS = 2.220446049250313e-16;

Value N(int64_t v) { return Value::number(v); }
Value F(double v) { return Value::real(v); }
Value S(const char* v) { return Value::string(v); }
Value B(bool v) { return Value::boolean(v); }
Value Nil() { return Value::null(); }

// Same kind and same value; floats bit for bit (so -0 differs from 0), any NaN equal to any NaN.
::testing::AssertionResult same(const Value& got, const Value& want) {
  bool ok = got.kind() == want.kind();
  if (ok) {
    switch (got.kind()) {
      case Value::Number:
        ok = got.as_number() == want.as_number();
        break;
      case Value::Boolean:
        ok = got.as_boolean() == want.as_boolean();
        break;
      case Value::String:
        ok = got.as_string() == want.as_string();
        break;
      case Value::Float: {
        double a = got.as_float(), b = want.as_float();
        ok = (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
        break;
      }
      default:
        ok = display(got) == display(want);
        break;
    }
  }
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << type_name(got) << " " << display(got)
                                       << ", want " << type_name(want) << " " << display(want);
}

struct OpRow {
  Value left;
  TokenKind op;
  Value right;
  Value want;
};

void check_rows(const std::vector<OpRow>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const OpRow& r = rows[i];
    EXPECT_TRUE(same(binary_op(r.left, r.op, r.right), r.want))
        << "row " << i << ": " << display(r.left) << " op#" << static_cast<int>(r.op) << " "
        << display(r.right);
  }
}

using T = TokenKind;

TEST(BinaryOp, Numbers) {
  check_rows({
      {N(2), T::Plus, N(3), N(5)},
      {N(MAX_INT), T::Plus, N(1), N(MIN_INT)},
      {N(MIN_INT), T::Plus, N(-1), N(MAX_INT)},
      {N(5), T::Minus, N(7), N(-2)},
      {N(MIN_INT), T::Minus, N(1), N(MAX_INT)},
      {N(0), T::Minus, N(MIN_INT), N(MIN_INT)},
      {N(6), T::Star, N(-7), N(-42)},
      {N(MAX_INT), T::Star, N(2), N(-2)},
      {N(int64_t{1} << 62), T::Star, N(2), N(MIN_INT)},
      {N(MIN_INT), T::Star, N(-1), N(MIN_INT)},
      // Division truncates toward zero; the remainder takes the sign of the left operand.
      {N(7), T::Slash, N(2), N(3)},
      {N(-7), T::Slash, N(2), N(-3)},
      {N(7), T::Slash, N(-2), N(-3)},
      {N(-7), T::Slash, N(-2), N(3)},
      {N(0), T::Slash, N(-5), N(0)},
      {N(MIN_INT), T::Slash, N(-1), N(MIN_INT)},
      {N(MIN_INT), T::Slash, N(1), N(MIN_INT)},
      {N(MAX_INT), T::Slash, N(-1), N(-MAX_INT)},
      {N(7), T::Percent, N(3), N(1)},
      {N(-7), T::Percent, N(2), N(-1)},
      {N(7), T::Percent, N(-2), N(1)},
      {N(-7), T::Percent, N(-2), N(-1)},
      {N(MIN_INT), T::Percent, N(-1), N(0)},
      {N(MAX_INT), T::Percent, N(-1), N(0)},
      {N(MIN_INT), T::Percent, N(MAX_INT), N(-1)},
      // Zero divisors give 0 (the message is checked by the golden scripts).
      {N(5), T::Slash, N(0), N(0)},
      {N(-5), T::Percent, N(0), N(0)},
      // Powers by squaring; the exponent is its low 32 bits read as unsigned.
      {N(2), T::StarStar, N(10), N(1024)},
      {N(0), T::StarStar, N(0), N(1)},
      {N(5), T::StarStar, N(0), N(1)},
      {N(-2), T::StarStar, N(3), N(-8)},
      {N(2), T::StarStar, N(62), N(int64_t{1} << 62)},
      {N(2), T::StarStar, N(63), N(MIN_INT)},
      {N(2), T::StarStar, N(64), N(0)},
      {N(2), T::StarStar, N(-1), N(0)},
      {N(-1), T::StarStar, N(-1), N(-1)},
      {N(3), T::StarStar, N(40), N(-6289078614652622815)},
      {N(3), T::StarStar, N(int64_t{1} << 32), N(1)},
      {N(2), T::StarStar, N((int64_t{1} << 32) + 3), N(8)},
      {N(3), T::StarStar, N(-(int64_t{1} << 32)), N(1)},
      {N(7), T::StarStar, N(MIN_INT), N(1)},
      {N(1), T::StarStar, N(MAX_INT), N(1)},
      {N(-1), T::StarStar, N(4294967294), N(1)},
      // Comparisons are signed.
      {N(MIN_INT), T::Less, N(MAX_INT), B(true)},
      {N(-1), T::Greater, N(0), B(false)},
      {N(3), T::LessEqual, N(3), B(true)},
      {N(3), T::GreaterEqual, N(4), B(false)},
      {N(3), T::EqualEqual, N(3), B(true)},
      {N(3), T::NotEqual, N(3), B(false)},
      // Operators without a meaning for numbers.
      {N(1), T::And, N(1), Nil()},
      {N(0), T::Or, N(1), Nil()},
  });
}

TEST(BinaryOp, Floats) {
  check_rows({
      {F(0.1), T::Plus, F(0.2), F(0.30000000000000004)},
      {F(1.5), T::Minus, F(2.0), F(-0.5)},
      {F(1.5), T::Star, F(2.0), F(3.0)},
      {F(1.0), T::Slash, F(0.0), F(INF)},
      {F(-1.0), T::Slash, F(0.0), F(-INF)},
      {F(1.0), T::Slash, F(-0.0), F(-INF)},
      {F(0.0), T::Slash, F(0.0), F(NAN_VALUE)},
      {F(7.5), T::Percent, F(2.0), F(1.5)},
      {F(-7.5), T::Percent, F(2.0), F(-1.5)},
      {F(7.5), T::Percent, F(-2.0), F(1.5)},
      {F(1.0), T::Percent, F(0.0), F(NAN_VALUE)},
      {F(2.0), T::StarStar, F(0.5), F(std::sqrt(2.0))},
      {F(2.0), T::StarStar, F(-1.0), F(0.5)},
      {F(-8.0), T::StarStar, F(1.0 / 3.0), F(NAN_VALUE)},
      {F(0.0), T::StarStar, F(0.0), F(1.0)},
      {F(-0.0), T::Minus, F(0.0), F(-0.0)},
      // Equality within 2^-52, strictly below.
      {F(0.1 + 0.2), T::EqualEqual, F(0.3), B(true)},
      {F(0.1 + 0.2), T::NotEqual, F(0.3), B(false)},
      {F(1.0), T::EqualEqual, F(1.0 + EPS), B(false)},
      {F(1.0), T::NotEqual, F(1.0 + EPS), B(true)},
      {F(0.5), T::EqualEqual, F(0.5 + EPS / 2), B(true)},
      {F(1e10), T::EqualEqual, F(std::nextafter(1e10, INF)), B(false)},
      {F(1e-300), T::EqualEqual, F(-1e-300), B(true)},
      {F(-0.0), T::EqualEqual, F(0.0), B(true)},
      {F(1.0), T::NotEqual, F(1.0), B(false)},
      // Infinities differ by NaN, which is not below the tolerance: neither equal nor unequal.
      {F(INF), T::EqualEqual, F(INF), B(false)},
      {F(INF), T::NotEqual, F(INF), B(false)},
      {F(INF), T::NotEqual, F(1.0), B(true)},
      {F(-0.0), T::Less, F(0.0), B(false)},
      {F(-INF), T::Less, F(INF), B(true)},
      {F(2.5), T::GreaterEqual, F(2.5), B(true)},
      {F(2.5), T::LessEqual, F(2.4), B(false)},
      {F(2.5), T::Greater, F(2.4), B(true)},
      {F(1.0), T::And, F(1.0), Nil()},
  });
  // Every comparison with a NaN operand is false, != included.
  for (T op : {T::EqualEqual, T::NotEqual, T::Less, T::Greater, T::LessEqual, T::GreaterEqual}) {
    for (double other : {NAN_VALUE, 1.0, INF, 0.0}) {
      EXPECT_TRUE(same(binary_op(F(NAN_VALUE), op, F(other)), B(false))) << static_cast<int>(op);
      EXPECT_TRUE(same(binary_op(F(other), op, F(NAN_VALUE)), B(false))) << static_cast<int>(op);
    }
  }
}

TEST(BinaryOp, StringsAndBooleans) {
  check_rows({
      {S("ab"), T::Plus, S("cd"), S("abcd")},
      {S(""), T::Plus, S(""), S("")},
      {S("a"), T::EqualEqual, S("a"), B(true)},
      {S("a"), T::EqualEqual, S("A"), B(false)},
      {S("a"), T::NotEqual, S("a "), B(true)},
      {S("a"), T::Less, S("b"), Nil()},
      {S("b"), T::GreaterEqual, S("a"), Nil()},
      {S("a"), T::Star, S("b"), Nil()},
      {S("a"), T::Minus, S("a"), Nil()},
      {B(true), T::And, B(true), B(true)},
      {B(true), T::And, B(false), B(false)},
      {B(false), T::Or, B(true), B(true)},
      {B(false), T::Or, B(false), B(false)},
      {B(true), T::EqualEqual, B(true), B(true)},
      {B(true), T::NotEqual, B(false), B(true)},
      {B(false), T::Less, B(true), Nil()},
      {B(true), T::Plus, B(true), Nil()},
  });
}

TEST(BinaryOp, NoRowForMixedOrOtherKinds) {
  const Value kinds[] = {N(1),
                         F(1.0),
                         S("1"),
                         B(true),
                         Value::array({}),
                         Value::dict({}),
                         Value::function(nullptr),
                         Value::color({0, 0, 0}),
                         Nil(),
                         Value::error("e")};
  const T ops[] = {T::Plus,      T::Minus,        T::Star,     T::Slash, T::Percent,
                   T::StarStar,  T::EqualEqual,   T::NotEqual, T::Less,  T::Greater,
                   T::LessEqual, T::GreaterEqual, T::And,      T::Or};
  for (size_t i = 0; i < std::size(kinds); ++i) {
    for (size_t j = 0; j < std::size(kinds); ++j) {
      bool has_row = i == j && i < 4;
      if (has_row) continue;
      for (T op : ops)
        EXPECT_TRUE(same(binary_op(kinds[i], op, kinds[j]), Nil()))
            << type_name(kinds[i]) << " op#" << static_cast<int>(op) << " " << type_name(kinds[j]);
    }
  }
}

TEST(BinaryOp, JoiningNeverChangesASharedString) {
  Value a = S("ab");
  Value b = a;
  Value joined = binary_op(a, T::Plus, S("c"));
  EXPECT_EQ(a.as_string(), "ab");
  EXPECT_EQ(b.as_string(), "ab");
  EXPECT_EQ(joined.as_string(), "abc");
  Value self = binary_op(a, T::Plus, a);
  EXPECT_EQ(self.as_string(), "abab");
  EXPECT_EQ(a.as_string(), "ab");
}

// ---- programs run in process ----

// One interpreter that runs source texts entry by entry, as the interactive loop does.
class Session {
 public:
  void run(std::string_view source) {
    TokenList tokens = tokenize(source);
    m_programs.push_back(Parser::parse_program(tokens));
    m_interp.prepare();
    for (const StmtPtr& stmt : m_programs.back()) m_interp.execute(*stmt);
  }
  Value get(std::string_view name) {
    NameId id = intern(name);
    m_interp.prepare();
    return m_interp.lookup(id);
  }
  void set(std::string_view name, Value v) {
    NameId id = intern(name);
    m_interp.prepare();
    m_interp.assign(id, std::move(v));
  }
  Interpreter& interp() { return m_interp; }

 private:
  Interpreter m_interp;
  std::list<Program> m_programs;
};

Value eval(const std::string& expression) {
  Session s;
  s.run("result = " + expression);
  return s.get("result");
}

struct ExprRow {
  const char* source;
  const char* want;  // display form
  Value::Kind kind;
};

void check_exprs(const std::vector<ExprRow>& rows) {
  for (const ExprRow& row : rows) {
    Value got = eval(row.source);
    EXPECT_EQ(display(got), row.want) << row.source;
    EXPECT_EQ(got.kind(), row.kind) << row.source << " gave " << type_name(got);
  }
}

TEST(Evaluate, IndexRule) {
  check_exprs({
      {"[1, 2, 3][0]", "1", Value::Number},
      {"[1, 2, 3][2]", "3", Value::Number},
      {"[1, 2, 3][3]", "null", Value::Null},
      {"[1, 2, 3][-1]", "null", Value::Null},
      {"[1][-9223372036854775807 - 1]", "null", Value::Null},
      {"[1, 2][0.0]", "null", Value::Null},
      {"[1, 2][true]", "null", Value::Null},
      {"[1, 2][\"0\"]", "null", Value::Null},
      {"\"abc\"[0]", "null", Value::Null},
      {"{a: 1}[\"a\"]", "1", Value::Number},
      {"{a: 1}.a", "1", Value::Number},
      {"{a: 1}.b", "null", Value::Null},
      {"{a: 1}[0]", "null", Value::Null},
      {"{a: {b: [7, 8]}}.a.b[1]", "8", Value::Number},
      {"[[1, 2], [3]][1][0]", "3", Value::Number},
      {"[{k: \"v\"}][0].k", "v", Value::String},
      {"null[0]", "null", Value::Null},
      {"undefined.field", "null", Value::Null},
      {"{a: 1, a: 2}.a", "2", Value::Number},
  });
}

TEST(Evaluate, RangeRule) {
  check_exprs({
      {"0..3", "[0, 1, 2]", Value::Array},
      {"3..0", "[]", Value::Array},
      {"3..3", "[]", Value::Array},
      {"-2..1", "[-2, -1, 0]", Value::Array},
      {"1.9..4.2", "[1, 2, 3]", Value::Array},
      {"-1.5..1.5", "[-1, 0]", Value::Array},
      {"(0.0 / 0.0)..2", "[0, 1]", Value::Array},
      {"9223372036854775806..(2.0 ** 70.0)", "[9223372036854775806]", Value::Array},
      {"-(2.0 ** 70.0)..(-9223372036854775807)", "[-9223372036854775808]", Value::Array},
      {"1 + 1..5 - 1", "[2, 3]", Value::Array},
      {"\"a\"..3", "null", Value::Null},
      {"0..\"b\"", "null", Value::Null},
      {"0..null", "null", Value::Null},
      {"true..2", "null", Value::Null},
      {"[0]..2", "null", Value::Null},
  });
}

TEST(Evaluate, RangeEvaluatesTheEndEvenWhenTheStartIsInvalid) {
  Session s;
  s.run("def mark() { global hit hit = \"end ran\" return 3 } r = \"a\"..mark()");
  EXPECT_EQ(display(s.get("hit")), "end ran");
  EXPECT_TRUE(s.get("r").is(Value::Null));
}

TEST(Evaluate, UnaryRule) {
  check_exprs({
      {"-5", "-5", Value::Number},
      {"- -5", "5", Value::Number},
      {"-(-9223372036854775807 - 1)", "-9223372036854775808", Value::Number},
      {"-(0.0)", "-0", Value::Float},
      {"-(-0.0)", "0", Value::Float},
      {"-(0.0 / 0.0)", "NaN", Value::Float},
      {"-\"a\"", "null", Value::Null},
      {"-null", "null", Value::Null},
      {"-true", "null", Value::Null},
      {"not 0", "true", Value::Boolean},
      {"not 0.5", "false", Value::Boolean},
      {"!\"\"", "false", Value::Boolean},
      {"not null", "true", Value::Boolean},
      {"not not 3", "true", Value::Boolean},
      {"not []", "false", Value::Boolean},
      {"-2 ** 2", "4", Value::Number},
      {"not 1 == false", "true", Value::Boolean},
  });
}

TEST(Evaluate, Literals) {
  check_exprs({
      {"{a: 1, b: 2, a: 3}.a", "3", Value::Number},
      {"{}", "{}", Value::Dict},
      {"[]", "[]", Value::Array},
      {"[,]", "[0]", Value::Array},
      {"\"\"", "", Value::String},
      {"2.50", "2.5", Value::Float},
      {"007", "7", Value::Number},
      {"true", "true", Value::Boolean},
  });
}

TEST(Environment, UnboundNamesReadAsNull) {
  Session s;
  EXPECT_TRUE(s.get("never_bound").is(Value::Null));
  s.run("x = never_bound");
  EXPECT_TRUE(s.get("x").is(Value::Null));
}

TEST(Environment, CallFunctionBindsWhatItCan) {
  Session s;
  s.run("def pair(a, b) { return [a, b] } b = \"global b\"");
  Value fn = s.get("pair");
  ASSERT_TRUE(fn.is(Value::Function));
  std::vector<Value> three = {N(1), N(2), N(3)};
  EXPECT_EQ(display(s.interp().call_function(*fn.as_function(), three)), "[1, 2]");
  std::vector<Value> one = {N(1)};
  EXPECT_EQ(display(s.interp().call_function(*fn.as_function(), one)), "[1, global b]");
  EXPECT_EQ(display(s.interp().call_function(*fn.as_function(), {})), "[null, global b]");
  // The call's locals are gone afterwards.
  EXPECT_TRUE(s.get("a").is(Value::Null));
  EXPECT_EQ(display(s.get("b")), "global b");
}

// The completion state that a sequence of top-level statements leaves behind.
struct FlowRow {
  const char* source;
  bool break_set, continue_set, pending;
  const char* r;  // display of r afterwards
};

TEST(Flow, StateLeftAtTheTopLevel) {
  const FlowRow rows[] = {
      {"r = 1", false, false, false, "1"},
      {"break r = 2", true, false, false, "2"},
      {"break while false { } r = 3", false, false, false, "3"},
      {"break for x in [] { } r = 3", false, false, false, "3"},
      {"continue while false { } r = 4", false, true, false, "4"},
      {"continue for x in [] { } r = 4", false, true, false, "4"},
      {"continue for x in [1] { } r = 5", false, false, false, "5"},
      {"continue for x in 5 { } r = 5", false, true, false, "5"},
      {"break for x in 5 { } r = 5", true, false, false, "5"},
      {"def f() { break } f() r = 6", true, false, false, "6"},
      {"def f() { continue } f() r = 7", false, true, false, "7"},
      {"def f() { return 1 } r = f()", false, false, false, "1"},
      {"return 8 r = 8", false, false, true, "8"},
      // A stale return: the next call stops after its first statement and yields it.
      {"def f() { x = 1 return 5 } return 2 r = f()", false, false, false, "2"},
      {"r = [] return 9 if true { r = 1 r = 2 }", false, false, true, "1"},
      {"def f() { while true { return 10 } } r = f()", false, false, false, "10"},
      {"for i in 0..5 { if i == 2 { break } } r = i", false, false, false, "2"},
      {"r = 0 while r < 5 { r += 1 continue r = 100 }", false, false, false, "5"},
      {"match 1 { 1 => { break } } r = 11", true, false, false, "11"},
      {"try { continue } catch e { } r = 12", false, true, false, "12"},
  };
  for (const FlowRow& row : rows) {
    Session s;
    s.run(row.source);
    EXPECT_EQ(s.interp().break_flag(), row.break_set) << row.source;
    EXPECT_EQ(s.interp().continue_flag(), row.continue_set) << row.source;
    EXPECT_EQ(s.interp().has_pending(), row.pending) << row.source;
    EXPECT_EQ(display(s.get("r")), row.r) << row.source;
  }
}

// No script can make an error value, but the catch rule must take one that is pending.
TEST(Flow, CatchTakesAPendingErrorAsItsMessage) {
  Session s;
  s.set("boom", Value::error("it broke"));
  s.run("try { r = 1 return boom r = 2 } catch msg { caught = msg kind = typeof(msg) }");
  EXPECT_FALSE(s.interp().has_pending());
  EXPECT_EQ(display(s.get("r")), "1");
  EXPECT_EQ(display(s.get("caught")), "it broke");
  EXPECT_EQ(display(s.get("kind")), "string");

  s.run("def f() { try { return 5 } catch m { return 6 } } r = f()");
  EXPECT_EQ(display(s.get("r")), "5");
  s.run("def g() { return boom } e = g() t = typeof(e)");
  EXPECT_EQ(display(s.get("e")), "Error: it broke");
  EXPECT_EQ(display(s.get("t")), "unknown");
  s.run("if boom { x = \"truthy\" } else { x = \"falsy\" }");
  EXPECT_EQ(display(s.get("x")), "falsy");
  s.run("match boom { boom => { m = \"pattern\" } _ => { m = \"wildcard\" } }");
  EXPECT_EQ(display(s.get("m")), "wildcard");
}

TEST(Flow, ATryWithoutAnErrorLeavesItsCatchIdle) {
  Session s;
  s.run("try { x = 1 / 1 } catch e { x = \"caught\" }");
  EXPECT_EQ(display(s.get("x")), "1");
  EXPECT_TRUE(s.get("e").is(Value::Null));
}

// `s = s + s` releases the variable's reference before joining; a join refused for its size
// must leave the variable holding what it held.
TEST(SelfUpdate, ARefusedJoinKeepsTheVariable) {
  std::string big;
  try {
    big.assign((size_t{1} << 31) + 1, 'a');
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "not enough memory for a 2 GiB string";
  }
  // A fixed limit between the string and its double, whatever memory the machine has.
  set_allocation_limit(uint64_t{3} << 30);
  Session s;
  s.set("s", Value::string(std::move(big)));
  EXPECT_THROW(s.run("s = s + s"), OutOfMemory);
  s.interp().recover();
  Value after = s.get("s");
  ASSERT_TRUE(after.is(Value::String));
  EXPECT_EQ(after.as_string().size(), (size_t{1} << 31) + 1);
  EXPECT_THROW(s.run("s += s"), OutOfMemory);
  s.interp().recover();
  EXPECT_TRUE(s.get("s").is(Value::String));
  set_allocation_limit(0);
}

}  // namespace
}  // namespace orvane
