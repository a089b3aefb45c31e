#include "test_support.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvane::testing {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string scripts_dir() { return std::string(ORVANE_SOURCE_DIR) + "/tests/scripts"; }

std::string temp_dir() {
  std::string pattern = (fs::temp_directory_path() / "orvane-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::string("/tmp");
}

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

}  // namespace

bool address_space_limits_work() {
#if defined(ORVANE_SANITIZED)
  return false;
#else
  return true;
#endif
}

RunResult run_orvane(const std::vector<std::string>& args, const std::string& input,
                     const std::string& dir) {
  return run_binary(ORVANE_BINARY, args, input, dir);
}

RunResult run_orvane_limited(uint64_t memory_kib, const std::vector<std::string>& args,
                             const std::string& input, const std::string& dir) {
  return run_binary(ORVANE_BINARY, args, input, dir, memory_kib);
}

RunResult run_binary(const std::string& binary, const std::vector<std::string>& args,
                     const std::string& input, const std::string& dir, uint64_t memory_kib) {
  std::string scratch = temp_dir();
  write_file(scratch + "/stdin", input);
  std::string limit = memory_kib ? "ulimit -v " + std::to_string(memory_kib) + " && " : "";
  // A child that hangs is stopped after five minutes (exit status 124), so that it never
  // outlives its test.
  std::string cmd = "cd " + quote(dir.empty() ? scripts_dir() : dir) + " && " + limit +
                    "SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software timeout -k 10 300 " +
                    quote(binary);
  for (const std::string& a : args) {
    cmd += ' ';
    cmd += quote(a);
  }
  cmd += " < " + quote(scratch + "/stdin") + " > " + quote(scratch + "/stdout") + " 2> " +
         quote(scratch + "/stderr");
  int raw = std::system(cmd.c_str());
  RunResult r;
  r.out = read_file(scratch + "/stdout");
  r.err = read_file(scratch + "/stderr");
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  fs::remove_all(scratch);
  return r;
}

}  // namespace orvane::testing
