// The benchmark programs as whole-program tests: each Orvane version under bench/programs and
// bench/general must print NAME.out, the text its Lua and Python twins print. Only their
// results are checked here; their speed is measured by `make bench`.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "test_support.hpp"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

// "SET/NAME" for every NAME.ov with a NAME.out in the two benchmark sets.
std::vector<std::string> bench_programs() {
  std::vector<std::string> names;
  for (const char* set : {"programs", "general"}) {
    fs::path dir = fs::path(ORVANE_SOURCE_DIR) / "bench" / set;
    for (const auto& entry : fs::directory_iterator(dir)) {
      fs::path path = entry.path();
      if (path.extension() == ".ov" && fs::exists(fs::path(path).replace_extension(".out")))
        names.push_back(std::string(set) + "/" + path.stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class BenchProgram : public ::testing::TestWithParam<std::string> {};

TEST_P(BenchProgram, PrintsWhatItsTwinsPrint) {
#if defined(ORVANE_SANITIZED)
  // Under the sanitizers these two take 10 to 30 seconds each; the rest take a few.
  if (GetParam() == "general/fannkuch" || GetParam() == "general/words")
    GTEST_SKIP() << "too slow under the sanitizers";
#endif
  std::string base = std::string(ORVANE_SOURCE_DIR) + "/bench/" + GetParam();
  RunResult r = run_orvane({base + ".ov"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, read_file(base + ".out"));
}

INSTANTIATE_TEST_SUITE_P(Sets, BenchProgram, ::testing::ValuesIn(bench_programs()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '/', '_');
                           return name;
                         });

TEST(BenchPrograms, BothSetsAreFound) {
  std::vector<std::string> names = bench_programs();
  auto in_set = [&](const std::string& set) {
    return std::count_if(names.begin(), names.end(),
                         [&](const std::string& n) { return n.rfind(set + "/", 0) == 0; });
  };
  EXPECT_GE(in_set("programs"), 9);
  EXPECT_GE(in_set("general"), 8);
}

}  // namespace
}  // namespace orvane::testing
