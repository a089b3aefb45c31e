"""The interactive loop on a real pseudo-terminal: line editing, history, completion, Ctrl-C
and Ctrl-D. Usage: terminal_test.py ORVANE_BINARY [TestClass ...]"""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pty_session import Session  # noqa: E402

BINARY = None
HISTORY_HEADER = b"_HiStOrY_V2_\n"


class TerminalCase(unittest.TestCase):
    """Each test gets a fresh home folder; history goes to its state folder."""

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="orvane-pty-")
        self.state = os.path.join(self.home, "state")
        self.sessions = []

    def tearDown(self):
        for s in self.sessions:
            s.kill()
        shutil.rmtree(self.home, ignore_errors=True)

    def start(self, env=None):
        environment = {"XDG_STATE_HOME": self.state}
        environment.update(env or {})
        s = Session(BINARY, self.home, environment)
        self.sessions.append(s)
        s.expect(rb"Type 'exit' to quit\.\r\n\r\n>>> ")
        return s

    def history_file(self):
        return os.path.join(self.state, "orvane", "history")

    def run_lines(self, s, *lines):
        for text in lines:
            s.line(text)
            s.prompt()

    def quit(self, s):
        s.line("exit")
        s.expect(rb"Goodbye!\r\n")
        self.assertEqual(s.finish(), 0)


class LineEditing(TerminalCase):
    # Each case types keys, then Enter; the entry must print `shows`.
    CASES = [
        ("left arrows", ["prnt(5)"] + ["left"] * 5 + ["i"], b"5"),
        ("home and end", ["rint(6", "home", "p", "end", ")"], b"6"),
        ("ctrl-a and ctrl-e", ["rint(16", "ctrl-a", "p", "ctrl-e", ")"], b"16"),
        ("word motion", ["print(7 8)", "left", "ctrl-left", "+ "], b"15"),
        ("alt-b word motion", ["print(20 2)", "left", "alt-b", "* "], b"40"),
        ("kill and yank", ["print(4)", "ctrl-a", "ctrl-k", "ctrl-y", "ctrl-y"], b"4\r\n4"),
        ("delete a word", ["print(35", "ctrl-w", "3)"], b"3"),
        ("non-ASCII text", ['print("h\u00e9llo \u03c9", "\u00e2")', "left", "left", "left", "left",
                            "ctrl-left", "x"], "h\u00e9llo x\u03c9\r\n\u00e2".encode()),
    ]

    def test_editing_keys(self):
        s = self.start()
        for name, keys, shows in self.CASES:
            with self.subTest(name):
                s.type(*keys, "enter")
                s.expect(rb"\r\n" + shows + rb"\r\n>>> ")
        self.quit(s)

    def test_key_sequences_never_reach_the_line(self):
        # A key the editor does not know, or one quoted with Ctrl-V, must leave nothing behind:
        # a stray letter turns print(1) into print(A1), a "[" turns the prompt to "... ".
        s = self.start()
        for keys in [["f1"], ["f5"], ["shift-up"], ["alt-up"], ["page-up"], ["ctrl-v", "f5"],
                     ["ctrl-v", "shift-up"]]:
            with self.subTest(" ".join(keys)):
                s.type("print(", *keys, "1)", "enter")
                s.expect(rb"\r\n1\r\n>>> ")
        self.quit(s)


class History(TerminalCase):
    def test_up_arrow_recalls_earlier_entries(self):
        s = self.start()
        self.run_lines(s, "let n = 1", "n = n + 1")
        s.type("up", "enter")  # n = n + 1 again
        s.prompt()
        s.type("up", "up", "up", "down", "enter")  # n = n + 1 once more
        s.prompt()
        s.line("print(n)")
        s.expect(rb"\r\n4\r\n>>> ")
        self.quit(s)

    def test_multi_line_entry_is_one_item(self):
        # Recalling only the last line ("}") would leave m at 1.
        s = self.start()
        s.line("let m = 0")
        s.prompt()
        s.line("if true {")
        s.expect(rb"\.\.\. ")
        s.line("m = m + 1")
        s.expect(rb"\.\.\. ")
        s.line("}")
        s.prompt()
        s.type("up", "enter")
        s.prompt()
        s.line("print(m)")
        s.expect(rb"\r\n2\r\n>>> ")
        self.quit(s)

    def test_ctrl_r_searches_history(self):
        s = self.start()
        self.run_lines(s, "let q = 10", "q = q * 3", "print(0)")
        s.type("ctrl-r", "q *", "enter")
        s.prompt()
        s.line("print(q)")
        s.expect(rb"\r\n90\r\n>>> ")
        self.quit(s)

    def test_history_outlives_the_session(self):
        cases = [
            ("state home", {}, self.history_file),
            ("home fallback", {"XDG_STATE_HOME": None},
             lambda: os.path.join(self.home, ".local", "state", "orvane", "history")),
            ("relative state home", {"XDG_STATE_HOME": "state"},
             lambda: os.path.join(self.home, ".local", "state", "orvane", "history")),
        ]
        for name, env, path in cases:
            with self.subTest(name):
                first = self.start(env)
                self.run_lines(first, "let z = 41")
                self.quit(first)
                self.assertIn(b"let\\040z", open(path(), "rb").read())
                self.assertEqual(os.stat(path()).st_mode & 0o077, 0)  # private to the user
                second = self.start(env)
                second.type("up", "enter")
                second.prompt()
                second.line("print(z + 1)")
                second.expect(rb"\r\n42\r\n>>> ")
                self.quit(second)
                os.remove(path())

    def test_adjacent_repeats_are_kept_once(self):
        s = self.start()
        self.run_lines(s, "print(7)", "print(7)", "print(8)", "print(7)")
        s.type("up", "enter")
        s.prompt()  # a recalled entry repeats the last one too
        self.quit(s)
        entries = open(self.history_file(), "rb").read().split(b"\n")[1:-1]
        self.assertEqual(entries, [b"print(7)", b"print(8)", b"print(7)"])
        again = self.start()  # the last entry of the file counts too
        self.run_lines(again, "print(7)", "print(9)")
        self.quit(again)
        entries = open(self.history_file(), "rb").read().split(b"\n")[1:-1]
        self.assertEqual(entries, [b"print(7)", b"print(8)", b"print(7)", b"print(9)"])

    def test_history_is_bounded(self):
        os.makedirs(os.path.dirname(self.history_file()))
        old = [b"print(%d)" % i for i in range(1500)]
        with open(self.history_file(), "wb") as f:
            f.write(HISTORY_HEADER + b"\n".join(old) + b"\n")
        s = self.start()
        s.type("up", "enter")  # the newest entry survived loading
        s.expect(rb"\r\n1499\r\n>>> ")
        self.run_lines(s, "print(-1)")
        self.quit(s)
        entries = open(self.history_file(), "rb").read().split(b"\n")[1:-1]
        self.assertEqual(len(entries), 1000)
        self.assertEqual(entries[-1], b"print(-1)")
        self.assertEqual(entries[-2], b"print(1499)")

    def test_unusable_history_is_ignored(self):
        def folder_in_the_way():
            os.makedirs(self.history_file())

        def file_in_the_way():
            open(self.state, "w").close()

        def garbage():
            os.makedirs(os.path.dirname(self.history_file()))
            with open(self.history_file(), "wb") as f:
                f.write(b"\x00\xff\xfe garbage\n(((\n")

        def read_only():
            os.makedirs(os.path.dirname(self.history_file()))
            open(self.history_file(), "w").close()
            os.chmod(self.history_file(), 0o400)

        for name, spoil in [("folder", folder_in_the_way), ("file", file_in_the_way),
                            ("garbage", garbage), ("read only", read_only)]:
            with self.subTest(name):
                shutil.rmtree(self.state, ignore_errors=True)
                if os.path.isfile(self.state):
                    os.remove(self.state)
                spoil()
                s = self.start()
                self.run_lines(s, "let u = 3")
                s.line("print(u * 2)")
                s.expect(rb"\r\n6\r\n>>> ")
                self.quit(s)


class Completion(TerminalCase):
    # Each case: entries typed first, then keys with Tab, Enter; the entry must print `shows`.
    CASES = [
        ("builtin", [], ["pri", "tab", "(3)"], b"3"),
        ("keyword", ["let i = 0"], ["whi", "tab", "i < 2 { i = i + 1 }", "enter", "print(i)"],
         b"2"),
        ("let target", ["let counter = 4"], ["print(cou", "tab", ")"], b"4"),
        ("function", ["def twice(value) { return value * 2 }"],
         ["print(twi", "tab", "(5))"], b"10"),
        ("parameter", ["def first(alpha, beta) { return alpha }"],
         ["print(first(7 al", "tab", "))"], b"7"),
        ("assignment", ["total = 9"], ["print(tot", "tab", ")"], b"9"),
        ("for variable", ["for item in [1] { }"], ["print(ite", "tab", ")"], b"1"),
        ("after an operator", ["let width = 6"], ["print(1+wid", "tab", ")"], b"7"),
    ]

    def test_tab_completes(self):
        s = self.start()
        for name, entries, keys, shows in self.CASES:
            with self.subTest(name):
                self.run_lines(s, *entries)
                s.type(*keys, "enter")
                s.expect(rb"\r\n" + shows + rb"\r\n>>> ")
        self.quit(s)

    def test_ambiguous_prefix_lists_the_choices(self):
        s = self.start()
        s.type("is_", "tab", "tab")
        s.expect(rb"is_array\s+is_dict\s+is_number\s+is_open\s+is_string")
        s.type("ctrl-c")
        s.prompt()
        self.quit(s)


class CtrlC(TerminalCase):
    def test_at_the_prompt_the_line_is_dropped(self):
        s = self.start()
        s.type("print(1")
        time.sleep(0.3)
        s.type("ctrl-c")
        s.expect(rb"\^C\r\n>>> ")
        s.line("print(2)")
        s.expect(rb"\r\n2\r\n>>> ")
        self.quit(s)

    def test_at_the_prompt_a_held_entry_is_dropped(self):
        # Held lines left behind would keep the "... " prompt and swallow print(3).
        s = self.start()
        s.line("def f() {")
        s.expect(rb"\.\.\. ")
        s.line("print(99)")
        s.expect(rb"\.\.\. ")
        s.type("ctrl-c")
        s.expect(rb"\^C\r\n>>> ")
        s.line("print(3)")
        s.expect(rb"\r\n3\r\n>>> ")
        s.line("f()")
        s.prompt()
        self.assertNotIn(b"99\r\n", s.output[s.mark - 200:])
        self.quit(s)

    # Each case: the entry that runs until Ctrl-C, and what it prints before it is stopped.
    RUNNING = [
        ("empty loop", "while true { }", b""),
        ("loop that printed", 'print("started") while true { }', b"started\r\n"),
        ("inside a call", "def spin(kept) { while true { kept = kept + 1 } } spin(0)", b""),
        ("deep in calls", "def deep(kept, n) { if n == 0 { while true { } } deep(kept, n - 1) } "
                          "deep(1, 1000)", b""),
        ("waiting for input", 'kept = input("? ")', b"? "),
    ]

    def test_while_an_entry_runs(self):
        s = self.start()
        self.run_lines(s, "let kept = 5")
        for name, entry, before in self.RUNNING:
            with self.subTest(name):
                s.line(entry)
                if before:
                    s.expect(before.replace(b"?", rb"\?"))
                time.sleep(0.5)
                s.type("ctrl-c")
                s.expect(rb"\r\n>>> ")
                s.line("print(kept)")
                s.expect(rb"\r\n5\r\n>>> ")
        self.quit(s)


class CtrlD(TerminalCase):
    def test_at_an_empty_prompt_ends_with_a_line_end(self):
        s = self.start()
        self.run_lines(s, "print(1)")
        s.type("ctrl-d")
        self.assertEqual(s.finish(), 0)
        tail = s.output[s.mark:]
        self.assertTrue(tail.endswith(b"\r\n"), tail)
        self.assertNotIn(b"Goodbye", tail)

    def test_inside_input_gives_an_empty_string_once(self):
        s = self.start()
        s.line('let a = input("? ")')
        s.expect(rb"\? ")
        s.type("ctrl-d")
        s.expect(rb"\r\n>>> ")
        s.line('let b = input("? ")')
        s.expect(rb"\? ")
        s.line("typed")
        s.prompt()
        s.line("print(len(a), b)")
        s.expect(rb"\r\n0\r\ntyped\r\n>>> ")
        self.quit(s)


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
