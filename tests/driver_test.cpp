// The driver through the real binary: options, file checks, exit statuses, debug lines, and
// inputs that must end in a message rather than a crash or a hang.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string USAGE_TEXT =
    "Orvane - A performant programming language\n"
    "\n"
    "USAGE:\n"
    "    orvane [OPTIONS] [FILE]\n"
    "\n"
    "OPTIONS:\n"
    "    -h, --help       Print this help message\n"
    "    -v, --version    Print the version\n"
    "    -d, --debug      Enable debug output during execution\n"
    "\n"
    "ARGS:\n"
    "    FILE             Path to a .ov file to execute\n"
    "\n"
    "EXAMPLES:\n"
    "    orvane script.ov              Run a Orvane script\n"
    "    orvane script.ov --debug      Run with debug output\n"
    "    orvane                        Start the interactive REPL\n";
const std::string VERSION_TEXT = "Orvane version 1.0.3\n";
const std::string GREETING = "Welcome to Orvane Interactive REPL!\nType 'exit' to quit.\n\n";
const std::string EXTENSION_ERROR = "Error: Only .ov files are allowed.\n";
const std::string READ_ERROR = "Error: Failed to read the file: ";
const std::string BANNER = "\x1b[33m[\x1b[93mORVANE\x1b[33m]\x1b[0m ";

// A scratch folder holding `files` (name, content); removed when the test ends.
class Scratch {
 public:
  Scratch(std::initializer_list<std::pair<std::string, std::string>> files = {})
      : m_dir(temp_dir()) {
    for (const auto& [name, content] : files) add(name, content);
  }
  ~Scratch() { fs::remove_all(m_dir); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  void add(const std::string& name, const std::string& content) {
    write_file(m_dir + "/" + name, content);
  }
  const std::string& dir() const { return m_dir; }
  RunResult run(const std::vector<std::string>& args, const std::string& input = "") const {
    return run_orvane(args, input, m_dir);
  }

 private:
  std::string m_dir;
};

TEST(Driver, UsageIsSeventeenLines) {
  RunResult r = run_orvane({"-h"});
  EXPECT_EQ(r.out, USAGE_TEXT);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 17);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

// Help and version win wherever they stand; the first of the two decides; no file is read.
TEST(Driver, HelpAndVersionWin) {
  Scratch s({{"run.ov", "print(\"ran\")\n"}});
  struct Case {
    std::vector<std::string> args;
    const std::string& out;
  };
  const Case cases[] = {
      {{"--help"}, USAGE_TEXT},
      {{"-v"}, VERSION_TEXT},
      {{"--version"}, VERSION_TEXT},
      {{"-v", "-h"}, VERSION_TEXT},
      {{"-h", "-v"}, USAGE_TEXT},
      {{"run.ov", "-h"}, USAGE_TEXT},
      {{"run.ov", "-d", "--version"}, VERSION_TEXT},
      {{"missing.ov", "-h"}, USAGE_TEXT},
      {{"bad.txt", "--help"}, USAGE_TEXT},
      {{"--unknown", "-v", "bad.txt"}, VERSION_TEXT},
  };
  for (const Case& c : cases) {
    RunResult r = s.run(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(r.out, c.out) << joined;
    EXPECT_EQ(r.err, "") << joined;
    EXPECT_EQ(r.status, 0) << joined;
  }
}

TEST(Driver, NoFileStartsTheInteractiveLoop) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-d"}, {"--debug", "--nope"}, {""}}) {
    RunResult r = run_orvane(args, "");
    EXPECT_EQ(r.out, GREETING + ">>> ") << args.size();
    EXPECT_EQ(r.err, "");  // no debug lines
    EXPECT_EQ(r.status, 0);
  }
  RunResult r = run_orvane({"-d"}, "print(1 + 1)\nexit\n");
  EXPECT_EQ(r.out, GREETING + ">>> 2\n>>> Goodbye!\n");
  EXPECT_EQ(r.status, 0);
}

TEST(Driver, IgnoredOptionsAndTheFirstFileWins) {
  Scratch s({{"a.ov", "print(\"a\")\n"}, {"b.ov", "print(\"b\")\n"}});
  struct Case {
    std::vector<std::string> args;
    const char* out;
  };
  const Case cases[] = {
      {{"a.ov"}, "a\n"},
      {{"--frobnicate", "a.ov", "-x"}, "a\n"},
      {{"-", "--", "a.ov"}, "a\n"},
      {{"a.ov", "b.ov"}, "a\n"},
      {{"b.ov", "a.ov"}, "b\n"},
      {{"a.ov", "wrong.txt"}, "a\n"},  // the second file is never looked at
      {{"a.ov", "missing.ov"}, "a\n"},
      {{"", "a.ov"}, "a\n"},
  };
  for (const Case& c : cases) {
    RunResult r = s.run(c.args);
    EXPECT_EQ(r.out, c.out) << c.args[0];
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

// Every name here exists as a file that prints; the extension alone rejects it, untouched.
TEST(Driver, ExtensionErrors) {
  const char* names[] = {"upper.OV", "mixed.Ov", "dot.", "nodot", ".ov", "x.ov.txt", "x.ovv"};
  Scratch s;
  for (const char* name : names) s.add(name, "print(\"ran\")\n");
  for (const char* name : names) {
    RunResult r = s.run({name});
    EXPECT_EQ(r.out, "") << name;
    EXPECT_EQ(r.err, EXTENSION_ERROR) << name;
    EXPECT_EQ(r.status, 1) << name;
  }
  // The extension is checked before the file is looked for.
  RunResult r = s.run({"missing.txt"});
  EXPECT_EQ(r.err, EXTENSION_ERROR);
  EXPECT_EQ(r.status, 1);
}

TEST(Driver, AcceptedNames) {
  Scratch s({{"x.txt.ov", "print(1)\n"}, {"..ov", "print(2)\n"}, {".hidden.ov", "print(3)\n"}});
  fs::create_directory(s.dir() + "/sub");
  s.add("sub/y.ov", "print(4)\n");
  struct Case {
    const char* name;
    const char* out;
  };
  for (const Case& c : {Case{"x.txt.ov", "1\n"}, Case{"..ov", "2\n"}, Case{".hidden.ov", "3\n"},
                        Case{"sub/y.ov", "4\n"}, Case{"./sub/../sub/y.ov", "4\n"}}) {
    RunResult r = s.run({c.name});
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(r.status, 0) << c.name;
  }
  RunResult r = s.run({s.dir() + "/x.txt.ov"});  // an absolute path
  EXPECT_EQ(r.out, "1\n");
  // A path that is not UTF-8 is used byte for byte.
  s.add("caf\xE9.ov", "print(5)\n");
  r = s.run({"caf\xE9.ov"});
  EXPECT_EQ(r.out, "5\n");
  EXPECT_EQ(r.status, 0);
}

TEST(Driver, ReadErrors) {
  Scratch s({{"file.ov", "print(1)\n"}});
  fs::create_directory(s.dir() + "/dir.ov");
  struct Case {
    const char* name;
    const char* description;
  };
  const Case cases[] = {
      {"missing.ov", "No such file or directory (os error 2)"},
      {"nodir/missing.ov", "No such file or directory (os error 2)"},
      {"dir.ov", "Is a directory (os error 21)"},
      {"dir.ov/", "Is a directory (os error 21)"},
      // A trailing separator passes the extension rule; the file is then no folder.
      {"file.ov/", "Not a directory (os error 20)"},
  };
  for (const Case& c : cases) {
    RunResult r = s.run({c.name});
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.err, READ_ERROR + c.description + "\n") << c.name;
    EXPECT_EQ(r.status, 1) << c.name;
  }
}

TEST(Driver, UnreadableFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  Scratch s({{"locked.ov", "print(1)\n"}});
  fs::permissions(s.dir() + "/locked.ov", fs::perms::none);
  RunResult r = s.run({"locked.ov"});
  EXPECT_EQ(r.err, READ_ERROR + "Permission denied (os error 13)\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Driver, TextMustBeUtf8) {
  const char* bad[] = {
      "print(1)\n\xff\n",     // never valid
      "\x80",                 // a lone continuation byte
      "\"\xC0\x80\"",         // an overlong encoding of NUL
      "\xED\xA0\x80",         // a surrogate
      "\xF4\x90\x80\x80",     // beyond U+10FFFF
      "print(\"\xE2\x82\")",  // a truncated sequence
      "x = 1 \xE2\x82",       // truncated at the very end
  };
  for (const char* text : bad) {
    Scratch s({{"bad.ov", text}});
    RunResult r = s.run({"bad.ov"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, READ_ERROR + "stream did not contain valid UTF-8\n") << text;
    EXPECT_EQ(r.status, 1);
  }
  // Valid multi-byte text, a byte-order mark and a four-byte character included, is fine.
  Scratch s({{"good.ov", "\xEF\xBB\xBFprint(\"\xF0\x9F\x98\x80 caf\xC3\xA9\")\n"}});
  RunResult r = s.run({"good.ov"});
  EXPECT_EQ(r.out, "\xF0\x9F\x98\x80 caf\xC3\xA9\n");
  EXPECT_EQ(r.status, 0);
}

TEST(Driver, ExitStatusIsZeroWhateverTheScriptDid) {
  Scratch s({{"empty.ov", ""},
             {"odd.ov", "undefined_function(1) x = [1][5] print(\"still\")\n"},
             {"garbage.ov", ") ] } else => ? @ $ ~ \"open"}});
  EXPECT_EQ(s.run({"empty.ov"}).status, 0);
  EXPECT_EQ(s.run({"empty.ov"}).out, "");
  RunResult r = s.run({"odd.ov"});
  EXPECT_EQ(r.out, "still\n");
  EXPECT_EQ(r.status, 0);
  r = s.run({"garbage.ov"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

// A debug time: digits, a point, exactly three digits, "ms".
bool is_time(std::string_view text) {
  if (text.size() < 7 || text.substr(text.size() - 2) != "ms") return false;
  text.remove_suffix(2);
  size_t point = text.find('.');
  if (point == std::string_view::npos || point == 0 || text.size() - point - 1 != 3) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != point && !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

// Output that cannot be written is an error, never a silent success.
TEST(Driver, UnwritableOutputFailsTheRun) {
  Scratch s({{"hello.ov", "print(\"hello\")\n"}});
  for (const char* args : {"hello.ov", "-h", "-v"}) {
    std::string cmd =
        "cd '" + s.dir() + "' && '" + ORVANE_BINARY + "' " + args + " > /dev/full 2> err.txt";
    int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << args;
    EXPECT_EQ(WEXITSTATUS(raw), 1) << args;
    EXPECT_EQ(read_file(s.dir() + "/err.txt"), "Error: failed to write output\n") << args;
  }
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Driver, DebugLinesOfASuccessfulRun) {
  std::string script = "print(\"out\")\n";
  Scratch s({{"run.ov", script}});
  RunResult r = s.run({"run.ov", "--debug"});
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.status, 0);
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back(), '\n');
  std::vector<std::string> lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 12u) << r.err;
  const std::string rule = "─────────────────────────────────";
  ASSERT_EQ(rule.size(), 99u);
  // Each expected line is a fixed text, optionally followed by a time.
  const std::pair<std::string, bool> expected[] = {
      {rule, false},
      {"Starting Orvane interpreter...", false},
      {"File read successfully (" + std::to_string(script.size()) + " bytes)", false},
      {"Tokenization completed in ", true},
      {"Parsing completed in ", true},
      {"Starting execution...", false},
      {rule, false},
      {rule, false},
      {"Tokenization: ", true},
      {"Parsing:      ", true},
      {"Execution:    ", true},
      {rule, false},
  };
  std::vector<std::string> times;
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].rfind(BANNER, 0), 0u) << "line " << i;
    std::string message = lines[i].substr(BANNER.size());
    const auto& [text, timed] = expected[i];
    if (!timed) {
      EXPECT_EQ(message, text) << "line " << i;
      continue;
    }
    ASSERT_EQ(message.rfind(text, 0), 0u) << "line " << i << ": " << message;
    std::string time = message.substr(text.size());
    EXPECT_TRUE(is_time(time)) << "line " << i << ": " << message;
    times.push_back(time);
  }
  ASSERT_EQ(times.size(), 5u);
  EXPECT_EQ(times[0], times[2]);  // the summary repeats the phase times
  EXPECT_EQ(times[1], times[3]);
}

TEST(Driver, DebugLinesOfAnEmptyFileAndOfFailures) {
  Scratch s({{"empty.ov", ""}});
  RunResult r = s.run({"-d", "empty.ov"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[2], BANNER + "File read successfully (0 bytes)");

  // The first two lines stay printed before a failure.
  const std::string head =
      BANNER + "─────────────────────────────────\n" + BANNER + "Starting Orvane interpreter...\n";
  r = s.run({"-d", "empty.txt"});
  EXPECT_EQ(r.err, head + EXTENSION_ERROR);
  EXPECT_EQ(r.status, 1);
  r = s.run({"-d", "missing.ov"});
  EXPECT_EQ(r.err, head + READ_ERROR + "No such file or directory (os error 2)\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Driver, LimitsEndTheRunWithAMessage) {
  struct Case {
    std::string script;
    std::string err;
  };
  const Case cases[] = {
      {"print(\"before\")\nlet x = 9223372036854775808\n",
       "Error: integer literal too large: 9223372036854775808\n"},
      {"print(1)\n" + std::string(100000, '('), "Error: nesting too deep\n"},
      {std::string(100000, '[') + std::string(100000, ']'), "Error: nesting too deep\n"},
      {std::string(100000, '-') + "1", "Error: nesting too deep\n"},
  };
  for (const Case& c : cases) {
    Scratch s({{"limit.ov", c.script}});
    RunResult r = s.run({"limit.ov"});
    EXPECT_EQ(r.out, "");  // nothing runs
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
  }
  Scratch s({{"max.ov", "print(9223372036854775807)\n"}});
  EXPECT_EQ(s.run({"max.ov"}).out, "9223372036854775807\n");
}

// Ordinary code of about `bytes` bytes: functions with loops, branches, matches, strings,
// floats, collections and comments. Nothing runs: no function is called and none is "main".
std::string ordinary_script(size_t bytes) {
  std::string out;
  out.reserve(bytes + 1024);
  for (int i = 0; out.size() < bytes; ++i) {
    std::string n = std::to_string(i);
    out += "# helper " + n +
           ": folds its arguments into a running total\n"
           "def helper_" +
           n +
           "(count, base, divisor) {\n"
           "  let total = 0\n"
           "  let label = \"value \\\"" +
           n +
           "\\\" of the helper\\n\"\n"
           "  for index in 0..count {\n"
           "    if index % 3 == 0 and not (base > 10) {\n"
           "      total += index * 2 + base ** 2 - divisor / 4\n"
           "    } else {\n"
           "      total = total - 1.5\n"
           "    }\n"
           "  }\n"
           "  /* the table mixes kinds on purpose */\n"
           "  let table = {key: [1, 2.5, \"three\"], other: total, name: label}\n"
           "  while total > 100 { total = total / 2 }\n"
           "  match total { 0 => print(\"zero\"); _ => { print(label, table.key[1]) } }\n"
           "  return helper_" +
           std::to_string(i + 1) +
           "(total, table.other, len(label))\n"
           "}\n\n";
  }
  return out;
}

// A large script of ordinary code scans, parses and runs to its end without a word. Its speed
// is measured by `make bench`, never asserted here.
TEST(Driver, RunsATenMegabyteScriptOfOrdinaryCode) {
#if defined(ORVANE_SANITIZED) || !defined(NDEBUG)
  const size_t bytes = size_t{2} << 20;  // the sanitizer's checks make the full size slow
#else
  const size_t bytes = size_t{10} << 20;
#endif
  Scratch s;
  s.add("big.ov", ordinary_script(bytes));
  RunResult r = s.run({"big.ov"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

// Random valid UTF-8 text, heavy in punctuation, never crashes the binary or hangs it.
TEST(Driver, RandomTextNeverCrashes) {
  const std::vector<std::string> pieces = {
      "(",   ")",  "[",    "]",     "{",   "}",     ",",   ":",      ";",
      ".",   "..", "?",    "=",     "==",  "=>",    "->",  "+",      "-",
      "*",   "**", "/",    "%",     "!",   "<",     ">",   "&",      "|",
      "#",   "/*", "*/",   "\"",    "\\",  "'",     " ",   "\n",     "\t",
      "0",   "7",  "1.5",  "_",     "x",   "é",     "中",  "😀",      "\xEF\xBB\xBF",
      "let", "if", "else", "match", "try", "catch", "def", "return", "global",
      "in",  "not"};
  std::mt19937 rng(12345);
  Scratch s;
  for (int round = 0; round < 25; ++round) {
    std::string text;
    int length = 1 + static_cast<int>(rng() % 400);
    for (int i = 0; i < length; ++i) text += pieces[rng() % pieces.size()];
    s.add("r.ov", text);
    RunResult r = s.run({"r.ov"});
    EXPECT_EQ(r.status, 0) << text << "\n" << r.err;
    EXPECT_EQ(r.err, "") << text;
  }
}

}  // namespace
}  // namespace orvane::testing
