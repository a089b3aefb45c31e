// The binary under hostile conditions: stop signals, memory limits, files that never end, no
// display. Each case ends with everything printed so far written out and a known status.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.hpp"

extern char** environ;

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A script started in the background with its standard output going to a file and its
// standard input read from a pipe that the test holds open (so `input` waits).
class Background {
 public:
  Background(const std::string& dir, const std::string& script, std::vector<std::string> env)
      : m_out(dir + "/out.txt") {
    int pipe_fds[2];
    EXPECT_EQ(pipe(pipe_fds), 0);
    m_stdin = pipe_fds[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
    std::string path = dir + "/" + script;
    char* argv[] = {const_cast<char*>(ORVANE_BINARY), path.data(), nullptr};
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
      std::string_view entry(*e);
      if (entry.rfind("SDL_VIDEODRIVER=", 0) != 0) envp.push_back(*e);
    }
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&m_pid, ORVANE_BINARY, &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[0]);
  }
  ~Background() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    close(m_stdin);
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  bool running() {
    int status;
    return waitpid(m_pid, &status, WNOHANG) == 0 && (m_pid > 0);
  }
  void signal(int sig) { kill(m_pid, sig); }
  // The exit status, or -1 if it did not end within `limit` (it is then killed), or 1000 plus
  // the signal that killed it.
  int wait(std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(10ms);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  std::string output() const { return read_file(m_out); }

 private:
  std::string m_out;
  pid_t m_pid = -1;
  int m_stdin = -1;
};

// Waits until the script has printed `text` (its first line is flushed by input or by a
// window's frame), at most a few seconds.
bool wait_for_start(Background& run, std::chrono::milliseconds pause) {
  std::this_thread::sleep_for(pause);
  return run.running();
}

TEST(Signals, StopARunWithItsOutputWrittenAndTheConventionalStatus) {
  struct Case {
    const char* name;
    const char* script;
    std::vector<std::string> env;
  };
  // A busy loop with the output in the buffer, a wait in input, and a long computation with a
  // window open (where SDL used to take the signals for itself).
  const Case cases[] = {
      {"loop", "print(\"kept\")\nwhile true { }\n", {}},
      {"input", "print(\"kept\")\nprint(input(\"?\"))\n", {}},
      {"window",
       "print(\"kept\")\nwindow(64, 48)\nlet n = 0\nwhile true { n = n + 1 }\n",
       {"SDL_VIDEODRIVER=dummy"}},
  };
  const std::pair<int, int> signals[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  std::string dir = temp_dir();
  for (const Case& c : cases) {
    write_file(dir + "/s.ov", c.script);
    for (auto [sig, status] : signals) {
      SCOPED_TRACE(std::string(c.name) + " " + strsignal(sig));
      Background run(dir, "s.ov", c.env);
      ASSERT_TRUE(wait_for_start(run, 500ms)) << run.output();
      run.signal(sig);
      EXPECT_EQ(run.wait(10s), status);
      std::string out = run.output();
      EXPECT_EQ(out.substr(0, 5), "kept\n");
    }
  }
  fs::remove_all(dir);
}

// Memory: what fits runs, what does not ends with the message, the output kept, status 1.
TEST(Memory, WhatFitsRunsAndWhatDoesNotEndsTheRun) {
  if (!address_space_limits_work()) GTEST_SKIP() << "needs an address-space limit";
  struct Case {
    const char* script;
    uint64_t memory_kib;
    const char* out;
    const char* err;
    int status;
  };
  const Case cases[] = {
      // 1.1 GB, past the old fixed cap of 1 GiB.
      {"print(len(0..70000000))\n", 3u << 20, "70000000\n", "", 0},
      // 21 million pieces, judged too large by that cap though they fit.
      {"let s = \"abcde\"\nwhile len(s) < 20000000 { s = s + s }\n"
       "print(len(split(s, \"\")))\n",
       3u << 20, "20971522\n", "", 0},
      // An array grown in place until the limit is reached.
      {"print(\"before\")\nlet a = []\nwhile true { a = push(a, 1) }\n", 512u << 10, "before\n",
       "Error: out of memory\n", 1},
      // The same through push's general path (the argument list is not names only).
      {"print(\"before\")\nlet a = [0]\nwhile true { a = push(a, len(a) + 1) }\n", 512u << 10,
       "before\n", "Error: out of memory\n", 1},
      {"print(\"before\")\nlet s = \"ab\"\nwhile true { s = concat(s, s) }\n", 512u << 10,
       "before\n", "Error: out of memory\n", 1},
      {"print(\"before\")\nlet s = \"ab\"\nwhile len(s) < 16000000 { s = s + s }\n"
       "print(len(split(s, \"\")))\n",
       512u << 10, "before\n", "Error: out of memory\n", 1},
  };
  std::string dir = temp_dir();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    write_file(dir + "/m.ov", c.script);
    RunResult r = run_orvane_limited(c.memory_kib, {"m.ov"}, "", dir);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }
  fs::remove_all(dir);
}

// Files that are not ordinary scripts end in the read error, never in a crash or a hang.
TEST(Reading, HostileFilesGiveTheReadError) {
  if (!address_space_limits_work()) GTEST_SKIP() << "needs an address-space limit";
  std::string dir = temp_dir();
  fs::create_symlink("/dev/zero", dir + "/zero.ov");
  fs::create_directory(dir + "/folder.ov");
  write_file(dir + "/big.ov", std::string(100u << 20, ' '));
  struct Case {
    const char* name;
    uint64_t memory_kib;
    const char* err;
  };
  const Case cases[] = {
      {"zero.ov", 1u << 20, "Error: Failed to read the file: File too large (os error 27)\n"},
      {"big.ov", 512u << 10, "Error: Failed to read the file: File too large (os error 27)\n"},
      {"folder.ov", 0, "Error: Failed to read the file: Is a directory (os error 21)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.memory_kib));
    RunResult r = run_orvane_limited(c.memory_kib, {c.name}, "", dir);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
  }
  fs::remove_all(dir);
}

// A FIFO is read to its end like a file; one that never ends is refused like /dev/zero.
TEST(Reading, FifosAreReadToTheirEndOrRefused) {
  if (!address_space_limits_work()) GTEST_SKIP() << "needs an address-space limit";
  std::string dir = temp_dir();
  ASSERT_EQ(mkfifo((dir + "/pipe.ov").c_str(), 0600), 0);
  struct Case {
    const char* writer;
    uint64_t memory_kib;
    const char* out;
    const char* err;
    int status;
  };
  const Case cases[] = {
      {"printf 'print(6 * 7)\\n' > pipe.ov", 0, "42\n", "", 0},
      {"yes 'print(1)' > pipe.ov 2> /dev/null", 1u << 20, "",
       "Error: Failed to read the file: File too large (os error 27)\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writer);
    std::string cmd = "cd '" + dir + "' && (" + c.writer + ") &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    RunResult r = run_orvane_limited(c.memory_kib, {"pipe.ov"}, "", dir);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }
  fs::remove_all(dir);
}

// The display libraries (Xlib, D-Bus, GL) keep allocations for the life of the process, which a
// sanitized build would report as leaks of its own.
const std::string SYSTEM_LIBRARIES_KEEP_MEMORY = "ASAN_OPTIONS=detect_leaks=0";

// Runs `script` in `dir` with no display named and no video driver chosen, plus the variables
// in `extra`; standard output and error go to out.txt and err.txt. Returns the exit status.
int run_headless(const std::string& dir, const std::string& script, const std::string& extra) {
  std::string cmd = "cd '" + dir +
                    "' && timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR "
                    "-u SDL_VIDEODRIVER " +
                    SYSTEM_LIBRARIES_KEEP_MEMORY + " " + extra + " '" + ORVANE_BINARY + "' " +
                    script + " > out.txt 2> err.txt";
  int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// With no display, SDL would offer its invisible offscreen driver: a frame loop would then
// spin forever. The window fails to open instead, silently, as any other window failure.
TEST(Window, WithoutADisplayNoWindowOpensAndNothingIsPrinted) {
  std::string dir = temp_dir();
  write_file(dir + "/w.ov",
             "window(64, 48)\nprint(is_open(), window_width())\nwhile is_open() { present() }\n"
             "print(\"done\")\n");
  // Display names that lead nowhere must not make a client library complain either.
  for (const char* extra : {"", "WAYLAND_DISPLAY=wayland-0", "DISPLAY=:93",
                            "WAYLAND_DISPLAY=wayland-0 XDG_RUNTIME_DIR=/nonexistent"}) {
    SCOPED_TRACE(extra);
    EXPECT_EQ(run_headless(dir, "w.ov", extra), 0);
    EXPECT_EQ(read_file(dir + "/out.txt"), "false\nnull\ndone\n");
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
  }
  fs::remove_all(dir);
}

// A few Xlib calls, looked up at run time, to act as another client of the X server.
class XClient {
 public:
  explicit XClient(const std::string& display) {
    m_lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!m_lib) return;
    open_display = reinterpret_cast<OpenDisplay>(dlsym(m_lib, "XOpenDisplay"));
    close_display = reinterpret_cast<CloseDisplay>(dlsym(m_lib, "XCloseDisplay"));
    root_window = reinterpret_cast<RootWindow>(dlsym(m_lib, "XDefaultRootWindow"));
    query_tree = reinterpret_cast<QueryTree>(dlsym(m_lib, "XQueryTree"));
    fetch_name = reinterpret_cast<FetchName>(dlsym(m_lib, "XFetchName"));
    destroy_window = reinterpret_cast<DestroyWindow>(dlsym(m_lib, "XDestroyWindow"));
    x_free = reinterpret_cast<Free>(dlsym(m_lib, "XFree"));
    set_error_handler = reinterpret_cast<SetErrorHandler>(dlsym(m_lib, "XSetErrorHandler"));
    // A window can go between listing it and reading its name (SDL makes short-lived ones):
    // Xlib's own handler would end the test process on that error, leaving the run behind.
    if (set_error_handler) m_previous_handler = set_error_handler(ignore_error);
    if (open_display) m_display = open_display(display.c_str());
  }
  ~XClient() {
    if (m_display) close_display(m_display);
    if (set_error_handler) set_error_handler(m_previous_handler);
    if (m_lib) dlclose(m_lib);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool connected() const { return m_display != nullptr; }
  // The top-level window with this title, or 0.
  unsigned long find(const std::string& title) {
    unsigned long root_back, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    query_tree(m_display, root_window(m_display), &root_back, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
      char* name = nullptr;
      if (fetch_name(m_display, children[i], &name) && name) {
        if (title == name) found = children[i];
        x_free(name);
      }
    }
    if (children) x_free(children);
    return found;
  }
  // Destroys the window, then disconnects so the request is carried out.
  void destroy(unsigned long window) {
    destroy_window(m_display, window);
    close_display(m_display);
    m_display = nullptr;
  }

 private:
  using OpenDisplay = void* (*)(const char*);
  using CloseDisplay = int (*)(void*);
  using RootWindow = unsigned long (*)(void*);
  using QueryTree = int (*)(void*, unsigned long, unsigned long*, unsigned long*, unsigned long**,
                            unsigned*);
  using FetchName = int (*)(void*, unsigned long, char**);
  using DestroyWindow = int (*)(void*, unsigned long);
  using Free = int (*)(void*);
  using ErrorHandler = int (*)(void*, void*);
  using SetErrorHandler = ErrorHandler (*)(ErrorHandler);
  static int ignore_error(void*, void*) { return 0; }
  void* m_lib = nullptr;
  void* m_display = nullptr;
  OpenDisplay open_display = nullptr;
  CloseDisplay close_display = nullptr;
  RootWindow root_window = nullptr;
  QueryTree query_tree = nullptr;
  FetchName fetch_name = nullptr;
  DestroyWindow destroy_window = nullptr;
  Free x_free = nullptr;
  SetErrorHandler set_error_handler = nullptr;
  ErrorHandler m_previous_handler = nullptr;
};

// A virtual X server for the length of a test.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    m_name = std::to_string(100 + getpid() % 800);
    m_name.insert(m_name.begin(), ':');
    std::string cmd = "Xvfb " + m_name;
    cmd += " -screen 0 320x240x24 -nolisten tcp > /dev/null 2>&1 & echo $!";
    FILE* p = popen(cmd.c_str(), "r");
    if (p) {
      if (fscanf(p, "%d", &m_pid) != 1) m_pid = -1;
      pclose(p);
    }
  }
  ~VirtualDisplay() {
    if (m_pid > 0) kill(m_pid, SIGTERM);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
  int m_pid = -1;
};

bool have_xvfb() { return std::system("command -v Xvfb > /dev/null 2>&1") == 0; }

// Another client destroying the window closes it: the frame loop ends and the run finishes
// normally, where Xlib's default handler would end the process with status 1.
TEST(Window, DestroyedByAnotherClientCountsAsClosed) {
  if (!have_xvfb()) GTEST_SKIP() << "Xvfb is not installed";
  VirtualDisplay x;
  std::unique_ptr<XClient> client;
  for (int i = 0; i < 100 && !(client && client->connected()); ++i) {
    std::this_thread::sleep_for(50ms);
    client = std::make_unique<XClient>(x.name());
  }
  ASSERT_TRUE(client && client->connected()) << "no X server on " << x.name();
  std::string dir = temp_dir();
  write_file(dir + "/w.ov",
             "print(\"start\")\nwindow(64, 48)\nprint(is_open())\n"
             "while is_open() { clear() present() }\nprint(\"closed\")\n");
  Background run(dir, "w.ov", {"DISPLAY=" + x.name(), SYSTEM_LIBRARIES_KEEP_MEMORY});
  unsigned long window = 0;
  for (int i = 0; i < 200 && !window; ++i) {
    std::this_thread::sleep_for(25ms);
    window = client->find("Orvane");
  }
  ASSERT_NE(window, 0u) << "the window never appeared";
  client->destroy(window);
  EXPECT_EQ(run.wait(10s), 0);
  EXPECT_EQ(run.output(), "start\ntrue\nclosed\n");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace orvane::testing
