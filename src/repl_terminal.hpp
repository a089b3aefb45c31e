// Line editing for the interactive loop when it talks to a terminal: editing keys, history kept
// across sessions, Tab completion, and Ctrl-C turned into a stop request.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace orvane {

// True when standard input and standard output are both terminals and the line editor's
// library (opened here) is there; otherwise the loop reads plain lines.
bool terminal_session();

// Reads entry lines through the line editor. While it exists, Ctrl-C asks the running code to
// stop (and interrupts a blocking read) instead of ending the process.
class LineEditor {
 public:
  enum class Read { Line, End, Interrupted };

  LineEditor();
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Shows `prompt` and reads one edited line into `text`, escape sequences removed. A line
  // recalled from a multi-line entry holds its lines separated by line feeds.
  Read read(const char* prompt, std::string& text);
  // Keeps a finished entry in the history (and its file), unless it repeats the last one.
  void remember(const std::string& entry);
  // Offers the names that `entry` defines to Tab completion.
  void learn(std::string_view entry);

 private:
  std::string m_history_file;
  std::string m_last_entry;
  std::set<std::string> m_names;
};

}  // namespace orvane
