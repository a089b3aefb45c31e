// The command line: what `orvane` was asked to do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct CommandLine {
  enum Action { Help, Version, Repl, Run };
  Action action = Repl;
  std::string file;  // Run only: the path as typed
  bool debug = false;
};

// Help and version win wherever they stand; other options are ignored; the first file wins.
CommandLine parse_arguments(const std::vector<std::string>& args);

extern const std::string_view USAGE;
extern const std::string_view VERSION_LINE;

// True when the last component of `path` has the extension "ov" exactly.
bool has_script_extension(std::string_view path);

// Reads the whole file at `path`, refusing one longer than `bound` bytes (an endless file such
// as /dev/zero, or a huge one). On failure returns false with the description in `error`: the
// system's message and code, or the UTF-8 complaint. A stop signal while it waits (on a FIFO,
// say) throws Interrupted.
bool read_script(const std::string& path, uint64_t bound, std::string& text, std::string& error);

}  // namespace orvane
