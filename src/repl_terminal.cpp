#include "repl_terminal.hpp"

#include <editline/readline.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lexer/lexer.hpp"
#include "repl_support.hpp"
#include "run_guard.hpp"
#include "support/interrupt.hpp"

namespace orvane {

namespace {

constexpr int HISTORY_LIMIT = 1000;

// Characters that end a word for completion: blanks and every operator or bracket.
constexpr char WORD_BREAKS[] = " \t\n\"'`()[]{}+-*/%=<>!,;:.?&|@$#~^";

// ---- Ctrl-C ----

pthread_t g_loop_thread;
struct sigaction g_previous_action;

// Signals may land on any thread; the loop's thread must see it too, so that a blocking read
// there returns with EINTR.
void on_interrupt(int signal) {
  interrupt::request(signal);
  if (!pthread_equal(pthread_self(), g_loop_thread)) pthread_kill(g_loop_thread, signal);
}

// Without SA_RESTART, so a read waiting for the terminal gives up when Ctrl-C is pressed.
void catch_interrupts() {
  g_loop_thread = pthread_self();
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &g_previous_action);
}

void release_interrupts() { sigaction(SIGINT, &g_previous_action, nullptr); }

// ---- completion ----

const std::set<std::string>* g_session_names = nullptr;
std::vector<std::string> g_matches;
size_t g_next_match = 0;

// Called with state 0 for a new word, then again for each further match until it gives null.
char* next_match(const char* text, int state) {
  if (state == 0) {
    g_matches = repl::completions(text, *g_session_names);
    g_next_match = 0;
  }
  if (g_next_match >= g_matches.size()) return nullptr;
  return strdup(g_matches[g_next_match++].c_str());
}

char** complete(const char* text, int, int) {
  rl_attempted_completion_over = 1;  // never fall back to file names
  return rl_completion_matches(text, next_match);
}

// ---- keys ----

// Named apart from std::bind, which argument-dependent lookup would pick for a std::string.
void bind_key(const std::string& keys, const char* action) {
  rl_parse_and_bind(("bind '" + keys + "' " + action).c_str());
}

// Function keys and modified cursor keys that the editor does not know would otherwise leave
// the tail of their sequence in the line; each gets an action or is swallowed whole.
void bind_extra_keys() {
  bind_key("\\e[2~", "ed-unassigned");  // Insert, which would quote the next key
  for (const char* f : {"P", "Q", "R", "S"}) bind_key(std::string("\\eO") + f, "ed-unassigned");
  const char* tilde_keys[] = {"2", "5", "6", "15", "17", "18", "19", "20", "21", "23", "24"};
  for (const char* k : tilde_keys) bind_key(std::string("\\e[") + k + "~", "ed-unassigned");
  for (char mod = '2'; mod <= '8'; ++mod) {
    std::string m(1, mod);
    bool word = mod != '2';  // Shift moves by character, Alt and Ctrl by word
    for (const char* k : {"A", "B", "P", "Q", "R", "S"})
      bind_key("\\e[1;" + m + k, "ed-unassigned");
    bind_key("\\e[1;" + m + "C", word ? "em-next-word" : "ed-next-char");
    bind_key("\\e[1;" + m + "D", word ? "ed-prev-word" : "ed-prev-char");
    bind_key("\\e[1;" + m + "H", "ed-move-to-beg");
    bind_key("\\e[1;" + m + "F", "ed-move-to-end");
    bind_key("\\e[3;" + m + "~", "ed-delete-next-char");
    for (const char* k : tilde_keys)
      bind_key(std::string("\\e[") + k + ";" + m + "~", "ed-unassigned");
  }
}

// The editor decodes keys by the character type of the locale; lines are always UTF-8.
void use_utf8_characters() {
  std::setlocale(LC_CTYPE, "");
  if (MB_CUR_MAX == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
}

// ---- history ----

// Creates every missing folder of `path`'s parent, private to the user; failures are left to
// the write that follows.
void make_parent_folders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0700);
}

std::string last_history_entry() {
  HIST_ENTRY* last = history_get(history_base + history_length - 1);
  return last && last->line ? last->line : "";
}

}  // namespace

bool terminal_session() { return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1; }

LineEditor::LineEditor()
    : m_history_file(repl::history_path(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"))) {
  use_utf8_characters();
  g_session_names = &m_names;
  rl_readline_name = "orvane";
  rl_catch_signals = 0;  // Ctrl-C is ours: it stops a read, it does not end the process
  rl_basic_word_break_characters = WORD_BREAKS;
  rl_completer_word_break_characters = const_cast<char*>(WORD_BREAKS);
  rl_attempted_completion_function = complete;
  rl_initialize();
  bind_extra_keys();
  stifle_history(HISTORY_LIMIT);
  if (!m_history_file.empty() && read_history(m_history_file.c_str()) == 0)
    m_last_entry = last_history_entry();
  catch_interrupts();
}

LineEditor::~LineEditor() {
  release_interrupts();
  g_session_names = nullptr;
}

LineEditor::Read LineEditor::read(const char* prompt, std::string& text) {
  // The editor catches no signals, so it learns of a resized window here, once per line.
  rl_resize_terminal();
  char* line = readline(prompt);
  if (!line) return interrupt::take() != 0 ? Read::Interrupted : Read::End;
  text = repl::strip_escape_sequences(line);
  std::free(line);
  return Read::Line;
}

void LineEditor::remember(const std::string& entry) {
  if (entry == m_last_entry) return;
  add_history(entry.c_str());
  m_last_entry = entry;
  if (m_history_file.empty()) return;
  make_parent_folders(m_history_file);
  // A file that cannot be written is ignored; one that can holds what was typed, so it is
  // kept private.
  if (write_history(m_history_file.c_str()) == 0) ::chmod(m_history_file.c_str(), 0600);
}

void LineEditor::learn(std::string_view entry) {
  run_guarded([&] { repl::collect_defined_names(tokenize(entry), m_names); });
}

}  // namespace orvane
