#include "cli.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "support/interrupt.hpp"
#include "support/unicode.hpp"

namespace orvane {

const std::string_view USAGE =
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

const std::string_view VERSION_LINE = "Orvane version 1.0.3\n";

CommandLine parse_arguments(const std::vector<std::string>& args) {
  CommandLine cl;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") return CommandLine{CommandLine::Help, "", false};
    if (arg == "-v" || arg == "--version") return CommandLine{CommandLine::Version, "", false};
    if (arg == "-d" || arg == "--debug") {
      cl.debug = true;
    } else if (!arg.empty() && arg[0] == '-') {
      // Unknown options are ignored.
    } else if (cl.file.empty()) {
      cl.file = arg;
    }
  }
  if (cl.file.empty()) return CommandLine{};
  cl.action = CommandLine::Run;
  return cl;
}

bool has_script_extension(std::string_view path) {
  // The last component, ignoring trailing separators and "." components.
  std::string_view last;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view part = path.substr(pos, slash - pos);
    if (!part.empty() && part != ".") last = part;
    pos = slash + 1;
  }
  if (last.empty() || last == "..") return false;
  size_t dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return last.substr(dot + 1) == "ov";
}

bool read_script(const std::string& path, uint64_t bound, std::string& text, std::string& error) {
  auto os_error = [&](int code) {
    error = std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
    return false;
  };
  int fd;
  while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR)
    interrupt::check();
  if (fd < 0) return os_error(errno);
  int code = 0;
  try {
    struct stat info {};
    // The size is only a hint: the file may change while it is read.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        static_cast<uint64_t>(info.st_size) <= bound)
      text.reserve(static_cast<size_t>(info.st_size));
    char buf[1 << 16];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) {
        interrupt::check();
        continue;
      }
      if (n < 0) {
        code = errno;
        break;
      }
      if (n == 0) break;
      if (text.size() + static_cast<uint64_t>(n) > bound) {
        code = EFBIG;
        break;
      }
      text.append(buf, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    code = ENOMEM;
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  if (code != 0) {
    text = std::string();
    return os_error(code);
  }
  if (!unicode::is_valid_utf8(text)) {
    error = "stream did not contain valid UTF-8";
    return false;
  }
  return true;
}

}  // namespace orvane
