#include "cli.hpp"

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

}  // namespace orvane
