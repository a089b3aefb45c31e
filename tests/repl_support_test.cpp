// The interactive loop's terminal helpers: names offered by Tab, the history file's place and
// the cleaning of edited lines.
#include "repl_support.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "lexer/lexer.hpp"

namespace orvane::repl {
namespace {

using Names = std::set<std::string>;

Names defined_by(std::string_view source) {
  Names names;
  collect_defined_names(tokenize(source), names);
  return names;
}

TEST(ReplNames, DefiningFormsAndOnlyThose) {
  struct Case {
    const char* source;
    Names names;
  };
  const Case cases[] = {
      {"let a = 1", {"a"}},
      {"def f(x, y z,) { let inner = 1 }", {"f", "x", "y", "z", "inner"}},
      {"def g() { }", {"g"}},
      {"for item in [1, 2] { }", {"item"}},
      {"try { } catch err { }", {"err"}},
      {"global g", {"g"}},
      {"total += 1; n -= 2 m *= 3 d /= 4 plain = 5", {"total", "n", "m", "d", "plain"}},
      // Uses, calls, comparisons and element assignments define nothing.
      {"a == b; print(c); f(x); match v { w => 2 }", {}},
      {"xs[0] = 1", {}},
      {"let 5 = 3", {}},
      {"def (x) { }", {}},
      {"let", {}},
      {"def h(p", {"h", "p"}},
      {"s = \"let q = 1\" # let r = 2\n/* let t = 3 */", {"s"}},
  };
  for (const Case& c : cases) EXPECT_EQ(defined_by(c.source), c.names) << c.source;
}

TEST(ReplNames, CollectingAddsToWhatIsKnown) {
  Names names = {"kept"};
  collect_defined_names(tokenize("let fresh = 1"), names);
  EXPECT_EQ(names, (Names{"fresh", "kept"}));
}

TEST(ReplCompletion, KeywordsBuiltinsAndSessionNames) {
  struct Case {
    const char* prefix;
    Names session;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"pri", {}, {"print"}},
      {"wh", {}, {"while"}},
      {"is_", {}, {"is_array", "is_dict", "is_number", "is_open", "is_string"}},
      {"re", {"result"}, {"rect", "result", "return", "reverse"}},
      {"len", {"length"}, {"len", "length"}},
      {"print", {"print", "printer"}, {"print", "printer"}},  // a shadowing name appears once
      {"window_", {}, {"window_height", "window_width"}},
      {"zz", {"zebra"}, {}},
      {"Pr", {}, {}},  // case matters
  };
  for (const Case& c : cases) EXPECT_EQ(completions(c.prefix, c.session), c.words) << c.prefix;
}

TEST(ReplCompletion, EmptyPrefixOffersEverythingOnce) {
  std::vector<std::string> all = completions("", {"mine", "len"});
  EXPECT_EQ(all.size(), 19u + 39u + 1u);
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
  EXPECT_NE(std::find(all.begin(), all.end(), "mine"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "global"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "random_range"), all.end());
}

TEST(ReplHistory, FileLocation) {
  struct Case {
    const char* state_home;
    const char* home;
    const char* path;
  };
  const Case cases[] = {
      {"/s", "/h", "/s/orvane/history"},
      {"/s/", "/h", "/s//orvane/history"},
      {nullptr, "/h", "/h/.local/state/orvane/history"},
      {"", "/h", "/h/.local/state/orvane/history"},
      {"relative", "/h", "/h/.local/state/orvane/history"},  // only absolute paths count
      {"/s", nullptr, "/s/orvane/history"},
      {nullptr, nullptr, ""},
      {"relative", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(history_path(c.state_home, c.home), c.path)
        << (c.state_home ? c.state_home : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

TEST(ReplLines, EscapeSequencesAndControlsAreRemoved) {
  struct Case {
    std::string line;
    std::string clean;
  };
  const Case cases[] = {
      {"print(1)", "print(1)"},
      {"\x1b[A", ""},
      {"a\x1b[15~b", "ab"},
      {"a\x1b[1;2Ab", "ab"},
      {"\x1bOPx", "x"},
      {"\x1b"
       "bx",
       "x"},
      {"a\x1b", "a"},
      {"a\x1b[", "a"},
      {"a\x1b[12", "a"},
      {"a\x1b\nb", "a\nb"},  // a line feed is never part of a sequence
      {"a\x1b[1\nb", "a\nb"},
      {"tab\there", "tab\there"},
      {"\x01x\x7f\x08y\r", "xy"},
      {"[\"\xc3\xa9\xe2\x82\xac\"]", "[\"\xc3\xa9\xe2\x82\xac\"]"},
      {"x = [1]\x1b[1;5D", "x = [1]"},
  };
  for (const Case& c : cases) EXPECT_EQ(strip_escape_sequences(c.line), c.clean) << c.line;
}

TEST(ReplLines, SplitAtLineFeeds) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(split_lines("one"), (Lines{"one"}));
  EXPECT_EQ(split_lines("def f() {\nprint(1)\n}"), (Lines{"def f() {", "print(1)", "}"}));
  EXPECT_EQ(split_lines("a\n"), (Lines{"a", ""}));
  EXPECT_EQ(split_lines("\n\n"), (Lines{"", "", ""}));
  EXPECT_EQ(split_lines(""), (Lines{""}));
}

}  // namespace
}  // namespace orvane::repl
