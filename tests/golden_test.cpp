// Golden scripts: tests/scripts/NAME.ov runs through the real binary and its standard output
// must equal NAME.out byte for byte. Optional files beside it:
//   NAME.in      standard input
//   NAME.args    the argument list, one per line, "{}" standing for the script (default "{}")
//   NAME.err     expected standard error, exactly
//   NAME.status  expected exit status (default 0)
//   NAME.memory  the address-space limit to run under, in KiB (`ulimit -v`)
// NAME.repl instead of NAME.ov is standard input for the interactive loop (no arguments).
// Every script runs twice: as built, and with ORVANE_GENERIC=1, where each construct takes its
// generic rule; both must give the same output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_support.hpp"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> golden_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scripts_dir())) {
    auto ext = entry.path().extension();
    if ((ext == ".ov" || ext == ".repl") &&
        fs::exists(fs::path(entry.path()).replace_extension(".out")))
      names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void check_script(const std::string& name) {
  std::string base = scripts_dir() + "/" + name;
  bool repl = fs::exists(base + ".repl");
  std::vector<std::string> args;
  std::string input;
  if (repl) {
    input = read_file(base + ".repl");
  } else {
    if (fs::exists(base + ".in")) input = read_file(base + ".in");
    if (fs::exists(base + ".args")) {
      std::istringstream lines(read_file(base + ".args"));
      for (std::string line; std::getline(lines, line);)
        args.push_back(line == "{}" ? name + ".ov" : line);
    } else {
      args.push_back(name + ".ov");
    }
  }
  uint64_t memory = fs::exists(base + ".memory") ? std::stoull(read_file(base + ".memory")) : 0;
  if (memory && !address_space_limits_work()) GTEST_SKIP() << "needs an address-space limit";
  RunResult r = run_orvane_limited(memory, args, input);
  EXPECT_EQ(r.out, read_file(base + ".out"));
  if (fs::exists(base + ".err")) {
    EXPECT_EQ(r.err, read_file(base + ".err"));
  }
  int status = fs::exists(base + ".status") ? std::stoi(read_file(base + ".status")) : 0;
  EXPECT_EQ(r.status, status) << r.err;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, MatchesExpectedOutput) { check_script(GetParam()); }

class GoldenGeneric : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenGeneric, MatchesExpectedOutput) {
  setenv("ORVANE_GENERIC", "1", 1);
  check_script(GetParam());
  unsetenv("ORVANE_GENERIC");
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string n = info.param;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
}

INSTANTIATE_TEST_SUITE_P(Scripts, Golden, ::testing::ValuesIn(golden_names()), test_name);
INSTANTIATE_TEST_SUITE_P(Scripts, GoldenGeneric, ::testing::ValuesIn(golden_names()), test_name);

}  // namespace
}  // namespace orvane::testing
