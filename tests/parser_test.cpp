// Parser: source text in, syntax tree out, compared through the one-line S-expression dump.
#include "parser/parser.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "interpreter/builtins.hpp"
#include "lexer/lexer.hpp"
#include "parser/dump.hpp"

namespace orvane {
namespace {

std::string parse(std::string_view source) {
  return dump_program(Parser::parse_program(tokenize(source)));
}

struct Case {
  const char* source;
  const char* tree;
};

void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(parse(c.source), c.tree) << "source: " << c.source;
}

// Sources that must give the same tree.
void check_same(const std::vector<std::vector<const char*>>& groups) {
  for (const auto& group : groups)
    for (size_t i = 1; i < group.size(); ++i)
      EXPECT_EQ(parse(group[i]), parse(group[0])) << group[i] << "  vs  " << group[0];
}

TEST(Parser, EmptyInput) { check_all({{"", ""}, {"   # only a comment\n", ""}}); }

TEST(Parser, LetAndItsFailurePoints) {
  check_all({
      {"let x = 1", "(let x 1)"},
      {"let x = 1;", "(let x 1)"},
      {"let x =", "(let x 0)"},  // the missing value is the placeholder
      {"let x = ;", "(let x 0)"},
      {"let 5", "(expr 5)"},    // no name: "let" dropped, 5 goes on
      {"let x 5", "(expr 5)"},  // no "=": "let x" dropped
      {"let x", ""},
      {"let", ""},
      {"let = 3", "(expr 3)"},  // the "=" left over is skipped
      {"let let x = 1", "(let x 1)"},
      {"let x = 1 let y = 2", "(let x 1) (let y 2)"},
      {"let x = 1;; let y = 2", "(let x 1) (expr 0) (let y 2)"},
  });
}

TEST(Parser, AssignmentForms) {
  check_all({
      {"x = 1", "(= x 1)"},
      {"x += 2", "(+= x 2)"},
      {"x -= 2;", "(-= x 2)"},
      {"x *= 2", "(*= x 2)"},
      {"x /= 2", "(/= x 2)"},
      {"x + 2", "(expr (+ x 2))"},
      {"x == 2", "(expr (== x 2))"},
      {"x = y = 2", "(= x y) (expr 2)"},  // no chained assignment: the second "=" is skipped
      {"x %= 2", "(expr (% x 0)) (expr 2)"},
      {"x **= 2", "(expr (** x 0)) (expr 2)"},
      {"x =", "(= x 0)"},
      {"_ = 1", "(= _ 1)"},
      // Targets are names only: an element assignment leaves its "=" behind.
      {"a[0] = 1", "(expr (index a 0)) (expr 1)"},
      {"a.b = 1", "(expr (index a \"b\")) (expr 1)"},
      {"a.b += 1", "(expr (index a \"b\")) (expr 1)"},
      {"(x) = 1", "(expr x) (expr 1)"},
  });
}

TEST(Parser, FunctionDefinitions) {
  check_all({
      {"def f() { }", "(def f () {})"},
      {"def f(a, b) { return a + b }", "(def f (a b) {(return (+ a b))})"},
      {"def f(a b) { }", "(def f (a b) {})"},
      {"def f(a, b,) { }", "(def f (a b) {})"},
      {"def f(a) { x", "(def f (a) {(expr x)})"},  // the closing brace is optional
      {"def f() { def g() { 1 } }", "(def f () {(def g () {(expr 1)})})"},
      {"def f() { };", "(def f () {}) (expr 0)"},
      // Failure points: each drops what it consumed and the parse goes on.
      {"def f(a,, b) { }", "(expr b) (expr (dict))"},
      {"def (a) { }", "(expr a) (expr (dict))"},
      {"def 1", "(expr 1)"},
      {"def f a", "(expr a)"},
      {"def f(a { }", "(expr (dict))"},
      {"def f(1) { }", "(expr 1) (expr (dict))"},
      {"def f() x", "(expr x)"},
      {"def f()", ""},
      {"def f(a = 1) { }", "(expr 1) (expr (dict))"},
  });
}

TEST(Parser, Return) {
  check_all({
      {"return", "(return)"},
      {"return;", "(return)"},
      {"return 0", "(return 0)"},
      {"return;1", "(return) (expr 1)"},
      {"def f() { return }", "(def f () {(return)})"},
      {"def f() { return } x", "(def f () {(return)}) (expr x)"},
      {"def f() { return; x }", "(def f () {(return) (expr x)})"},
      {"return x y", "(return x) (expr y)"},
      {"return return", "(return 0) (return)"},  // a keyword cannot begin the value
  });
}

TEST(Parser, IfElse) {
  check_all({
      {"if a { b }", "(if a {(expr b)})"},
      {"if a { } else { }", "(if a {} {})"},  // an empty else is present
      {"if a { b } else { c }", "(if a {(expr b)} {(expr c)})"},
      {"if a { };", "(if a {}) (expr 0)"},
      {"if x { print(1)", "(if x {(expr (call print 1))})"},
      {"if a { } else", "(if a {})"},
      {"if a { } else {", "(if a {} {})"},
      {"if a { } else x", "(if a {}) (expr x)"},
      // No else-if: the "else" is dropped and a second if follows.
      {"if a { } else if b { }", "(if a {}) (if b {})"},
      {"if a { 1 } else if b { 2 } else { 3 }", "(if a {(expr 1)}) (if b {(expr 2)} {(expr 3)})"},
      {"if a b", "(expr b)"},  // no "{": the condition is consumed and dropped
      {"if { }", ""},          // the braces are a dict condition; then no "{"
      {"if", ""},
      {"if a == 1 and b { }", "(if (and (== a 1) b) {})"},
      {"if not x { }", "(if (not x) {})"},
  });
}

TEST(Parser, WhileAndFor) {
  check_all({
      {"while x < 3 { x += 1 }", "(while (< x 3) {(+= x 1)})"},
      {"while true { break; continue }", "(while true {(break) (continue)})"},
      {"while x", ""},
      {"while x y", "(expr y)"},
      {"while x { ", "(while x {})"},
      {"for i in 0..10 { print(i) }", "(for i (range 0 10) {(expr (call print i))})"},
      {"for x in xs { }", "(for x xs {})"},
      {"for x in [1, 2] { }", "(for x (array 1 2) {})"},
      {"for 1 in x { }", "(expr 1) (expr x) (expr (dict))"},
      {"for x y { }", "(expr y) (expr (dict))"},
      {"for x in y z", "(expr z)"},
      {"for x in", ""},
      {"for", ""},
  });
}

TEST(Parser, BreakContinueGlobal) {
  check_all({
      {"break", "(break)"},
      {"break;", "(break)"},
      {"break; continue;", "(break) (continue)"},
      {"break continue", "(break) (continue)"},
      {"break;;", "(break) (expr 0)"},
      {"global x", "(global x)"},
      {"global x;", "(global x)"},
      {"global x y", "(global x) (expr y)"},
      {"global x, y", "(global x) (expr y)"},
      {"global 5", "(expr 5)"},
      {"global", ""},
  });
}

TEST(Parser, Match) {
  check_all({
      {"match v { 1 => print(1); _ => { print(2) } }",
       "(match v (=> 1 {(expr (call print 1))}) (=> _ {(expr (call print 2))}))"},
      {"match v { }", "(match v)"},
      {"match v { 1 => 2 }", "(match v (=> 1 {(expr 2)}))"},
      {"match v { 1 => { } }", "(match v (=> 1 {}))"},
      {"match v { 1 => {2 3} 4 => 5 }", "(match v (=> 1 {(expr 2) (expr 3)}) (=> 4 {(expr 5)}))"},
      {"match v { _x => 1 }", "(match v (=> _x {(expr 1)}))"},  // only "_" is the wildcard
      {"match v { \"a\" => 1 _ => 2 }", "(match v (=> \"a\" {(expr 1)}) (=> _ {(expr 2)}))"},
      {"match v { 1 + 1 => x; }", "(match v (=> (+ 1 1) {(expr x)}))"},
      {"match v { 1 => 2", "(match v (=> 1 {(expr 2)}))"},
      {"match v { 1 => {", "(match v (=> 1 {}))"},
      {"match v { } x", "(match v) (expr x)"},
      {"match v x", "(expr x)"},
      {"match", ""},
      // A pattern without "=>" is discarded and the next arm begins where it stopped.
      {"match v { 1 2 => 3 }", "(match v (=> 2 {(expr 3)}))"},
      {"match v { _ 1 => 2 }", "(match v (=> 1 {(expr 2)}))"},
      {"match v { _ }", "(match v)"},
      // Arms are not separated by commas: a comma is skipped.
      {"match v { 1 => a, 2 => b }", "(match v (=> 1 {(expr a)}) (=> 2 {(expr b)}))"},
      // An arm body is one expression: what follows starts the next arm.
      {"match v { 1 => a b => c }", "(match v (=> 1 {(expr a)}) (=> b {(expr c)}))"},
      {"match v { 1 => x = 2 }", "(match v (=> 1 {(expr x)}))"},
      {"match v { => 1 }", "(match v (=> 0 {(expr 1)}))"},
  });
}

TEST(Parser, TryCatch) {
  check_all({
      {"try { a } catch e { b }", "(try {(expr a)} e {(expr b)})"},
      {"try { } catch e { }", "(try {} e {})"},
      {"try { } catch e {", "(try {} e {})"},
      // Each failure point.
      {"try { } catch { }", "(expr (dict))"},  // no name: the catch block is a dict
      {"try x", "(expr x)"},
      {"try { } x", "(expr x)"},
      {"try { } catch e x", "(expr x)"},
      {"try { } catch 1 { }", "(expr 1) (expr (dict))"},
      {"try", ""},
      {"try { 1 ", ""},
  });
}

TEST(Parser, ExpressionStatements) {
  check_all({
      {";", "(expr 0)"},
      {";;", "(expr 0) (expr 0)"},
      {"1", "(expr 1)"},
      {"1 2", "(expr 1) (expr 2)"},
      {"1; 2;", "(expr 1) (expr 2)"},
      {"true", "(expr true)"},
      {"false;", "(expr false)"},
      {"not x", "(expr (not x))"},
      {"-x", "(expr (- x))"},
      {"(1)", "(expr 1)"},
      {"[1]", "(expr (array 1))"},
      {"{}", "(expr (dict))"},  // a brace at statement start is a dict, never a block
      {"{ x = 1 }", "(expr (dict))"},
      {"{ a: 1 }", "(expr (dict (a 1)))"},
      {"print(\"hi\")", "(expr (call print \"hi\"))"},
      {"2.5", "(expr 2.5)"},
      {"2.0", "(expr 2.0)"},
  });
}

TEST(Parser, OptionalSemicolonsAndCommas) {
  check_same({
      {"let x = 1; let y = 2", "let x = 1 let y = 2", "let x = 1\nlet y = 2;"},
      {"f(1, 2)", "f(1 2)", "f(1, 2,)", "f(1\n2)"},
      {"[1, 2]", "[1 2]", "[1, 2,]"},
      {"{a: 1, b: 2}", "{a: 1 b: 2}", "{a: 1, b: 2,}"},
      {"def f(a, b) { }", "def f(a b) { }", "def f(a, b,) { }"},
      {"x += 1; y -= 2", "x += 1 y -= 2"},
      {"return 1;", "return 1"},
      {"global g;", "global g"},
  });
}

TEST(Parser, PrecedenceAndAssociativity) {
  check_all({
      {"1 + 2 * 3", "(expr (+ 1 (* 2 3)))"},
      {"(1 + 2) * 3", "(expr (* (+ 1 2) 3))"},
      {"1 - 2 - 3", "(expr (- (- 1 2) 3))"},
      {"8 / 4 / 2", "(expr (/ (/ 8 4) 2))"},
      {"a % b * c / d", "(expr (/ (* (% a b) c) d))"},
      {"2 ** 3 ** 2", "(expr (** (** 2 3) 2))"},  // left-associative
      {"2 * 3 ** 2", "(expr (* 2 (** 3 2)))"},
      {"-2 ** 2", "(expr (** (- 2) 2))"},
      {"- - x", "(expr (- (- x)))"},
      {"not not x", "(expr (not (not x)))"},
      {"!x", "(expr (not x))"},
      {"not -x", "(expr (not (- x)))"},
      {"-a[0]", "(expr (- (index a 0)))"},
      {"not f(x)", "(expr (not (call f x)))"},
      {"not a == b", "(expr (== (not a) b))"},
      {"a or b and c", "(expr (or a (and b c)))"},
      {"a and b or c and d", "(expr (or (and a b) (and c d)))"},
      {"a or b or c", "(expr (or (or a b) c))"},
      {"a == b < c", "(expr (== a (< b c)))"},
      {"a < b < c", "(expr (< (< a b) c))"},
      {"a != b == c", "(expr (== (!= a b) c))"},
      {"a <= b >= c > d", "(expr (> (>= (<= a b) c) d))"},
      {"a + b < c * d", "(expr (< (+ a b) (* c d)))"},
      {"a == b and c != d", "(expr (and (== a b) (!= c d)))"},
      {"1 + -2", "(expr (+ 1 (- 2)))"},
      {"1 - -2", "(expr (- 1 (- 2)))"},
      {"a * -b ** c", "(expr (* a (** (- b) c)))"},
  });
}

TEST(Parser, Ranges) {
  check_all({
      {"0..10", "(expr (range 0 10))"},
      {"1 + 1..n - 1", "(expr (range (+ 1 1) (- n 1)))"},
      {"a..b", "(expr (range a b))"},  // not a member access
      {"x.y..z", "(expr (range (index x \"y\") z))"},
      {"1..2.5", "(expr (range 1 2.5))"},
      {"-1..-5", "(expr (range (- 1) (- 5)))"},
      {"a * 2..b ** 2", "(expr (range (* a 2) (** b 2)))"},
      {"1 < 0..5", "(expr (< 1 (range 0 5)))"},
      {"0..5 == r", "(expr (== (range 0 5) r))"},
      {"0..", "(expr (range 0 0))"},
      {"..5", "(expr (range 0 5))"},
      {"f(0..3)", "(expr (call f (range 0 3)))"},
      {"[0..3]", "(expr (array (range 0 3)))"},
      // At most one range per level: the second ".." is left over.
      {"let r = a..b..c", "(let r (range a b)) (expr (range 0 c))"},
      {"(0..1)..2", "(expr (range (range 0 1) 2))"},
      {"1. .2", "(expr (range 1 2))"},
  });
}

TEST(Parser, PostfixLoop) {
  check_all({
      {"a.b", "(expr (index a \"b\"))"},
      {"a.b.c", "(expr (index (index a \"b\") \"c\"))"},
      {"a[1][2]", "(expr (index (index a 1) 2))"},
      {"a[i + 1]", "(expr (index a (+ i 1)))"},
      {"a[]", "(expr (index a 0))"},
      {"a[1", "(expr (index a 1))"},
      {"a.b[0].c", "(expr (index (index (index a \"b\") 0) \"c\"))"},
      {"f()", "(expr (call f))"},
      {"f(x)[0]", "(expr (index (call f x) 0))"},
      {"f(x).y", "(expr (index (call f x) \"y\"))"},
      // Only names are called: other callees keep themselves and drop the arguments.
      {"f(1)(2)", "(expr (call f 1))"},
      {"obj.method(x)", "(expr (index obj \"method\"))"},
      {"a[0](1)", "(expr (index a 0))"},
      {"\"s\"(1)", "(expr \"s\")"},
      {"(f)(1)", "(expr (call f 1))"},  // parentheses leave no node, so this is a name
      {"(f(1))(2)", "(expr (call f 1))"},
      // A dot without a name after it is dropped and the loop goes on.
      {"a.5", "(expr a) (expr 5)"},
      {"a.[0]", "(expr (index a 0))"},
      {"a.if", "(expr a)"},
      {"a.", "(expr a)"},
      {".x", "(expr (index 0 \"x\"))"},
      {"a.b.", "(expr (index a \"b\"))"},
      {"a . b", "(expr (index a \"b\"))"},
  });
  std::string source = "print(1) foo(2)";
  Program p = Parser::parse_program(tokenize(source));
  ASSERT_EQ(p.size(), 2u);
  const auto& first = static_cast<const CallExpr&>(*static_cast<const ExpressionStmt&>(*p[0]).expr);
  const auto& second =
      static_cast<const CallExpr&>(*static_cast<const ExpressionStmt&>(*p[1]).expr);
  EXPECT_EQ(name_text(first.name), "print");
  EXPECT_EQ(name_text(second.name), "foo");
}

TEST(Parser, ArgumentAndElementLists) {
  check_all({
      {"f(,)", "(expr (call f 0))"},
      {"[,]", "(expr (array 0))"},
      {"[1,,2]", "(expr (array 1 0 2))"},
      {"[1, [2, 3]]", "(expr (array 1 (array 2 3)))"},
      {"[]", "(expr (array))"},
      {"[[]]", "(expr (array (array)))"},
      {"f(1", "(expr (call f 1))"},
      {"f(1]", "(expr (call f 1))"},  // any closer ends a list; the wrong one is skipped
      {"[1)", "(expr (array 1))"},
      {"f(1}", "(expr (call f 1))"},
      {"f(a b c)", "(expr (call f a b c))"},
      {"f(g(1) h(2))", "(expr (call f (call g 1) (call h 2)))"},
      {"f(-1 -2)", "(expr (call f (- (- 1) 2)))"},  // the minus is binary here
  });
}

TEST(Parser, DictLiterals) {
  check_all({
      {"{}", "(expr (dict))"},
      {"{a: 1, b: 2}", "(expr (dict (a 1) (b 2)))"},
      {"{a: 1, a: 2}", "(expr (dict (a 1) (a 2)))"},  // duplicates stay
      {"{a: {b: [1]}}", "(expr (dict (a (dict (b (array 1))))))"},
      {"{a: 1 + 2, b: f(x)}", "(expr (dict (a (+ 1 2)) (b (call f x))))"},
      {"{a: }", "(expr (dict (a 0)))"},
      {"{a: 1", "(expr (dict (a 1)))"},
      {"{a}", "(expr (dict))"},  // a key without ":" is dropped
      {"{a 1}", "(expr (dict))"},
      {"{a b: 2}", "(expr (dict (b 2)))"},
      {"{\"a\": 1, b: 2}", "(expr (dict (b 2)))"},  // keys are bare names only
      {"{1: 2}", "(expr (dict))"},
      {"{,}", "(expr (dict))"},
      {"{if: 1}", "(expr (dict))"},
      {"{_: 1}", "(expr (dict (_ 1)))"},
      {"x = {k: v}", "(= x (dict (k v)))"},
  });
}

// A token that neither a statement nor an expression can take is skipped; what was parsed
// before it stays as it would be without it.
TEST(Parser, StrayTokensAreSkipped) {
  const char* strays[] = {
      ")", "]", ",", ":", "=", "+=", "-=", "*=", "/=", "=>", "->", "?", "else", "in", "catch", "}"};
  for (const char* stray : strays) {
    std::string top = std::string("let a = 1 ") + stray + " let b = 2";
    EXPECT_EQ(parse(top), "(let a 1) (let b 2)") << top;
    std::string lead = std::string(stray) + " x";
    EXPECT_EQ(parse(lead), "(expr x)") << lead;
    std::string twice = std::string(stray) + " " + stray + " " + stray;
    EXPECT_EQ(parse(twice), "") << twice;
  }
  // Inside a block the same tokens are skipped, except "}" which closes it.
  for (const char* stray : strays) {
    if (std::string(stray) == "}") continue;
    std::string block = std::string("while c { ") + stray + " x }";
    EXPECT_EQ(parse(block), "(while c {(expr x)})") << block;
  }
  // Where a match pattern is expected, also ";" and the keywords that begin statements.
  for (const char* stray : {";", "let", "def", "return", "if", "while", "for", "break", "continue",
                            "match", "try", "global", ")", ",", "in"}) {
    std::string arms = std::string("match v { 1 => a ") + stray + " 2 => b }";
    EXPECT_EQ(parse(arms), "(match v (=> 1 {(expr a)}) (=> 2 {(expr b)}))") << arms;
  }
  // In argument, element and dict lists.
  for (const char* stray : {";", ":", "=", "+=", "=>", "->", "?", "let", "else", "in", "while"}) {
    std::string call = std::string("f(1 ") + stray + " 2)";
    EXPECT_EQ(parse(call), "(expr (call f 1 2))") << call;
    std::string array = std::string("[1 ") + stray + " 2]";
    EXPECT_EQ(parse(array), "(expr (array 1 2))") << array;
    std::string dict = std::string("{a: 1 ") + stray + " b: 2}";
    EXPECT_EQ(parse(dict), "(expr (dict (a 1) (b 2)))") << dict;
  }
}

TEST(Parser, PlaceholderZero) {
  check_all({
      {"+ 1", "(expr (+ 0 1))"},
      {"1 +", "(expr (+ 1 0))"},
      {"* 2", "(expr (* 0 2))"},
      {"1 + * 2", "(expr (+ 1 (* 0 2)))"},
      {"a and", "(expr (and a 0))"},
      {"-", "(expr (- 0))"},
      {"not", "(expr (not 0))"},
      {"f(+)", "(expr (call f (+ 0 0)))"},
      {"x = )", "(= x 0)"},
      {"(", "(expr 0)"},
      {"()", "(expr 0)"},
      {"(1 + 2", "(expr (+ 1 2))"},
      {"[", "(expr (array))"},
      {"{", "(expr (dict))"},
  });
}

// Each nesting form parses a thousand levels deep and has a hard limit beyond which the
// parse stops with NestingTooDeep instead of exhausting the stack.
TEST(Parser, DeepNesting) {
  struct Form {
    const char* open;
    const char* inner;
    const char* close;
  };
  const Form forms[] = {
      {"(", "1", ")"},           {"[", "1", "]"},
      {"{a: ", "1", "}"},        {"-", "1", ""},
      {"not ", "1", ""},         {"f(", "1", ")"},
      {"a[", "1", "]"},          {"if x { ", "1", " }"},
      {"def f() { ", "1", " }"}, {"match v { 1 => { ", "1", " } }"},
  };
  int status = [&] {
    for (const Form& f : forms) {
      auto nested = [&](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i) s += f.open;
        s += f.inner;
        for (int i = 0; i < depth; ++i) s += f.close;
        return s;
      };
      EXPECT_NO_THROW(parse(nested(1000))) << f.open;
      EXPECT_THROW(parse(nested(Parser::MAX_NESTING + 1)), NestingTooDeep) << f.open;
      EXPECT_THROW(parse(nested(100000)), NestingTooDeep) << f.open;
    }
    // The tree really is that deep.
    std::string parens(1000, '(');
    EXPECT_EQ(parse(parens + "7" + std::string(1000, ')')), "(expr 7)");
    std::string arrays(3, '[');
    EXPECT_EQ(parse(arrays + "7" + std::string(3, ']')), "(expr (array (array (array 7))))");
    return 0;
  }();
  EXPECT_EQ(status, 0);
}

// Long flat chains are not nesting, up to the chain limit.
TEST(Parser, LongOperatorChains) {
  int status = [&] {
    std::string chain = "1";
    for (int i = 0; i < 50000; ++i) chain += " + 1";
    Program p = Parser::parse_program(tokenize(chain));
    EXPECT_EQ(p.size(), 1u);
    std::string statements;
    for (int i = 0; i < 50000; ++i) statements += "x = 1; ";
    EXPECT_EQ(Parser::parse_program(tokenize(statements)).size(), 50000u);
    return 0;
  }();
  EXPECT_EQ(status, 0);
}

// Checks what the interpreter relies on: children present, operators of the right families.
void check_tree(const Expr& e);
void check_block(const Block& b);

bool is_binary_operator(TokenKind k) {
  switch (k) {
    case TokenKind::Or:
    case TokenKind::And:
    case TokenKind::EqualEqual:
    case TokenKind::NotEqual:
    case TokenKind::Less:
    case TokenKind::Greater:
    case TokenKind::LessEqual:
    case TokenKind::GreaterEqual:
    case TokenKind::Plus:
    case TokenKind::Minus:
    case TokenKind::Star:
    case TokenKind::Slash:
    case TokenKind::Percent:
    case TokenKind::StarStar:
      return true;
    default:
      return false;
  }
}

void check_tree(const Expr& e) {
  switch (e.kind) {
    case Expr::Binary: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      ASSERT_TRUE(b.left && b.right);
      EXPECT_TRUE(is_binary_operator(b.op)) << token_kind_name(b.op);
      check_tree(*b.left);
      check_tree(*b.right);
      break;
    }
    case Expr::Unary: {
      const auto& u = static_cast<const UnaryExpr&>(e);
      ASSERT_TRUE(u.operand);
      EXPECT_TRUE(u.op == TokenKind::Minus || u.op == TokenKind::Not);
      check_tree(*u.operand);
      break;
    }
    case Expr::Call:
      for (const auto& a : static_cast<const CallExpr&>(e).args) {
        ASSERT_TRUE(a);
        check_tree(*a);
      }
      break;
    case Expr::Array:
      for (const auto& a : static_cast<const ArrayExpr&>(e).elements) {
        ASSERT_TRUE(a);
        check_tree(*a);
      }
      break;
    case Expr::Dict:
      for (const auto& entry : static_cast<const DictExpr&>(e).entries) {
        EXPECT_FALSE(entry.key.empty());
        ASSERT_TRUE(entry.value);
        check_tree(*entry.value);
      }
      break;
    case Expr::Index: {
      const auto& i = static_cast<const IndexExpr&>(e);
      ASSERT_TRUE(i.target && i.index);
      check_tree(*i.target);
      check_tree(*i.index);
      break;
    }
    case Expr::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      ASSERT_TRUE(r.start && r.end);
      check_tree(*r.start);
      check_tree(*r.end);
      break;
    }
    default:
      break;
  }
}

void check_stmt(const Stmt& s) {
  switch (s.kind) {
    case Stmt::Let:
    case Stmt::Assign:
    case Stmt::CompoundAssign: {
      const auto& a = static_cast<const AssignStmt&>(s);
      ASSERT_TRUE(a.value);
      if (s.kind == Stmt::CompoundAssign) {
        EXPECT_TRUE(a.op == TokenKind::PlusAssign || a.op == TokenKind::MinusAssign ||
                    a.op == TokenKind::StarAssign || a.op == TokenKind::SlashAssign);
      }
      check_tree(*a.value);
      break;
    }
    case Stmt::FunctionDef:
      check_block(static_cast<const FunctionDefStmt&>(s).function->body);
      break;
    case Stmt::If: {
      const auto& i = static_cast<const IfStmt&>(s);
      ASSERT_TRUE(i.condition);
      check_tree(*i.condition);
      check_block(i.then_branch);
      if (i.else_branch) check_block(*i.else_branch);
      break;
    }
    case Stmt::While: {
      const auto& w = static_cast<const WhileStmt&>(s);
      ASSERT_TRUE(w.condition);
      check_tree(*w.condition);
      check_block(w.body);
      break;
    }
    case Stmt::For: {
      const auto& f = static_cast<const ForStmt&>(s);
      ASSERT_TRUE(f.iterable);
      check_tree(*f.iterable);
      check_block(f.body);
      break;
    }
    case Stmt::Match: {
      const auto& m = static_cast<const MatchStmt&>(s);
      ASSERT_TRUE(m.subject);
      check_tree(*m.subject);
      for (const MatchArm& arm : m.arms) {
        if (arm.pattern) check_tree(*arm.pattern);
        check_block(arm.body);
      }
      break;
    }
    case Stmt::TryCatch: {
      const auto& t = static_cast<const TryCatchStmt&>(s);
      check_block(t.try_body);
      check_block(t.catch_body);
      break;
    }
    case Stmt::Return: {
      const auto& r = static_cast<const ReturnStmt&>(s);
      if (r.value) check_tree(*r.value);
      break;
    }
    case Stmt::Expression: {
      const auto& x = static_cast<const ExpressionStmt&>(s);
      ASSERT_TRUE(x.expr);
      check_tree(*x.expr);
      break;
    }
    default:
      break;
  }
}

void check_block(const Block& b) {
  for (const StmtPtr& s : b) {
    ASSERT_TRUE(s);
    check_stmt(*s);
  }
}

Token random_token(std::mt19937_64& rng) {
  auto kind = static_cast<TokenKind>(rng() % (TOKEN_KIND_COUNT - 1));  // Eof only at the end
  switch (kind) {
    case TokenKind::Identifier: {
      static const char* names[] = {"x", "y", "_", "print", "f", "len"};
      return Token(kind, names[rng() % 6]);
    }
    case TokenKind::String:
      return Token(kind, "s");
    case TokenKind::Number:
      return Token::number(static_cast<int64_t>(rng() % 100));
    case TokenKind::Float:
      return Token::real(0.5);
    default:
      return Token(kind);
  }
}

// Runs `work` on its own thread. A parse that never ends cannot be interrupted, so if the
// work is not done in time the whole test program stops with a message: a hang must fail
// the run rather than stall it.
template <class Work>
void expect_finishes(const char* what, Work work) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: %s did not finish\n", what);
    std::_Exit(1);
  }
  done.get();
}

// Thousands of random token lists, of every kind, all parse to an end with a sound tree.
TEST(Parser, RandomTokenListsAlwaysFinish) {
  expect_finishes("parsing random token lists", [] {
    std::mt19937_64 rng(20241207);
    for (int round = 0; round < 5000; ++round) {
      TokenList tokens;
      size_t length = rng() % 200;
      for (size_t i = 0; i < length; ++i) tokens.push_back(random_token(rng));
      tokens.emplace_back(TokenKind::Eof);
      Program program = Parser::parse_program(tokens);
      check_block(program);
      EXPECT_EQ(dump_program(Parser::parse_program(tokens)), dump_program(program));
    }
  });
}

// Lists made only of the stray tokens and openers, the worst cases for progress.
TEST(Parser, RandomStrayHeavyListsAlwaysFinish) {
  const TokenKind hard[] = {
      TokenKind::RightParen, TokenKind::RightBracket, TokenKind::RightBrace, TokenKind::Comma,
      TokenKind::Colon,      TokenKind::Semicolon,    TokenKind::Assign,     TokenKind::PlusAssign,
      TokenKind::FatArrow,   TokenKind::Arrow,        TokenKind::Question,   TokenKind::Else,
      TokenKind::In,         TokenKind::Catch,        TokenKind::Match,      TokenKind::LeftBrace,
      TokenKind::LeftParen,  TokenKind::LeftBracket,  TokenKind::Dot,        TokenKind::Let,
      TokenKind::Try,        TokenKind::Def};
  expect_finishes("parsing stray-heavy token lists", [&] {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 5000; ++round) {
      TokenList tokens;
      size_t length = rng() % 100;
      for (size_t i = 0; i < length; ++i) {
        if (rng() % 8 == 0)
          tokens.emplace_back(TokenKind::Identifier, "_");
        else
          tokens.emplace_back(hard[rng() % std::size(hard)]);
      }
      tokens.emplace_back(TokenKind::Eof);
      check_block(Parser::parse_program(tokens));
    }
  });
}

// A list that lacks its final Eof is still read safely: past the end is end of input.
TEST(Parser, ListWithoutEofEndsAtTheLastToken) {
  TokenList tokens = tokenize("let x = (1 + 2");
  tokens.pop_back();
  EXPECT_EQ(dump_program(Parser::parse_program(tokens)), "(let x (+ 1 2))");
  EXPECT_EQ(dump_program(Parser::parse_program(TokenList{})), "");
}

}  // namespace
}  // namespace orvane
