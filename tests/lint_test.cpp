// The linter: token positions, the parser's reports to an observer, the findings made of them,
// and the orvane-lint program itself (golden files in tests/lint, the command line, and every
// golden script and example linted without a false alarm).
//
// tests/lint/NAME.ov is linted as `orvane-lint NAME.ov` from that folder; standard output
// must equal NAME.expected, and the exit status is 1 when it lists findings, 0 otherwise.
#include "lint/lint.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "lexer/lexer.hpp"
#include "lint/checks.hpp"
#include "parser/dump.hpp"
#include "parser/parser.hpp"
#include "test_support.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::RunResult;

std::string lint_dir() { return std::string(ORVANE_SOURCE_DIR) + "/tests/lint"; }

RunResult run_lint(const std::vector<std::string>& args, const std::string& dir = lint_dir()) {
  return testing::run_binary(ORVANE_LINT_BINARY, args, "", dir);
}

// ---- positions ----

std::string token_positions(std::string_view source) {
  std::vector<SourcePosition> positions;
  tokenize(source, positions);
  std::string out;
  for (const SourcePosition& p : positions) {
    if (!out.empty()) out += ' ';
    out += std::to_string(p.line);
    out += ':';
    out += std::to_string(p.column);
  }
  return out;
}

TEST(LintPositions, LinesAndColumnsOfEachToken) {
  struct Case {
    const char* source;
    const char* positions;  // one per token, the Eof token last
  };
  const Case cases[] = {
      {"", "1:1"},
      {"let x = 1", "1:1 1:5 1:7 1:9 1:10"},
      {"a\n  b", "1:1 2:3 2:4"},
      {"a\r\nb", "1:1 2:1 2:2"},
      {"a\tb", "1:1 1:3 1:4"},     // a tab is one column
      {"\"é\" x", "1:1 1:5 1:6"},  // columns count characters, not bytes
      {"\"日本\"+z", "1:1 1:5 1:6 1:7"},
      {"üx", "1:2 1:3"},  // a dropped character still takes its column
      {"# note\nx", "2:1 2:2"},
      {"/* a\nb */ z", "2:6 2:7"},
      {"\"two\nlines\" y", "1:1 2:8 2:9"},  // a string may span lines
      {"3..4 1.5", "1:1 1:2 1:3 1:4 1:6 1:9"},
      {"x+=1==2", "1:1 1:2 1:4 1:5 1:7 1:8"},  // two-character operators begin at their first
      {"f(\n)\n", "1:1 1:2 2:1 3:1"},
  };
  for (const Case& c : cases) EXPECT_EQ(token_positions(c.source), c.positions) << c.source;
}

TEST(LintPositions, TokensAreTheSameWithOrWithoutPositions) {
  const char* sources[] = {"let x = [1, 2.5, \"s\"] # c\nx.y", "a..b /* */ !c", "\"open", "ü ß 9x"};
  for (const char* source : sources) {
    std::vector<SourcePosition> positions;
    TokenList with = tokenize(source, positions);
    EXPECT_EQ(with, tokenize(source)) << source;
    EXPECT_EQ(positions.size(), with.size()) << source;
  }
}

TEST(LintPositions, LiteralTooLargeKnowsWhereItIs) {
  std::string source = "let a = 1\nlet é = 99999999999999999999";
  try {
    tokenize(source);
    FAIL() << "no exception";
  } catch (const LiteralTooLarge& e) {
    SourcePosition p = positions_of(source, {e.offset})[0];
    EXPECT_EQ(p.line, 2u);
    EXPECT_EQ(p.column, 9u);  // the dropped "é" still takes its column
  }
}

// ---- the parser's reports ----

const char* forgiven_name(Forgiven what) {
  switch (what) {
    case Forgiven::MissingExpression:
      return "missing";
    case Forgiven::TokenSkipped:
      return "skip";
    case Forgiven::ElementSkipped:
      return "element-skip";
    case Forgiven::ArmTokenSkipped:
      return "arm-skip";
    case Forgiven::KeySkipped:
      return "key-skip";
    case Forgiven::StatementLeftOut:
      return "left-out";
    case Forgiven::EmptyStatement:
      return "empty";
    case Forgiven::ElseDropped:
      return "else";
    case Forgiven::UnbracedArm:
      return "unbraced";
    case Forgiven::ArmLeftOut:
      return "arm-left-out";
    case Forgiven::KeyDropped:
      return "key-dropped";
    case Forgiven::DotDropped:
      return "dot";
    case Forgiven::ArgumentsDropped:
      return "args";
    case Forgiven::CloserMissing:
      return "unclosed";
    case Forgiven::BlockNotClosed:
      return "block-unclosed";
  }
  return "?";
}

// Every report as KIND@AT (or KIND@AT-END for ranges), after the recorder's withdrawals.
std::string reports(std::string_view source) {
  TokenList tokens = tokenize(source);
  lint::Recorder recorder;
  Parser::parse_program(tokens, &recorder);
  std::string out;
  for (const lint::Event& e : recorder.events()) {
    if (!out.empty()) out += ' ';
    out += forgiven_name(e.what);
    out += '@';
    out += std::to_string(e.at);
    if (e.end != e.at + 1) {
      out += '-';
      out += std::to_string(e.end);
    }
  }
  return out;
}

TEST(LintReports, EachForgivingSiteReportsWhatItDid) {
  struct Case {
    const char* source;
    const char* reports;
  };
  const Case cases[] = {
      {"print(1)", ""},
      {"let x =", "missing@3"},
      {"1 +", "missing@2"},
      {"[,]", "missing@1"},  // the empty slot keeps its 0
      {")", "skip@0"},       // the 0 tried at ")" is withdrawn
      {"a[0] = 5", "skip@4"},
      {"x;;", "empty@2"},
      {"let 5", "left-out@0"},
      {"for x y { }", "left-out@0-2"},
      {"if a print(a)", "left-out@0-2"},
      {"if a { } else if b { }", "else@4"},
      {"if a { } else { }", ""},
      {"match v { 1 => x }", "unbraced@5"},
      {"match v { 1 => { x } }", ""},
      {"match v { 1 => x = 2 }", "unbraced@5 arm-skip@6 arm-left-out@7"},
      {"match v { 1 => break }", "unbraced@5-5 arm-skip@5"},
      {"match v { 1 -> x }", "arm-left-out@3 arm-skip@4 arm-left-out@5"},
      {"match v { 1 => x, 2 => y }", "unbraced@5 arm-skip@6 unbraced@9"},
      {"f(1; 2)", "element-skip@3"},
      {"{\"k\": 1}", "key-skip@1 key-skip@2 key-skip@3"},
      {"{k 1}", "key-dropped@1 key-skip@2"},
      {"a.b(1)", "args@3-6"},
      {"f(1)(2)", "args@4-7"},
      {"print(a.)", "dot@3"},
      {"(1", "unclosed@0-2"},
      {"f(1", "unclosed@1-3"},
      {"[1", "unclosed@0-2"},
      {"a[1", "unclosed@1-3"},
      {"{k: 1", "unclosed@0-4"},
      {"if a {", "block-unclosed@2"},
      {"match a { _ => 1", "unbraced@5 block-unclosed@2-6"},
      {"try { } catch { }", "left-out@0-4"},
  };
  for (const Case& c : cases) EXPECT_EQ(reports(c.source), c.reports) << c.source;
}

// The observer changes nothing: the tree is the same with and without one, for the golden
// scripts, the lint scripts and random token lists.
TEST(LintReports, TheTreeIsTheSameWithAnObserver) {
  auto same = [](const TokenList& tokens, const std::string& what) {
    lint::Recorder recorder;
    EXPECT_EQ(dump_program(Parser::parse_program(tokens, &recorder)),
              dump_program(Parser::parse_program(tokens)))
        << what;
  };
  for (const std::string& dir : {testing::scripts_dir(), lint_dir()})
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".ov" && entry.path().stem() != "parse_literal_too_large" &&
          entry.path().stem() != "literal_too_large")
        same(tokenize(read_file(entry.path().string())), entry.path().string());
  std::mt19937_64 rng(14);
  for (int round = 0; round < 2000; ++round) {
    TokenList tokens;
    for (size_t i = rng() % 60; i > 0; --i) {
      auto kind = static_cast<TokenKind>(rng() % (TOKEN_KIND_COUNT - 1));
      if (kind == TokenKind::Identifier || kind == TokenKind::String)
        tokens.emplace_back(kind, "_");
      else if (kind == TokenKind::Number)
        tokens.push_back(Token::number(2));
      else if (kind == TokenKind::Float)
        tokens.push_back(Token::real(0.5));
      else
        tokens.emplace_back(kind);
    }
    tokens.emplace_back(TokenKind::Eof);
    same(tokens, "random round " + std::to_string(round));
  }
}

// ---- findings ----

// Findings as "LINE:COLUMN TEXT", one per line.
std::string findings(std::string_view source) {
  std::string out;
  for (const lint::Finding& f : lint::lint_source(source))
    out += std::to_string(f.position.line) + ":" + std::to_string(f.position.column) + " " +
           f.text + "\n";
  return out;
}

// Whether the findings of `source` begin, line by line, with `prefixes`.
void expect_findings(std::string_view source, const std::vector<std::string>& prefixes) {
  std::istringstream lines(findings(source));
  std::vector<std::string> got;
  for (std::string line; std::getline(lines, line);) got.push_back(line);
  ASSERT_EQ(got.size(), prefixes.size()) << source << "\n" << findings(source);
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i].substr(0, prefixes[i].size()), prefixes[i]) << source;
}

TEST(LintFindings, MainDecidesWhetherTopLevelLetsRunTwice) {
  const char* effect = "def f() { print(1) return 1 }\nlet a = f()\n";
  expect_findings(std::string(effect), {"2:1 `let a` runs twice"});
  expect_findings(std::string(effect) + "def main() { }", {});
  // A let copying a function into "main" makes it the entry point, in hoisting order only.
  expect_findings(std::string(effect) + "def g() { }\nlet main = g", {});
  expect_findings(std::string(effect) + "let main = g\ndef g() { }", {"2:1 `let a` runs twice"});
  expect_findings(std::string(effect) + "def main() { }\nlet main = 5", {"2:1 `let a`"});
  // A main defined inside a block is not hoisted.
  expect_findings(std::string(effect) + "if true { def main() { } }", {"2:1 `let a`"});
  // A function has an effect when it calls a builtin with one, or a function with one.
  expect_findings(
      "def g() { return f() }\ndef h() { return g() }\nlet b = h()\n" + std::string(effect),
      {"3:1 `let b` runs twice", "5:1 `let a` runs twice"});
  expect_findings("def r(n) { if n > 0 { return r(n - 1) } return len(\"x\") }\nlet c = r(3)", {});
  expect_findings("def sort(xs) { return reverse(xs) }\nlet s = sort([2, 1])\nlet n = nobody()",
                  {});
  // Lets inside blocks, and lets without calls of effect, run once or do no harm twice.
  expect_findings("if true { let a = print(1) }\nlet b = len(\"abc\") + abs(-2)", {});
  expect_findings("let w = window(10, 10)\nlet r = random()", {"1:1 `let w` runs twice"});
}

TEST(LintFindings, CallsAreFoundWhereTheyWereWritten) {
  // The tree has no positions; each call is matched with its name token, also past calls
  // that were dropped with their statement or discarded as arguments of a non-name.
  expect_findings("let 5 len()\nlen()",
                  {"1:1 `let` statement left out", "1:7 `len` needs", "2:1 `len` needs"});
  expect_findings("a.b(len())\nlen()", {"1:4 only plain names", "2:1 `len` needs"});
  expect_findings("if x > len() print(1)\nprint(len())", {"1:1 `if` needs `{`", "2:7 `len` needs"});
  expect_findings("print(len(), pop())", {"1:7 `len` needs", "1:14 `pop` needs"});
  expect_findings("def len(x) { }\nprint(len(1))", {"1:5 function `len` is never called"});
  expect_findings("def f(x) { }\nf()\nprint(concat(), print())", {});
}

TEST(LintFindings, OneMistakeGivesOneFinding) {
  // The block after a broken header is read as a dict: its keys are not reported again.
  expect_findings("for i items { print(i) }", {"1:1 `for` statement left out"});
  expect_findings("for i items {\n  print(i)\n}\nprint(2)", {"1:1 `for` statement left out"});
  // An unclosed bracket that swallows later lines is one finding, at the bracket.
  expect_findings("print((1)\nlet x = 1\nprint(x)",
                  {"1:6 `(` is not closed before the end of the file"});
  expect_findings("def g() {\n  print(f(1)\n  let x = 1\n}",
                  {"2:8 `(` is not closed: expected `)`, found `}` on line 4"});
  // An unbraced arm's assignment: the arm loop's skips after it belong to the same mistake.
  expect_findings("match v { 1 => x = 2 2 => y = 3 _ => { } }",
                  {"1:16 a match arm without braces", "1:27 a match arm without braces"});
  // Adjacent skipped tokens make one finding.
  expect_findings(") ] , :", {"1:1 `)`, `]`, `,`, `:` skipped"});
  expect_findings(") ] , : ? -> => )", {"1:1 `)`, `]`, `,`, `:` and 4 more skipped"});
  // Two separate mistakes on separate lines stay two findings.
  expect_findings("a[0] = 1\nb.c = 2",
                  {"1:6 assignment to an element", "2:5 assignment to a member"});
}

TEST(LintFindings, QuietOnWhatIsMeant) {
  const char* sources[] = {
      "let x = 1; let y = 2;",
      "if a { } else { }",
      "def f() {\n  return\n}",
      "def f() { return; }",
      "def f() {\n  return 1 +\n    2\n}",
      "match v { 1 => print(1); _ => { } }",
      "x = 1 x += 2 x -= 1 x *= 2 x /= 2",
      "let r = 0..10 for i in r { continue }",
      "print(d.x, d[\"x\"], [1, 2][0], -a ** 2, not b)",
      "try { } catch e { print(e) }",
      "global g\ng = 2",
      "let s = \"unterminated is fine",
      "if a { };",  // a stray ";" after a block does nothing
  };
  for (const char* source : sources) EXPECT_EQ(findings(source), "") << source;
}

TEST(LintFindings, DroppedCharacters) {
  struct Case {
    const char* source;
    const char* findings;
  };
  const Case cases[] = {
      {"x = a & b", "1:7 `&` is dropped: there is no such operator; write `and`\n"},
      // The broken if is explained by what was dropped inside it, and not reported again.
      {"if a || b { }", "1:6 `||` is dropped: there is no such operator; write `or`\n"},
      {"s = 'a' + 'b'", "1:5 `'` is dropped: strings are written in double quotes\n"},
      {"let \xC3\xA9t\xC3\xA9 = 1",
       "1:5 `é` is dropped: a name begins with an ASCII letter or `_`\n"},
      {"x = 1 $ @ ~",
       "1:7 `$` is dropped: no token begins with it\n"
       "1:9 `@` is dropped: no token begins with it\n"
       "1:11 `~` is dropped: no token begins with it\n"},
      // A zero-width space splits a name in two; blank-like characters are blanks.
      {"ab\xE2\x80\x8B"
       "cd = 1",
       "1:3 `U+200B` is dropped and splits what stands around it in two\n"},
      {"\xEF\xBB\xBFlet\xC2\xA0x = 1\x0C", ""},
      {"x = \"'&|\" # '&|\n/* $ */", ""},  // in strings and comments nothing is dropped
  };
  for (const Case& c : cases) EXPECT_EQ(findings(c.source), c.findings) << c.source;
}

TEST(LintFindings, DoubleSlashIsOneFindingForItsLine) {
  const char* slashes = "`//` begins no comment";
  expect_findings("// note: len() (\nprint(1)", {std::string("1:1 ") + slashes});
  expect_findings("x = 7 // 2 // 3\n// a\n",
                  {std::string("1:7 ") + slashes, std::string("2:1 ") + slashes});
  // Findings before the "//" on its line stay; "/ /" and "/*" are something else.
  expect_findings("a[0] = 1 // set",
                  {"1:6 assignment to an element", std::string("1:10 ") + slashes});
  expect_findings("x = 4 / / 2\ny = 1 /* c */", {"1:9 missing expression before `/`"});
}

TEST(LintFindings, InputThatStopsARunIsAnError) {
  auto f = lint::lint_source("print(1)\n  99999999999999999999");
  ASSERT_EQ(f.size(), 1u);
  EXPECT_TRUE(f[0].error);
  EXPECT_EQ(f[0].position.line, 2u);
  EXPECT_EQ(f[0].position.column, 3u);
  auto deep = lint::lint_source(std::string(5000, '(') + "1");
  ASSERT_EQ(deep.size(), 1u);
  EXPECT_TRUE(deep[0].error);
  EXPECT_EQ(lint::format("a.ov", f[0]).substr(0, 14), "a.ov:2:3: erro");
}

TEST(LintFindings, LongChainsAndDeepNesting) {
  // An operator chain nests as deep as it is long; the checks walk it without recursing.
  std::string chain = "print(len()";
  for (int i = 0; i < 100000; ++i) chain += " + len()";
  chain += ")";
  // On the default stack: the tree is freed without recursing down the chain either.
  std::vector<lint::Finding> found = lint::lint_source(chain);
  ASSERT_EQ(found.size(), 100001u);
  EXPECT_EQ(found.back().position.column, 7u + 8u * 100000u);  // the last `len` of the chain
  std::string nested;
  for (int i = 0; i < 1000; ++i) nested += "if a { ";
  nested += "a[0] = 1";
  // Blocks still open at the end make one finding, at the innermost.
  EXPECT_EQ(findings(nested),
            "1:6999 `{` is not closed before the end of the file; nor are the 999 around it\n"
            "1:7006 assignment to an element is ignored: only plain names can be assigned, and "
            "values never change in place\n");
}

// Random sources made of the forgiving parser's favourite tokens never break the linter, and
// every finding points inside the text.
TEST(LintFindings, RandomSourcesGiveFindingsInsideTheText) {
  const char* pieces[] = {"let ",   "x",      " = ",  "(",      ")",    "[",   "]",     "{",
                          "}",      ",",      ":",    ";",      "\n",   "if ", "else ", "match ",
                          "=>",     "return", "f(",   "print(", ".",    "1",   "_",     "try ",
                          "catch ", "def ",   "for ", "in ",    "\"s\""};
  std::mt19937_64 rng(8);
  for (int round = 0; round < 2000; ++round) {
    std::string source;
    for (size_t i = rng() % 40; i > 0; --i) source += pieces[rng() % std::size(pieces)];
    size_t lines = 1 + static_cast<size_t>(std::count(source.begin(), source.end(), '\n'));
    for (const lint::Finding& f : lint::lint_source(source)) {
      EXPECT_GE(f.position.line, 1u) << source;
      EXPECT_LE(f.position.line, lines) << source;
      EXPECT_FALSE(f.text.empty()) << source;
    }
  }
}

// ---- the program ----

std::vector<std::string> lint_golden_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(lint_dir()))
    if (entry.path().extension() == ".ov") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class LintGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(LintGolden, ReportsTheExpectedFindings) {
  std::string expected = read_file(lint_dir() + "/" + GetParam() + ".expected");
  RunResult r = run_lint({GetParam() + ".ov"});
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, expected.empty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(LintScripts, LintGolden, ::testing::ValuesIn(lint_golden_names()));

// Golden scripts that exercise on purpose what the linter reports, with the place of each
// finding they are meant to have. Any other finding in a golden script or an example is a
// false alarm.
const std::map<std::string, std::vector<std::string>> ALLOWED = {
    // Builtins called with too few arguments, to check that they give null.
    {"tests/scripts/fast_path_kinds.ov", {"97:6"}},
    {"tests/scripts/graphics_shapes.ov", {"16:7", "17:7", "18:7", "19:7"}},
    {"tests/scripts/graphics_window.ov", {"5:1"}},
    {"tests/scripts/lang_console.ov", {"13:8", "20:21"}},
    {"tests/scripts/math_random.ov", {"16:50"}},
    // User functions named like builtins, to check that the builtin answers.
    {"tests/scripts/lang_calls.ov", {"2:5", "4:5"}},
    // A top-level let that prints, to check that it runs twice without main.
    {"tests/scripts/lang_hoist_no_main.ov", {"4:1"}},
    // "else if", to check that the second if runs on its own.
    {"tests/scripts/lang_statements.ov", {"24:28"}},
    // The forgiving parser at work: every kind of input it skips, leaves out or fills in.
    {"tests/scripts/parse_forgiving.ov",
     {"15:31", "17:35", "20:1", "23:7", "24:10", "25:8", "38:8", "44:10", "45:16", "51:1", "61:9"}},
    // An integer literal too large, to check the run stops.
    {"tests/scripts/parse_literal_too_large.ov", {"2:11"}},
};

TEST(LintProgram, NoFalseAlarmInGoldenScriptsOrExamples) {
  std::string root = ORVANE_SOURCE_DIR;
  std::vector<std::string> files;
  for (const char* dir : {"tests/scripts", "examples"})
    for (const auto& entry : fs::directory_iterator(root + "/" + dir))
      if (entry.path().extension() == ".ov")
        files.push_back(std::string(dir) + "/" + entry.path().filename().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 30u);
  for (const std::string& file : files) {
    RunResult r = run_lint({file}, root);
    std::vector<std::string> places;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      // FILE:LINE:COLUMN: ...
      size_t line_at = file.size() + 1;
      size_t end = line.find(':', line.find(':', line_at) + 1);
      places.push_back(line.substr(line_at, end - line_at));
    }
    auto allowed = ALLOWED.find(file);
    std::vector<std::string> expected =
        allowed == ALLOWED.end() ? std::vector<std::string>{} : allowed->second;
    EXPECT_EQ(places, expected) << file << ":\n" << r.out;
    EXPECT_EQ(r.status, expected.empty() ? 0 : 1) << file;
  }
}

TEST(LintProgram, CommandLine) {
  std::string scratch = testing::temp_dir();
  testing::write_file(scratch + "/bad.ov", "print(\"\xff\")");
  testing::write_file(scratch + "/ok.ov", "print(1)");
  testing::write_file(scratch + "/warn.ov", "let x = 1 +");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_begins;  // standard output begins with this
    std::string err_has;     // standard error holds this ("" for empty)
  };
  const Case cases[] = {
      {{"--help"}, 0, "orvane-lint - ", ""},
      {{"ok.ov", "-h"}, 0, "orvane-lint - ", ""},  // help wins wherever it stands
      {{"--version"}, 0, "orvane-lint version 1.0.3\n", ""},
      {{"-v"}, 0, "orvane-lint version ", ""},
      {{}, 2, "", "no file given"},
      {{"--frobnicate", "ok.ov"}, 2, "", "unknown option '--frobnicate'"},
      {{"ok.ov"}, 0, "", ""},
      {{"warn.ov"}, 1, "warn.ov:1:11: warning: missing expression", ""},
      {{"missing.ov"}, 2, "", "orvane-lint: missing.ov: No such file or directory"},
      {{"bad.ov"}, 2, "", "bad.ov: not valid UTF-8"},
      {{"."}, 2, "", "orvane-lint: .: "},
      // Every file is linted; the worst outcome decides the status.
      {{"missing.ov", "warn.ov", "ok.ov"}, 2, "warn.ov:1:11:", "missing.ov"},
      {{"ok.ov", "warn.ov"}, 1, "warn.ov:1:11:", ""},
      {{"--", "-h"}, 2, "", "orvane-lint: -h: "},  // after "--", a file named -h
  };
  for (const Case& c : cases) {
    RunResult r = run_lint(c.args, scratch);
    std::string what = c.args.empty() ? "(no arguments)" : c.args[0];
    EXPECT_EQ(r.status, c.status) << what << "\n" << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, c.out_begins.size()), c.out_begins) << what;
    if (c.err_has.empty())
      EXPECT_EQ(r.err, "") << what;
    else
      EXPECT_NE(r.err.find(c.err_has), std::string::npos) << what << ": " << r.err;
  }
  fs::remove_all(scratch);
}

}  // namespace
}  // namespace orvane
