// libFuzzer target: scans, parses and runs its input with a step budget, no window and no
// standard input, discarding what the script prints; and lints it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lint/lint.hpp"
#include "run_guard.hpp"
#include "support/output.hpp"
#include "support/unicode.hpp"

namespace {

// Steps are loop rounds and calls. Copies of shared arrays make some inputs quadratic in the
// steps they take: keep it small.
constexpr uint64_t STEP_BUDGET = 2000;
constexpr uint64_t ALLOCATION_LIMIT = uint64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
  setenv("SDL_VIDEODRIVER", "orvane-fuzz-no-display", 1);  // window() fails quietly
  orvane::output::set_discard(true);
  orvane::set_allocation_limit(ALLOCATION_LIMIT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!orvane::unicode::is_valid_utf8(text)) return 0;  // the driver rejects such files
  // Runs on the fuzzer's own stack: the parser's nesting limit bounds its recursion and the
  // interpreter keeps its calls on a frame stack of its own.
  try {
    orvane::run_guarded([&] {
      orvane::TokenList tokens = orvane::tokenize(text);
      orvane::Program program = orvane::Parser::parse_program(tokens);
      orvane::run_program(program, STEP_BUDGET);
    });
  } catch (const orvane::StepBudgetExhausted&) {
  }
  orvane::lint::lint_source(text);
  return 0;
}
