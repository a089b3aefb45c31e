// orvane-lint: reports what the forgiving parser would drop or read unexpectedly in scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.hpp"
#include "lint/lint.hpp"
#include "support/unicode.hpp"

namespace orvane::lint {
namespace {

constexpr std::string_view USAGE =
    "orvane-lint - report what the forgiving parser drops or reads unexpectedly\n"
    "\n"
    "USAGE:\n"
    "    orvane-lint [OPTIONS] FILE...\n"
    "\n"
    "OPTIONS:\n"
    "    -h, --help       Print this help message\n"
    "    -v, --version    Print the version\n"
    "    --               Treat every later argument as a file\n"
    "\n"
    "Each finding is one line on standard output: FILE:LINE:COLUMN: warning: TEXT\n"
    "(\"error:\" instead of \"warning:\" when the file would not run at all).\n"
    "\n"
    "EXIT STATUS:\n"
    "    0    no findings\n"
    "    1    at least one finding\n"
    "    2    a file could not be read, or the command line was wrong\n";

enum Status { CLEAN = 0, FOUND = 1, TROUBLE = 2 };

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// Reads the whole file as valid UTF-8; on failure returns false with the reason in `error`.
bool read_source(const std::string& path, std::string& text, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool failed = std::ferror(f);
  int code = errno;
  std::fclose(f);
  if (failed) {
    error = std::strerror(code);
    return false;
  }
  if (!unicode::is_valid_utf8(text)) {
    error = "not valid UTF-8";
    return false;
  }
  return true;
}

Status lint_file(const std::string& path) {
  std::string text, error;
  if (!read_source(path, text, error)) {
    put(stderr, "orvane-lint: " + path + ": " + error + "\n");
    return TROUBLE;
  }
  std::vector<Finding> findings = lint_source(text);
  for (const Finding& f : findings) put(stdout, format(path, f) + "\n");
  return findings.empty() ? CLEAN : FOUND;
}

int run(const std::vector<std::string>& args) {
  // Help and version win wherever they stand before "--".
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") {
      put(stdout, USAGE);
      return CLEAN;
    }
    if (arg == "-v" || arg == "--version") {
      std::string_view line = VERSION_LINE;
      put(stdout, "orvane-lint version " + std::string(line.substr(line.rfind(' ') + 1)));
      return CLEAN;
    }
  }
  std::vector<std::string> files;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      put(stderr, "orvane-lint: unknown option '" + arg + "' (try --help)\n");
      return TROUBLE;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    put(stderr, "orvane-lint: no file given (try --help)\n");
    return TROUBLE;
  }
  int status = CLEAN;
  for (const std::string& file : files) status = std::max(status, int(lint_file(file)));
  return status;
}

}  // namespace
}  // namespace orvane::lint

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = orvane::lint::run(args);
  if (std::fflush(stdout) != 0 && status == 0) status = 2;
  return status;
}
