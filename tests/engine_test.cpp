// The lowering pass and the virtual machine: builtin resolution, the switch that turns every
// specialisation off, both modes agreeing on the completion rules, bindings kept when an update
// fails, and chains and calls that never need a deeper native stack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>

#include "interpreter/builtins.hpp"
#include "interpreter/compiler.hpp"
#include "interpreter/interpreter.hpp"
#include "lexer/lexer.hpp"
#include "parser/parser.hpp"
#include "support/interrupt.hpp"
#include "test_support.hpp"

namespace orvane {
namespace {

Program parse(std::string_view source) { return Parser::parse_program(tokenize(source)); }

std::vector<Op> ops_of(std::string_view source, bool specialise) {
  Program p = parse(source);
  std::vector<Op> ops;
  for (const StmtPtr& s : p)
    for (const Instr& in : lower_statement(*s, LoweringOptions{specialise}).code)
      ops.push_back(in.op);
  return ops;
}

bool has(const std::vector<Op>& ops, Op op) {
  return std::find(ops.begin(), ops.end(), op) != ops.end();
}

TEST(Lowering, BuiltinNamesResolveToTheTableAndWinOverUserFunctions) {
  Program p = parse("print(1) foo(2)");
  ASSERT_EQ(p.size(), 2u);
  Chunk builtin = lower_statement(*p[0], LoweringOptions{false});
  Chunk user = lower_statement(*p[1], LoweringOptions{false});
  ASSERT_GE(builtin.code.size(), 2u);
  EXPECT_EQ(builtin.code[1].op, Op::CallBuiltin);
  EXPECT_EQ(static_cast<int>(builtin.code[1].a), builtin_index("print"));
  EXPECT_EQ(user.code[1].op, Op::Call);
  EXPECT_EQ(user.code[1].a, intern("foo"));
}

// Each shape that has a specialisation gets it, and with the switch off only generic rules
// remain.
TEST(Lowering, EverySpecialisationHasAGenericForm) {
  struct Row {
    const char* source;
    Op specialised;
  };
  const Row rows[] = {
      {"x = a + 1", Op::BinaryLLTo},
      {"print(a + 1)", Op::BinaryLL},
      {"x = y", Op::StoreLeaf},
      {"x = 1.5", Op::StoreLeaf},
      {"x = f() + 1", Op::BinarySLTo},
      {"x = 1 + f()", Op::BinaryLSTo},
      {"x = f() + g()", Op::BinaryTo},
      {"x = [f() * 2]", Op::BinarySL},
      {"x = [2 * f()]", Op::BinaryLS},
      {"print(y - a[i] * b)", Op::BinaryLS},
      {"while i < n { }", Op::CompareJumpLL},
      {"if f() > 2 { }", Op::CompareJumpSL},
      {"if f() == g() { }", Op::CompareJumpSS},
      {"if i <= a[j] { }", Op::CompareJumpSL},
      {"while going { }", Op::JumpUnlessLeaf},
      {"if not done { }", Op::JumpUnlessLeaf},
      {"if not f() { }", Op::JumpIfTrue},
      {"x = f(a, 1)", Op::CallLeaves},
      {"x = len(a)", Op::LengthLeaf},
      {"x = len(a, 1)", Op::CallBuiltinLeaves},
      {"print(max(a, 1.5))", Op::CallBuiltinLeaves},
      {"x += 1", Op::AddConstant},
      {"while x < 9 { x += 1 }", Op::AddConstantLoop},
      {"for v in a { if v { continue } n -= 1 }", Op::AddConstantLoop},
      {"x -= 1", Op::AddConstant},
      {"x += 3000000000", Op::UpdateL},  // a step too wide for the instruction
      {"x *= 2", Op::UpdateL},
      {"x = x - y", Op::UpdateL},
      {"s = s + f() + \"!\"", Op::Append},
      {"s = s + \"!\"", Op::Append},
      {"s += f()", Op::Append},
      {"a = push(a, 1)", Op::PushLeaf},
      {"match x { 1 => { } y => { } }", Op::MatchLeaf},
      {"match x { 1 => { } \"a\" => { } true => { } _ => { } 2 => { } }", Op::MatchTable},
      {"a = push(a, b[i + 1] * 2)", Op::Push},
      {"a = push(a, b[i])", Op::PushIndex},
      {"a = push(a, a[0])", Op::PushIndex},
      {"a = push(a, f())", Op::BuiltinUpdate},
      {"y = d.key", Op::MemberNameTo},
      {"print(d.key)", Op::MemberName},
      {"y = f().key", Op::Member},
      {"y = a[i]", Op::IndexLLTo},
      {"print(a[i])", Op::IndexLL},
      {"y = a[i - len(b)]", Op::IndexNameTo},
      {"print(a[i - len(b)])", Op::IndexName},
      {"y = f() + a[i] * a[1]", Op::BinarySI},
      {"y = f() - d.x", Op::BinarySM},
      {"a = push(a, b[i + 1])", Op::PushIndexName},
      {"a = push(a, a[len(a) - 1])", Op::PushIndexName},
      {"x = a * -2", Op::BinaryLLTo},
      {"x -= -1", Op::AddConstant},
      {"match x { -1 => { } 2 => { } }", Op::MatchTable},
      {"a = push(a, -1.5)", Op::PushLeaf},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(has(ops_of(row.source, true), row.specialised)) << row.source;
    for (Op op : ops_of(row.source, false))
      EXPECT_LT(static_cast<int>(op), static_cast<int>(Op::BinaryLL)) << row.source;
  }
}

// A condition that joins comparisons with `and` (at most one of which may report a division),
// or two comparisons of leaves with `or`, is lowered to jumps on the comparisons, with no result
// on the stack; any other operand keeps the generic rule.
TEST(Lowering, JoinedComparisonsAreJumps) {
  struct Row {
    const char* source;
    bool jumps;
  };
  const Row rows[] = {
      {"if a < 1 and b > 2 { }", true},
      {"while a < 1 and b > 2 and c != \"x\" and -1 <= d { }", true},
      {"if a == 1 or b == 2 { }", true},
      {"while x < 1.5 or true == y { }", true},
      {"if j > i and j % i == 0 { }", true},
      {"while a[i] < b.x and len(s) > 2 * k { }", true},
      {"if a / b > 1 and c % d == 0 { }", false},
      {"if a < 1 and s + t == u { }", true},
      {"if a + b < 1 and s + t == u { }", false},
      {"if a and b > 2 { }", false},
      {"if a < 1 and f() { }", false},
      {"if a[0] < 1 or b < 2 { }", false},
      {"if a < 1 or b < 2 or c < 3 or d != \"x\" { }", true},
      {"if a < 1 or b < 2 and c < 3 { }", false},
      {"if (a < 1 or b < 2) and c < 3 { }", false},
      {"if a + 1 and b < 2 { }", false},
  };
  for (const Row& row : rows) {
    std::vector<Op> ops = ops_of(row.source, true);
    EXPECT_EQ(!has(ops, Op::JumpIfFalse), row.jumps) << row.source;  // the generic form's test
    EXPECT_TRUE(has(ops_of(row.source, false), Op::JumpIfFalse)) << row.source;
  }
}

// A minus before a number literal is worked out when the code is lowered, by the rule of any
// minus; before anything else it stays a minus.
TEST(Lowering, NegativeLiteralsAreWorkedOutOnce) {
  for (const char* source : {"print(-1)", "x = -2.5 + y", "while i > -3 { }", "r = [-1, -2]"}) {
    EXPECT_FALSE(has(ops_of(source, true), Op::Negate)) << source;
    EXPECT_TRUE(has(ops_of(source, false), Op::Negate)) << source;
  }
  for (const char* source : {"print(-x)", "print(-\"a\")", "print(-true)", "print(--1)"})
    EXPECT_TRUE(has(ops_of(source, true), Op::Negate)) << source;
}

// A literal read as an operand is a name no text interns to, whose cell the lowered code says
// holds that literal.
TEST(Lowering, LiteralOperandsNameCellsOfTheirConstants) {
  struct Row {
    const char* source;
    Op op;
    const char* literal;  // as print shows it
  };
  const Row rows[] = {
      {"x = y + 1.5", Op::BinaryLLTo, "1.5"},
      {"while i < 10 { }", Op::CompareJumpLL, "10"},
      {"a = push(a, \"s\")", Op::PushLeaf, "s"},
      {"x = true", Op::StoreLeaf, "true"},
      {"print(abs(-2))", Op::CallBuiltinLeaves, "-2"},
      {"print(len(\"abc\"))", Op::LengthLeaf, "abc"},
  };
  for (const Row& row : rows) {
    Program p = parse(row.source);
    Chunk chunk = lower_statement(*p[0], LoweringOptions{true});
    auto at = std::find_if(chunk.code.begin(), chunk.code.end(),
                           [&](const Instr& in) { return in.op == row.op; });
    ASSERT_NE(at, chunk.code.end()) << row.source;
    NameFields fields = name_fields(at->op);
    const uint32_t operands[] = {at->a, at->b, at->c};
    int found = 0;
    for (int k = 0; k < 3; ++k) {
      if (!(fields.leaf & (1 << k)) || !name_text(operands[k]).empty()) continue;
      auto cell = std::find_if(chunk.constant_cells.begin(), chunk.constant_cells.end(),
                               [&](const ConstantCell& c) { return c.cell == operands[k]; });
      ASSERT_NE(cell, chunk.constant_cells.end()) << row.source;
      EXPECT_EQ(display(chunk.constants.at(cell->constant)), row.literal) << row.source;
      ++found;
    }
    EXPECT_GE(found, 1) << row.source;
  }
}

// A literal that is always true needs no test; any other condition keeps its test.
// A function that calls no user function binds the variables it assigns in cells of its own;
// one that calls one, declares a global or names a parameter twice does not.
TEST(Lowering, OnlyFunctionsThatCallNoneGetCells) {
  struct Row {
    const char* source;
    bool cells;
  };
  const Row rows[] = {
      {"def f(a, b) { let c = a + b for i in 0..c { c += i } return c }", true},
      {"def f(a) { print(a) a = push(a, len(a)) return a }", true},
      {"def f(a) { try { x = a } catch e { x = e } match x { 1 => { y = 2 } } return y }", true},
      {"def f(a) { return g(a) }", false},
      {"def f(a) { global b b = a }", false},
      {"def f(a, a) { return a }", false},
  };
  for (const Row& row : rows) {
    for (bool specialise : {true, false}) {
      Program p = parse(row.source);
      Chunk top = lower_statement(*p[0], LoweringOptions{specialise});
      ASSERT_TRUE(top.constants.at(0).is(Value::Function)) << row.source;
      const FunctionData& fn = *top.constants[0].as_function();
      ASSERT_EQ(fn.leaf != nullptr, row.cells && specialise) << row.source;
      if (!fn.leaf) continue;
      const LeafCells& leaf = *fn.leaf;
      EXPECT_EQ(leaf.names.front(), intern("a")) << row.source;  // the parameters first
      EXPECT_EQ(leaf.code.size(), fn.chunk.code.size()) << row.source;
      // No name in the code is a variable the function assigns: each became its cell.
      auto among = [](const std::vector<NameId>& names, uint32_t name) {
        return std::find(names.begin(), names.end(), name) != names.end();
      };
      for (size_t i = 0; i < leaf.code.size(); ++i) {
        const Instr& in = leaf.code[i];
        NameFields fields = name_fields(in.op);
        const uint32_t operands[] = {in.a, in.b, in.c};
        for (int k = 0; k < 3; ++k) {
          uint8_t bit = static_cast<uint8_t>(1 << k);
          if (!((fields.read | fields.leaf | fields.written) & bit)) continue;
          EXPECT_FALSE(among(leaf.names, operands[k])) << row.source << " at " << i;
          if (fields.written & bit) {
            EXPECT_TRUE(leaf.is_cell(operands[k])) << row.source << " at " << i;
          }
        }
      }
    }
  }
}

TEST(Lowering, AlwaysTrueConditionsAreNotTested) {
  auto tests = [](const std::vector<Op>& ops) {
    return has(ops, Op::JumpIfFalse) || has(ops, Op::CompareJumpLL) || has(ops, Op::JumpUnlessLeaf);
  };
  for (const char* source :
       {"while true { break }", "while 1 { break }", "if \"\" { y = 1 }", "if 0.5 { y = 1 }"}) {
    EXPECT_FALSE(tests(ops_of(source, true))) << source;
    EXPECT_TRUE(has(ops_of(source, false), Op::JumpIfFalse)) << source;
  }
  for (const char* source : {"while false { }", "while 0 { }", "if 0.0 { }", "while x { }"})
    EXPECT_TRUE(tests(ops_of(source, true))) << source;
}

TEST(Lowering, ShapesThatMustNotBeUpdatedInPlace) {
  // A later operand reading x itself, or an operator other than +, keeps the generic form.
  for (const char* source : {"s = s + f() + s", "s = s + f() - \"a\"", "s = t + s", "x = f(x)"})
    EXPECT_FALSE(has(ops_of(source, true), Op::Append) ||
                 has(ops_of(source, true), Op::BuiltinUpdate))
        << source;
}

// The code of the function that `source`, a single definition, defines.
const Chunk& function_chunk(const Chunk& top) {
  for (const Value& v : top.constants)
    if (v.is(Value::Function)) return v.as_function()->chunk;
  ADD_FAILURE() << "no function";
  return top;
}

// The flag checks in the code a run takes when it finds the flags clear: all of it, or what
// comes before the second entry.
int checks_on_clear_entry(const Chunk& chunk) {
  size_t end = chunk.flagged_entry ? chunk.flagged_entry : chunk.code.size();
  int checks = 0;
  for (size_t i = 0; i < end; ++i) checks += chunk.code[i].op == Op::CheckFlags;
  return checks;
}

// A loop body checks the flags after its first statement only when they may have been set on
// entry: after a call, a break or a continue in the loop's head, or at the start of a call
// whose body has no second entry.
// Returns end calls at once outside a try body; loop ends go on into their loop's head.
TEST(Lowering, FlagChecksAndLoopEndsWhereTheyAreNeeded) {
  struct Row {
    const char* source;
    int checks;  // CheckFlags in the function's code
    Op op;       // an instruction the function's code holds
  };
  const char* const single_statement = "def f() { for i in 0..3 { x += 1 x += 2 } }";
  const Row rows[] = {
      {"def f() { let x = 0 for i in 0..3 { x += i x += 1 } }", 0, Op::ForRangeLoopUnflagged},
      {"def f(a) { let x = 0 for v in a { x += v x += 1 } return x }", 0,
       Op::ForArrayLoopUnflagged},
      {"def f() { let x = 0 while x < 3 { x += 1 x += 2 } }", 0, Op::WhileLoopUnflagged},
      {"def f() { let x = 0 while x < 3 { x += 1 if x { break } } }", 0, Op::WhileLoop},
      {"def f() { let x = 0 for i in 0..3 { x += 1 continue } }", 0, Op::ForRangeLoop},
      {"def f() { let x = 0 for i in 0..3 { g() x += 1 } }", 1, Op::ForRangeLoop},
      {"def f() { let x = 0 for i in g()..3 { x += 1 x += 2 } }", 1, Op::ForRangeLoop},
      {"def f() { let x = 0 while g() { x += 1 x += 2 } }", 1, Op::WhileLoop},
      {"def f() { for i in 0..3 { x += 1 x += 2 } }", 1, Op::ForRangeLoop},
      {"def f() { let x = 0 if x { x += 1 x += 2 } else { x += 3 x += 4 } }", 0, Op::AddConstant},
      {"def f() { let x = 0 for i in 0..3 { if i { return i } x += 1 } }", 0, Op::ReturnLeaf},
      {"def f() { let x = 0 for i in 0..3 { if i { return i * 2 } x += 1 } }", 0, Op::ReturnLeave},
      {"def f() { let x = 0 try { return 1 x = 3 } catch e { x = 2 } }", 1, Op::Return},
  };
  for (const Row& row : rows) {
    Program p = parse(row.source);
    Chunk top = lower_statement(*p[0], LoweringOptions{});
    const Chunk& body = function_chunk(top);
    // A body of two statements or more has a second entry for calls that find a flag set;
    // the checks counted are those of the entry that finds them clear.
    EXPECT_EQ(body.flagged_entry != 0, row.source != std::string(single_statement)) << row.source;
    EXPECT_EQ(checks_on_clear_entry(body), row.checks) << row.source;
    EXPECT_TRUE(std::any_of(body.code.begin(), body.code.end(), [&](const Instr& in) {
      return in.op == row.op;
    })) << row.source;
  }
}

// A small top-level statement has a second entry too, for a run that finds a flag left set by
// an earlier statement; one with nothing to gain from clear flags has none.
TEST(Lowering, TopLevelStatementsHaveASecondEntryWhereItHelps) {
  struct Row {
    const char* source;
    bool second_entry;
  };
  const Row rows[] = {
      {"for i in 0..3 { x += 1 x += 2 }", true},
      {"while x < 3 { x += 1 x += 2 }", true},
      {"for i in 0..3 { x += 1 }", true},  // its end need not clear the break flag
      {"for i in 0..3 { f() }", false},    // a call may set it
      {"x = 1", false},
  };
  for (const Row& row : rows) {
    Program p = parse(row.source);
    Chunk chunk = lower_statement(*p[0], LoweringOptions{});
    EXPECT_EQ(chunk.flagged_entry != 0, row.second_entry) << row.source;
    EXPECT_EQ(checks_on_clear_entry(chunk), 0) << row.source;
    EXPECT_EQ(lower_statement(*p[0], LoweringOptions{false}).flagged_entry, 0u) << row.source;
  }
}

// A loop that starts with the flags clear and holds nothing that may set one ends with the
// break flag clear, so only the entry for runs that find a flag set clears it.
TEST(Lowering, OnlyALoopThatMaySetABreakClearsIt) {
  struct Row {
    const char* source;
    int clears;  // ClearBreak on the entry that finds the flags clear
  };
  const Row rows[] = {
      {"for i in 0..3 { x += 1 }", 0}, {"while x < 3 { x += 1 }", 0},
      {"for i in 0..3 { f() }", 1},    {"while x < 3 { if x { break } x += 1 }", 1},
      {"for v in g() { x += v }", 1},
  };
  for (const Row& row : rows) {
    Program p = parse(row.source);
    Chunk chunk = lower_statement(*p[0], LoweringOptions{});
    size_t end = chunk.flagged_entry ? chunk.flagged_entry : chunk.code.size();
    int clears = 0, all = 0;
    for (size_t i = 0; i < chunk.code.size(); ++i) {
      bool clear = chunk.code[i].op == Op::ClearBreak;
      all += clear;
      clears += clear && i < end;
    }
    EXPECT_EQ(clears, row.clears) << row.source;
    EXPECT_EQ(all, row.clears == 0 ? 1 : row.clears) << row.source;  // the second entry clears
  }
}

// Runs source texts entry by entry in one interpreter.
class Session {
 public:
  explicit Session(bool specialise) : m_interp(LoweringOptions{specialise}) {}
  void run(std::string_view source) {
    m_programs.push_back(parse(source));
    for (const StmtPtr& stmt : m_programs.back()) m_interp.execute(*stmt);
  }
  std::string get(std::string_view name) {
    NameId id = intern(name);
    m_interp.prepare();
    return display(m_interp.lookup(id));
  }
  Interpreter& interp() { return m_interp; }

 private:
  Interpreter m_interp;
  std::list<Program> m_programs;
};

// Programs whose result hangs on the completion rules and on evaluation order, run in both
// modes.
TEST(Engine, BothModesAgree) {
  struct Row {
    const char* source;
    const char* r;
  };
  const Row rows[] = {
      {"r = 0 i = 0 while i < 10 { i += 1 if i % 2 == 0 { continue } r += i }", "25"},
      {"def f(n) { if n < 2 { return n } return f(n - 1) + f(n - 2) } r = f(15)", "610"},
      {"def f() { break } r = 0 for i in 0..5 { r = i f() r = 100 }", "0"},
      {"r = \"\" for i in 0..3 { r = r + i + \"-\" }", "null"},
      {"r = \"\" for i in 0..3 { r += \"ab\" } r = r + \"c\" + \"d\"", "abababcd"},
      {"a = [] for i in 0..4 { a = push(a, i * i) } r = a", "[0, 1, 4, 9]"},
      {"a = [1] b = a a = push(a, 2) a = push(a, b) r = [a, b]", "[[1, 2, [1]], [1]]"},
      {"a = 5 a = push(a, 1) r = a", "null"},
      {"a = [1] a = push(a, a) a = push(a, a) r = a", "[1, [1], [1, [1]]]"},
      {"a = [1, [2]] b = a a = push(a, a[1]) a = push(a, a[9]) a = push(a, d[0]) r = [a, b]",
       "[[1, [2], [2], null, null], [1, [2]]]"},
      {"def f() { a = push(a, a[0]) return a } a = [7] r = [f(), a]", "[[7, 7], [7]]"},
      // Items read after the array made room: the array itself, its own element, an element of
      // a sharer, the sharer, and an array that holds the one pushed onto.
      {"def f(x) { let a = [x] a = push(a, a) a = push(a, a[1]) let b = a let i = 0 "
       "a = push(a, b[i]) a = push(a, b) return [a, b] } c = [0] d = [c] c = push(c, d[0]) "
       "r = [f(1), c, d]",
       "[[[1, [1], [1], 1, [1, [1], [1]]], [1, [1], [1]]], [0, [0]], [[0]]]"},
      {"def f() { a = push(a, 3) return a } a = [1] r = [f(), a]", "[[1, 3], [1]]"},
      {"def g() { global r r = r + \"g\" return \"x\" } r = \"s\" r = r + g()", "sx"},
      {"d = {k: {j: 3}} r = d.k.j + d[\"k\"].j", "6"},
      {"x = 5 def f() { x = 1 return x } r = [f(), x]", "[1, 5]"},
      {"x = 2 x *= 3 x -= 1 x /= 2 r = x", "2"},
      {"x = 2.5 x += 1.0 r = x * 2.0", "7"},
      {"x = 2.5 x += 1 y = \"a\" y -= 1 z = -9223372036854775807 z -= 2 r = [x, y, z]",
       "[null, null, 9223372036854775807]"},
      {"r = 0 for i in 2.9..6 { r += i }", "14"},
      {"for i in 0..3 { } r = i", "2"},
      {"break if true { r = 1 r = 2 } r2 = 3", "1"},
      {"r = 0 match 3 { 1 => { r = 1 } 3 => { r = 3 } _ => { r = 9 } }", "3"},
      {"def f(a, b) { return a } r = [f(1), f(1, 2, 3)]", "[1, 1]"},
      // Arguments taken straight into a function's cells: one too many, one missing (it reads
      // the caller's binding), a shared array changed by the callee only.
      {"def f(a) { a = push(a, 1) return a } def g(a, b) { return [a, b] } x = [0] b = 5 "
       "r = [f(x), x, f(x, x), g(1), g(x, x), x]",
       "[[0, 1], [0], [0, 1], [1, 5], [[0], [0]], [0]]"},
      {"def k(a) { break } def g(a) { return a + 1 } k(1) r = [g(1), g(2, 3)]", "[2, 3]"},
      {"x = -1 x += -2 x -= -9223372036854775807 y = 0.5 y *= -2.0 r = [x, y, -0.0, -1.5 * -2.0, "
       "[-1, -2.5], max(-3, -4), 2 - -9223372036854775807, -x - -1]",
       "[9223372036854775804, -1, -0, 3, [-1, -2.5], -3, -9223372036854775807, "
       "-9223372036854775803]"},
      {"r = [] for v in [-2, -1, 2] { match v { -1 => { r = push(r, \"m\") } "
       "2 => { r = push(r, \"p\") } _ => { r = push(r, v) } } }",
       "[-2, m, p]"},
      // A name declared global inside a call stays declared after the call.
      {"def f() { x = 1 g() return x } def g() { global x x = 2 } x = 0 a = f() "
       "def h() { x = 7 return x } r = [a, x, h(), x]",
       "[1, 2, 7, 7]"},
      {"def f(a, b) { return [a, b] } x = 3 r = [f(x), f(x, 4), f(1, x), g(x), x(x)]",
       "[[3, null], [3, 4], [1, 3], null, null]"},
      // Builtins that only read take their arguments where they are; the others get copies.
      {"a = [1, 2] n = len(a) r = [n, max(n, 5), min(1.5, n), len(\"ab\"), pow(2), abs(0 - n)]",
       "[2, 5, 1.5, 2, null, 2]"},
      {"a = [1, 2] b = reverse(a) c = pop(a) r = [a, b, c, len(a)]", "[[1, 2], [2, 1], 2, 2]"},
      {"a = [1, [2, 3]] s = \"h\u00e9!\" d = {k: 1, j: 2} r = [len(a), len(a[1]), len(s), len(d), "
       "len(4), len(\"\"), len([]), len(a, 9)]",
       "[2, 2, 4, 2, null, 0, 0, 2]"},
      {"def f(p) { q = len(p) + len(q) return q } q = \"abc\" r = [f([1]), q]", "[4, abc]"},
      // Literals read as operands live in cells, filled for nested functions too.
      {"def f() { def g(x) { return x * 2.5 + 1.0 } return [g(2.0), h(1)] } "
       "def h(y) { if y == 1 { return \"one\" } return 0 } r = f()",
       "[6, one]"},
      // Steps held in the instruction and steps too wide for it wrap alike.
      {"z = 9223372036854775807 z += 4294967296 x = 5 x += 3000000000 x -= 3000000000 "
       "y = 7 y -= -2147483648 w = 7 w += -2147483648 r = [z, x, y, w]",
       "[-9223372032559808513, 5, 2147483655, -2147483641]"},
      {"r = 7 / 0 + 1", "1"},
      {"x = 1 x = x / 0 r = x", "0"},
      {"r = [1, 2][1] + {a: 4}.a", "6"},
      {"r = 1 < 2 and 2.0 < 1.5", "false"},
      // Conditions of compared leaves joined by `and` and `or`: a Null on either side, from
      // mixed kinds or an ordering of strings, makes the whole false, whichever side is true.
      {"n = 0 s = \"a\" f = 1.5 t = true r = [] for i in 0..6 { "
       "if i > 1 and i < 4 { r = push(r, i) } if i == 0 or i == 5 { r = push(r, -i) } "
       "if i < 3 and i > 0 and i != 2 { r = push(r, 10 + i) } } "
       "if n == 0 or s == 1 { r = push(r, \"a\") } if s == 1 or n == 0 { r = push(r, \"b\") } "
       "if n == 1 or s == \"a\" { r = push(r, \"c\") } "
       "if s < \"b\" or n == 0 { r = push(r, \"d\") } "
       "if t == true or f > 9.0 { r = push(r, \"e\") } "
       "if f > 2.0 or f < 1.0 { r = push(r, \"f\") } "
       "if n == 0 and s == 1 { r = push(r, \"g\") } "
       "if n == 0 and s != \"b\" { r = push(r, \"h\") } "
       "k = 0 while k < 10 and k != 7 { k += 1 } while k == 7 or k == 8 { k += 1 } r = push(r, k)",
       "[0, 11, 2, 3, -5, c, e, h, 9]"},
      // A name or a negation as the whole condition, for every kind of value.
      {"r = [] for v in [0, 1, 0.0, -0.0, 2.5, \"\", [], {}, true, false, u] { if v { "
       "r = push(r, 1) } else { r = push(r, 0) } if not v { r = push(r, \"n\") } } "
       "def f(x) { return x } if not f(0) { r = push(r, \"f\") } if not f([]) { r = push(r, 9) }",
       "[0, n, 1, 0, n, 0, n, 1, 1, 1, 1, 1, 0, n, 0, n, f]"},
      // A leaf on the left of a comparison is read after the right operand when nothing there
      // can change it, and before a call that can.
      {"a = [3, 2.5, \"s\", true, [1]] i = 0 r = [] for v in a { "
       "if 2 < a[i] { r = push(r, \"lt\") } if 2.5 >= a[i] { r = push(r, \"ge\") } "
       "if \"s\" == a[i] { r = push(r, \"eq\") } if \"a\" < a[i] { r = push(r, \"str\") } "
       "if false != a[i] { r = push(r, \"ne\") } if v <= a[i] { r = push(r, i) } i += 1 } "
       "def f() { global x x = 5 return 4 } x = 3 if x < f() { r = push(r, \"call\") }",
       "[lt, 0, ge, 1, eq, ne, call]"},
  };
  for (const Row& row : rows) {
    for (bool specialise : {true, false}) {
      Session s(specialise);
      s.run(row.source);
      EXPECT_EQ(s.get("r"), row.r) << row.source << (specialise ? "" : " (generic)");
    }
  }
}

// `x = builtin(x, ...)` and `x = x + ...` let the variable's payload go while they run; a
// refused allocation must give it back.
TEST(Engine, AFailedUpdateKeepsTheVariable) {
  struct Row {
    const char* setup;
    const char* update;
  };
  const Row rows[] = {
      {"a = [1, 2, 3]", "a = push(a, 4)"},
      {"a = [1, 2, 3]", "a = push(a, f())"},
      {"a = \"abcdefgh\"", "a = split(a, \"\")"},
      {"a = \"abcdefgh\"", "a = a + a + \"x\""},
      {"a = \"abcdefgh\"", "a += a"},
  };
  for (const Row& row : rows) {
    for (bool specialise : {true, false}) {
      Session s(specialise);
      s.run(row.setup);
      std::string before = s.get("a");
      set_allocation_limit(8);
      EXPECT_THROW(s.run(row.update), OutOfMemory) << row.update;
      set_allocation_limit(0);
      s.interp().recover();
      EXPECT_EQ(s.get("a"), before) << row.update;
    }
  }
}

// `x = push(x, v)` starts a new array with the room that the site's earlier arrays needed, so
// an array built again and again does not grow step by step each time; one large array does
// not size all that follow.
TEST(Engine, APushSiteSizesTheArraysItStartsByTheEarlierOnes) {
  Session s(true);
  s.run("def build(n) { let out = [] for i in 0..n { out = push(out, i) } return out }");
  auto capacity = [&](std::string_view name) {
    s.interp().prepare();
    return s.interp().lookup(intern(name)).array_capacity();
  };
  s.run("a = build(3)");
  EXPECT_EQ(capacity("a"), 6u);
  s.run("a = build(40) b = build(1)");
  EXPECT_EQ(capacity("a"), 62u);
  EXPECT_EQ(capacity("b"), 62u);
  s.run("a = build(100000) b = build(1)");
  EXPECT_EQ(capacity("b"), 1022u);
  s.run("for k in 0..60 { b = build(1) }");
  EXPECT_EQ(capacity("b"), 6u);
  EXPECT_EQ(s.get("b"), "[0]");
  // An array that one site starts and another fills: the room goes to the site that starts.
  s.run(
      "def both(n) { let out = [] out = push(out, -1) for i in 0..n { out = push(out, i) } "
      "return out }");
  s.run("a = both(40) b = both(3)");
  EXPECT_EQ(capacity("b"), 62u);
  EXPECT_EQ(s.get("b"), "[-1, 0, 1, 2]");
  // A shared array that a site copies keeps its elements and its sharer.
  s.run("def grow(a) { a = push(a, 9) return a } c = build(40) d = grow(c)");
  s.run("r = [len(c), len(d), c[39], d[39], d[40]]");
  EXPECT_EQ(s.get("r"), "[40, 41, 39, 39, 9]");
}

// The literals of top-level code go when it ends, so a value made from one is not held by
// them; a function keeps its literals for every later call.
TEST(Engine, TopLevelLiteralsGoWithTheirStatementAndFunctionsKeepTheirs) {
  Session s(true);
  s.run("g = [1, 2] t = \"text\" + \"!\" def f(n) { return [n + 0.5, \"lit\", n == 2.0] }");
  s.interp().prepare();
  EXPECT_TRUE(s.interp().lookup_ref(intern("g")).is_unique());
  for (int i = 0; i < 3; ++i) {
    s.run("r = f(2.0)");
    EXPECT_EQ(s.get("r"), "[2.5, lit, true]");
  }
  s.run("r = [f(1.5), len(g), t]");
  EXPECT_EQ(s.get("r"), "[[2, lit, false], 2, text!]");
}

// An error that abandons a call of a function with cells lets go of what the cells held.
TEST(Engine, RecoverEmptiesTheCellsOfAbandonedCalls) {
  Session s(true);
  s.run("g = [1, 2] def f(x, n) { let keep = x let big = 0..n return keep }");
  EXPECT_THROW(s.run("f(g, 100000000000)"), OutOfMemory);
  s.interp().recover();
  s.interp().prepare();
  EXPECT_TRUE(s.interp().lookup_ref(intern("g")).is_unique());
  s.run("r = [f(g, 2), keep, big]");
  EXPECT_EQ(s.get("r"), "[[1, 2], null, null]");
}

TEST(Engine, RecoverRestoresGlobalsFromDeepInsideCalls) {
  Session s(true);
  s.run("x = \"global\" def f(n) { x = n if n == 0 { return 0 .. 100000000000 } return f(n - 1) }");
  EXPECT_THROW(s.run("f(1000)"), OutOfMemory);
  s.interp().recover();
  EXPECT_EQ(s.get("x"), "global");
  s.run("def h(n) { x = n return n } r = h(3)");
  EXPECT_EQ(s.get("x"), "global");
  EXPECT_EQ(s.get("r"), "3");
}

TEST(Engine, TheCallLimitIsAnError) {
  Session s(true);
  s.run("def f(n) { return f(n + 1) }");
  EXPECT_THROW(s.run("f(0)"), RecursionTooDeep);
  s.interp().recover();
  s.run("def g(n) { if n == 0 { return \"deep\" } return g(n - 1) } r = g(200000)");
  EXPECT_EQ(s.get("r"), "deep");
}

// Every loop round and call takes a step of the budget and looks for a stop request, though
// both are looked at only every few thousand steps; each holds again after it stopped a run.
TEST(Engine, TheStepBudgetAndStopRequestsHoldRunAfterRun) {
  struct Row {
    uint64_t budget;
    int rounds;  // of a loop whose head runs rounds + 1 times, before one call: rounds + 2 steps
    bool stops;
  };
  const Row rows[] = {{9, 7, false}, {9, 8, true}, {5000, 4998, false}, {5000, 4999, true}};
  for (const Row& row : rows) {
    Session s(true);
    s.interp().set_step_budget(row.budget);
    s.run("def f() { return 1 }");
    std::string loop = "n = 0 while n < " + std::to_string(row.rounds) + " { n += 1 } f()";
    if (!row.stops) {
      s.run(loop);
      EXPECT_THROW(s.run("f()"), StepBudgetExhausted) << row.budget << ": nothing is left";
      continue;
    }
    EXPECT_THROW(s.run(loop), StepBudgetExhausted) << row.budget;
    s.interp().recover();
    EXPECT_THROW(s.run("f()"), StepBudgetExhausted) << row.budget << ": it stays used up";
  }
  Session s(true);
  for (int stop = 0; stop < 2; ++stop) {
    interrupt::request(SIGINT);
    EXPECT_THROW(s.run("while true { }"), Interrupted);
    s.interp().recover();
  }
  s.run("def deep(n) { if n == 0 { while true { } } deep(n - 1) }");
  interrupt::request(SIGINT);
  EXPECT_THROW(s.run("deep(1000)"), Interrupted);
}

// ---- whole runs on the default stack, under an address-space limit ----

struct Limited {
  std::string out, err;
  int status;
};

// Runs the binary on `script` with 2,000,000 KiB of address space at most (sanitizers need far
// more address space for their own bookkeeping: there, without the limit).
Limited run_limited(const std::string& script) {
  std::string dir = testing::temp_dir();
  testing::write_file(dir + "/s.ov", script);
#if defined(ORVANE_SANITIZED)
  const std::string limit = "";
#else
  const std::string limit = "ulimit -v 2000000 && ";
#endif
  std::string cmd = "cd '" + dir + "' && " + limit + "'" + ORVANE_BINARY + "' s.ov > out 2> err";
  int raw = std::system(cmd.c_str());
  Limited r{testing::read_file(dir + "/out"), testing::read_file(dir + "/err"),
            WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
  std::filesystem::remove_all(dir);
  return r;
}

std::string repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

TEST(Engine, LongChainsParseLowerRunAndFree) {
  struct Row {
    std::string script;
    std::string out;
  };
  const Row rows[] = {
      {"x = {a: 1}\ndef f() { return x" + repeat(".a", 100000) + " }\nprint(f())\n", "null\n"},
      {"x = [[5]]\nprint(x" + repeat("[0]", 100000) + ")\n", "null\n"},
      {"print(1" + repeat(" + 1", 999999) + ")\n", "1000000\n"},
      {"def f() { return 1" + repeat(" * 1", 200000) + " }\nprint(f())\n", "1\n"},
      {"a = [] for i in 0..300000 { a = [a] }\nprint(len(a))\n", "1\n"},
      {"a = 1 for i in 0..3000 { a = [a] }\nprint(a)\n",
       std::string(3000, '[') + "1" + std::string(3000, ']') + "\n"},
  };
  for (const Row& row : rows) {
    Limited r = run_limited(row.script);
    EXPECT_EQ(r.status, 0) << r.err << row.script.substr(0, 40);
    EXPECT_EQ(r.out, row.out) << row.script.substr(0, 40);
  }
}

// Display and freeing walk nested values without recursing, on the default stack.
TEST(Engine, DeepValuesAreShownAndFreed) {
  Limited r = run_limited("a = 1 for i in 0..50000 { a = [a] }\nprint(\"before\")\nprint(a)\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "before\n" + std::string(50000, '[') + "1" + std::string(50000, ']') + "\n");
}

TEST(Engine, ARangeLoopBuildsNoArray) {
  // Built, this range would need far more than the address space allows.
  Limited r = run_limited(
      "n = 0\nfor i in 0..400000000000 { n += 1 if n == 3 { break } }\nprint(i, n)\n"
      "for j in -1.5..1.5 { print(j) }\nfor k in \"a\"..3 { print(k) }\nprint(k)\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n3\n-1\n0\nnull\n");
}

}  // namespace
}  // namespace orvane
