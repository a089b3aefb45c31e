// Command-line scanning and the extension rule, without running anything.
#include "cli.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

std::string describe(const CommandLine& cl) {
  switch (cl.action) {
    case CommandLine::Help:
      return "help";
    case CommandLine::Version:
      return "version";
    case CommandLine::Repl:
      return "repl";
    case CommandLine::Run:
      return "run " + cl.file + (cl.debug ? " debug" : "");
  }
  return "?";
}

TEST(Cli, ParseArguments) {
  struct Case {
    std::vector<std::string> args;
    const char* result;
  };
  const Case cases[] = {
      {{}, "repl"},
      {{"-d"}, "repl"},  // debug without a file is dropped
      {{"--debug", "-d"}, "repl"},
      {{"a.ov"}, "run a.ov"},
      {{"a.ov", "-d"}, "run a.ov debug"},
      {{"--debug", "a.ov"}, "run a.ov debug"},
      {{"-d", "a.ov", "-d"}, "run a.ov debug"},
      {{"-h"}, "help"},
      {{"--help"}, "help"},
      {{"-v"}, "version"},
      {{"--version"}, "version"},
      {{"-v", "-h"}, "version"},  // the first of the two wins
      {{"-h", "-v"}, "help"},
      {{"a.ov", "-h"}, "help"},  // wherever it stands
      {{"a.ov", "-d", "b.ov", "--version"}, "version"},
      {{"a.ov", "b.ov"}, "run a.ov"},  // the first file wins
      {{"a.txt", "b.ov"}, "run a.txt"},
      {{"-x", "--verbose", "-", "--", "a.ov"}, "run a.ov"},  // unknown options are ignored
      {{"-"}, "repl"},
      {{"-hv"}, "repl"},  // options are whole texts
      {{"-H"}, "repl"},
      {{"--HELP", "x.ov"}, "run x.ov"},
      {{"-debug", "x.ov"}, "run x.ov"},
      {{"help"}, "run help"},
      {{""}, "repl"},  // an empty argument names no file
      {{"", "b.ov"}, "run b.ov"},
      {{"a.ov", ""}, "run a.ov"},
      {{" "}, "run  "},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += "[" + a + "]";
    EXPECT_EQ(describe(parse_arguments(c.args)), c.result) << joined;
  }
}

TEST(Cli, ScriptExtension) {
  struct Case {
    const char* path;
    bool accepted;
  };
  const Case cases[] = {
      {"x.ov", true},
      {"dir/x.ov", true},
      {"/abs/path/x.ov", true},
      {"./x.ov", true},
      {"x.txt.ov", true},  // judged by the last dot
      {"x.ov.txt", false},
      {"x.OV", false},
      {"x.Ov", false},
      {"x.", false},
      {"x", false},
      {".ov", false},  // a dot at the start is no extension
      {"dir/.ov", false},
      {"..ov", true},  // the last dot is not the first character
      {".x.ov", true},
      {"x.ov/", true},  // a trailing separator adds no component
      {"x.ov//", true},
      {"dir.ov/x", false},
      {"x.ov/.", true},
      {"x.ov/..", false},
      {"..", false},
      {".", false},
      {"/", false},
      {"x.ovv", false},
      {"x.o", false},
      {"x. ov", false},
      {"x.ov ", false},
      {"x..ov", true},
      {"x.ov.", false},
  };
  for (const Case& c : cases) EXPECT_EQ(has_script_extension(c.path), c.accepted) << c.path;
}

}  // namespace
}  // namespace orvane
