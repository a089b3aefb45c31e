#include "support/memory.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>

namespace orvane::memory {

namespace {

constexpr uint64_t NO_LIMIT = UINT64_MAX;
// A v1 group without a limit reports the largest page-aligned signed figure.
constexpr uint64_t V1_UNLIMITED_FLOOR = uint64_t{1} << 62;

// Reads a small file whole (at most a few KiB); empty when it cannot be read.
std::string read_small_file(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() > 65536) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

uint64_t rlimit_of(int resource) {
  struct rlimit rl {};
  if (getrlimit(resource, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return NO_LIMIT;
  return rl.rlim_cur;
}

uint64_t physical_memory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return NO_LIMIT;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
}

// The smallest limit in `file` found in the group `path` under `root` and its ancestors.
uint64_t group_limit(const std::string& root, std::string path, const char* file) {
  uint64_t limit = NO_LIMIT;
  for (;;) {
    std::string text = read_small_file(root + path + "/" + file);
    if (!text.empty()) limit = std::min(limit, parse_cgroup_limit(text));
    if (path.empty() || path == "/") return limit;
    size_t slash = path.rfind('/');
    path.resize(slash == std::string::npos ? 0 : slash);
  }
}

// Whether a comma-separated list of v1 controllers holds "memory".
bool names_memory(std::string_view controllers) {
  while (!controllers.empty()) {
    size_t comma = controllers.find(',');
    if (controllers.substr(0, comma) == "memory") return true;
    if (comma == std::string_view::npos) break;
    controllers.remove_prefix(comma + 1);
  }
  return false;
}

// Lines of /proc/self/cgroup are "ID:CONTROLLERS:PATH"; v2 has ID 0 and no controllers.
uint64_t cgroup_limit() {
  std::string table = read_small_file("/proc/self/cgroup");
  uint64_t limit = NO_LIMIT;
  size_t from = 0;
  while (from < table.size()) {
    size_t end = table.find('\n', from);
    if (end == std::string::npos) end = table.size();
    std::string_view line(table.data() + from, end - from);
    from = end + 1;
    size_t first = line.find(':');
    size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string path(line.substr(second + 1));
    if (controllers.empty()) {
      limit = std::min(limit, group_limit("/sys/fs/cgroup", path, "memory.max"));
      limit = std::min(limit, group_limit("/sys/fs/cgroup/unified", path, "memory.max"));
    } else if (names_memory(controllers)) {
      limit = std::min(limit, group_limit("/sys/fs/cgroup/memory", path, "memory.limit_in_bytes"));
    }
  }
  return limit;
}

}  // namespace

uint64_t parse_cgroup_limit(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return NO_LIMIT;
  return value >= V1_UNLIMITED_FLOOR ? NO_LIMIT : value;
}

uint64_t environment_limit() {
  static const uint64_t limit =
      std::min({rlimit_of(RLIMIT_AS), rlimit_of(RLIMIT_DATA), cgroup_limit(), physical_memory()});
  return limit;
}

uint64_t resident_bytes() {
  int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[128];
  ssize_t n;
  do {
    n = ::read(fd, buf, sizeof buf - 1);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return 0;
  // "size resident shared ...", counted in pages.
  std::string_view text(buf, static_cast<size_t>(n));
  size_t blank = text.find(' ');
  if (blank == std::string_view::npos) return 0;
  uint64_t pages = 0;
  std::from_chars(text.data() + blank + 1, text.data() + text.size(), pages);
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace orvane::memory
