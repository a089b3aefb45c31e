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
#include "support/library.hpp"

namespace orvane {

namespace {

constexpr int HISTORY_LIMIT = 1000;

// ---- the editor library ----

// libedit is opened when a terminal session starts: scripts and piped sessions start without
// it and the libraries it brings along. Its functions and variables are reached through `ed()`.
// clang-format off
#define ORVANE_EDITLINE_SYMBOLS(X)                                                            \
  X(readline) X(add_history) X(read_history) X(write_history) X(stifle_history)              \
  X(history_get) X(rl_initialize) X(rl_parse_and_bind) X(rl_resize_terminal)                 \
  X(rl_completion_matches) X(history_base) X(history_length) X(rl_readline_name)              \
  X(rl_catch_signals) X(rl_basic_word_break_characters) X(rl_completer_word_break_characters) \
  X(rl_attempted_completion_function) X(rl_attempted_completion_over)
// clang-format on

struct Editline {
#define ORVANE_EDITLINE_POINTER(name) decltype(&::name) name = nullptr;
  ORVANE_EDITLINE_SYMBOLS(ORVANE_EDITLINE_POINTER)
#undef ORVANE_EDITLINE_POINTER
  bool loaded = false;
};

Editline load_editline() {
  Editline lib;
#define ORVANE_EDITLINE_SYMBOL(name) {#name, reinterpret_cast<void**>(&lib.name)},
  lib.loaded = !library::open("libedit.so.2", {ORVANE_EDITLINE_SYMBOLS(ORVANE_EDITLINE_SYMBOL)});
#undef ORVANE_EDITLINE_SYMBOL
  return lib;
}

const Editline& ed() {
  static const Editline lib = load_editline();
  return lib;
}

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
  *ed().rl_attempted_completion_over = 1;  // never fall back to file names
  return ed().rl_completion_matches(text, next_match);
}

// ---- keys ----

// Named apart from std::bind, which argument-dependent lookup would pick for a std::string.
void bind_key(const std::string& keys, const char* action) {
  ed().rl_parse_and_bind(("bind '" + keys + "' " + action).c_str());
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
  HIST_ENTRY* last = ed().history_get(*ed().history_base + *ed().history_length - 1);
  return last && last->line ? last->line : "";
}

}  // namespace

bool terminal_session() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1 && ed().loaded;
}

LineEditor::LineEditor()
    : m_history_file(repl::history_path(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"))) {
  use_utf8_characters();
  g_session_names = &m_names;
  const Editline& lib = ed();
  *lib.rl_readline_name = "orvane";
  *lib.rl_catch_signals = 0;  // Ctrl-C is ours: it stops a read, it does not end the process
  *lib.rl_basic_word_break_characters = WORD_BREAKS;
  *lib.rl_completer_word_break_characters = const_cast<char*>(WORD_BREAKS);
  *lib.rl_attempted_completion_function = complete;
  lib.rl_initialize();
  bind_extra_keys();
  lib.stifle_history(HISTORY_LIMIT);
  if (!m_history_file.empty() && lib.read_history(m_history_file.c_str()) == 0)
    m_last_entry = last_history_entry();
  catch_interrupts();
}

LineEditor::~LineEditor() {
  release_interrupts();
  g_session_names = nullptr;
}

LineEditor::Read LineEditor::read(const char* prompt, std::string& text) {
  // The editor catches no signals, so it learns of a resized window here, once per line.
  ed().rl_resize_terminal();
  char* line = ed().readline(prompt);
  if (!line) return interrupt::take() != 0 ? Read::Interrupted : Read::End;
  text = repl::strip_escape_sequences(line);
  std::free(line);
  return Read::Line;
}

void LineEditor::remember(const std::string& entry) {
  if (entry == m_last_entry) return;
  ed().add_history(entry.c_str());
  m_last_entry = entry;
  if (m_history_file.empty()) return;
  make_parent_folders(m_history_file);
  // A file that cannot be written is ignored; one that can holds what was typed, so it is
  // kept private.
  if (ed().write_history(m_history_file.c_str()) == 0) ::chmod(m_history_file.c_str(), 0600);
}

void LineEditor::learn(std::string_view entry) {
  run_guarded([&] { repl::collect_defined_names(tokenize(entry), m_names); });
}

}  // namespace orvane
