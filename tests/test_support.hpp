// Helpers shared by the tests: running the real binary and reading files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::testing {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs the orvane binary with `args` (each passed as one argument) and `input` on standard
// input, in `dir` (the scripts folder by default), with SDL's dummy video driver.
RunResult run_orvane(const std::vector<std::string>& args, const std::string& input = "",
                     const std::string& dir = "");
// Whether the binary can run under an address-space limit: a sanitized one reserves terabytes
// of address space for its own bookkeeping and cannot.
bool address_space_limits_work();
// The same with the address space limited to `memory_kib` KiB (`ulimit -v`).
RunResult run_orvane_limited(uint64_t memory_kib, const std::vector<std::string>& args,
                             const std::string& input = "", const std::string& dir = "");
// The same for any program, such as the linter, with the address space limited to
// `memory_kib` KiB when it is not 0.
RunResult run_binary(const std::string& binary, const std::vector<std::string>& args,
                     const std::string& input = "", const std::string& dir = "",
                     uint64_t memory_kib = 0);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
std::string scripts_dir();
// A fresh scratch folder for one test.
std::string temp_dir();

}  // namespace orvane::testing
