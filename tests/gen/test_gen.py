#!/usr/bin/env python3
"""Checks that the generators write what they promise and that the runner catches each fault.

The runner is tried on small shell scripts that stand in for an interpreter and misbehave in
one way each. With ORVANE_BINARY set, a few generated programs also run on the real binary.
"""

import os
import random
import re
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import differential  # noqa: E402
import hostile_gen  # noqa: E402
import program_gen  # noqa: E402

SEEDS = range(1, 151)


def strip_strings_and_comments(text):
    """The text with string literals and comments removed, scanned as the interpreter does."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == '"':
            i += 1
            while i < len(text) and text[i] != '"':
                i += 2 if text[i] == "\\" else 1
            i += 1
        elif c == "#":
            while i < len(text) and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = len(text) if end < 0 else end + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class GeneratorTest(unittest.TestCase):
    def test_a_seed_always_gives_the_same_text_and_seeds_differ(self):
        texts = [program_gen.generate(s) for s in range(1, 21)]
        self.assertEqual(texts, [program_gen.generate(s) for s in range(1, 21)])
        self.assertEqual(len(set(texts)), len(texts))
        hostile = [hostile_gen.generate(s) for s in range(1, 21)]
        self.assertEqual(hostile, [hostile_gen.generate(s) for s in range(1, 21)])

    def test_programs_are_balanced(self):
        pairs = {")": "(", "]": "[", "}": "{"}
        for seed in SEEDS:
            stack = []
            for c in strip_strings_and_comments(program_gen.generate(seed)):
                if c in "([{":
                    stack.append(c)
                elif c in pairs:
                    self.assertTrue(stack and stack.pop() == pairs[c], f"seed {seed}")
            self.assertEqual(stack, [], f"seed {seed}")

    def test_no_bare_return_swallows_the_next_statement(self):
        for seed in SEEDS:
            self.assertNotRegex(program_gen.generate(seed), re.compile(r"\breturn$", re.M),
                                f"seed {seed}")

    def test_every_construct_appears(self):
        corpus = "\n".join(program_gen.generate(s) for s in SEEDS)
        constructs = {
            "let": r"\blet \w+ =", "plain assignment": r"^\s*[a-z]\w* = ",
            "compound": r"\w+ [-+*/]= ", "while": r"\bwhile \w+ < \d+ \{",
            "for over a range": r"\bfor i\d in -?\d+\.\.", "for over an array": r"\bfor e\d in ",
            "match": r"\bmatch .* \{", "wildcard arm": r"^\s*_ =>", "try": r"\btry \{",
            "catch": r"\} catch err \{", "def": r"\bdef f\d+\(", "recursion": r"f\d+\(r - 1",
            "main": r"^def main\(\) \{", "global": r"\bglobal \w+", "break": r"\bbreak\b",
            "continue": r"\bcontinue\b", "return": r"\breturn\b", "power": r"\*\*",
            "division": r" / ", "remainder": r" % ", "wrap-around": r"9223372036854775807",
            "member": r"\bd\d\.\w+", "index": r"\ba\d\[", "range": r"\.\.", "not": r"(!|not )",
            "string append": r"\bs\d = s\d \+ ", "in-place push": r"\ba\d = push\(a\d, ",
            "dict literal": r"\{k\d: ", "float": r"\d\.\d", "unicode": "\u03a3",
        }
        builtins = ["print", "len", "upper", "lower", "slice", "split", "concat", "contains",
                    "reverse", "push", "pop", "abs", "pow", "sqrt", "floor", "ceil", "round",
                    "min", "max", "random", "random_range", "typeof", "is_number", "is_string",
                    "is_array", "is_dict", "rect", "circle", "triangle", "color"]
        constructs.update({b: rf"\b{b}\(" for b in builtins})
        for name, pattern in constructs.items():
            self.assertRegex(corpus, re.compile(pattern, re.M), name)

    def test_input_and_windows_never_appear(self):
        corpus = "\n".join(program_gen.generate(s) for s in SEEDS)
        for name in ["input", "window", "present", "clear", "draw", "fill"]:
            self.assertNotRegex(corpus, rf"\b{name}\(", name)

    def test_torn_programs_keep_every_loop_counter_first_in_its_loop(self):
        for seed in SEEDS:
            original = program_gen.generate(seed)
            torn = hostile_gen.mutate(random.Random(seed), original)
            lines = torn.split("\n")
            loops = 0
            for k, line in enumerate(lines):
                m = re.search(r"\bwhile (w\d+) <", line)
                if m:
                    loops += 1
                    self.assertRegex(lines[k + 1], rf"^\s*{m.group(1)} \+= 1$", f"seed {seed}")
            self.assertEqual(loops, original.count("while w"), f"seed {seed}")

    def test_hostile_texts_are_valid_utf8_and_varied(self):
        kinds = set()
        for seed in range(1, 400):
            text = hostile_gen.generate(seed)
            text.encode("utf-8")  # a lone surrogate would raise here
            kinds.add(len(text) > 50000)
        self.assertEqual(kinds, {True, False})


FAKES = {
    "agrees": 'echo "out $(cat "$1" | wc -l)"',
    "generic differs": 'if [ -n "$ORVANE_GENERIC" ]; then echo 2; else echo 1; fi',
    "crash": "echo partial; kill -SEGV $$",
    "sanitizer": 'echo "==1==ERROR: AddressSanitizer: heap-use-after-free" >&2; exit 86',
    "ubsan": 'echo "x.cpp:1:2: runtime error: signed integer overflow" >&2; exit 87',
    "stray stderr": "echo 'warning: XDG_RUNTIME_DIR is invalid' >&2; echo ok",
    "known error": "echo 'Error: out of memory' >&2; exit 1",
    "literal error": "echo 'Error: integer literal too large: 99999999999999999999' >&2; exit 1",
    "random": "echo $$",
    "slow": "exec sleep 5",
    "slow in generic mode": 'if [ -n "$ORVANE_GENERIC" ]; then exec sleep 5; fi; echo 1',
    "dict order": 'if [ -n "$ORVANE_GENERIC" ]; then echo "{a: 1, b: 2}"; '
                  'else echo "{b: 2, a: 1}"; fi',
}

# fake, well-formed program?, compare modes?, expected fault kinds
RUNNER_CASES = [
    ("agrees", True, True, set()),
    ("generic differs", True, True, {"differs"}),
    ("generic differs", True, False, set()),
    ("crash", False, False, {"crash"}),
    ("sanitizer", False, False, {"sanitizer"}),
    ("ubsan", False, True, {"sanitizer"}),
    ("stray stderr", False, False, {"stderr"}),
    ("known error", False, True, set()),
    ("known error", True, False, {"failed"}),
    ("literal error", False, False, set()),
    ("random", True, False, {"nondeterministic"}),
    ("slow", True, False, {"timeout"}),
    ("slow", False, True, set()),
    ("slow", True, True, {"timeout"}),
    ("slow in generic mode", True, True, {"differs"}),
    ("slow in generic mode", False, True, set()),
    ("dict order", True, True, {"differs"}),
    ("dict order", False, True, set()),
]


def outcome(status, err=b"", timed_out=False):
    return differential.Outcome(b"out\n", err, status, timed_out, 0.0)


# outcome, well-formed program?, expected fault kinds
INVARIANT_CASES = [
    (outcome(0), True, []),
    (outcome(1, b"Error: nesting too deep\n"), False, []),
    (outcome(1, b"Error: maximum recursion depth exceeded\n"), False, []),
    (outcome(1, b"Error: out of memory\n"), True, ["failed"]),
    (outcome(1, b"Error: integer literal too large: 1x\n"), False, ["stderr"]),
    (outcome(1, b"Error: out of memory\nError: division by zero\n"), False, ["stderr"]),
    (outcome(0, b"Error: out of memory: more\n"), False, ["stderr"]),
    (outcome(-11), False, ["crash"]),
    (outcome(134, b"terminate called after throwing an instance of 'std::bad_alloc'\n"), False,
     ["crash", "stderr"]),
    (outcome(1, b"==9==ERROR: LeakSanitizer: detected memory leaks\n"), False, ["sanitizer"]),
    (outcome(0, b"src/x.cpp:3:9: runtime error: shift exponent 64\n"), True, ["sanitizer"]),
    (outcome(None, timed_out=True), False, []),
    (outcome(None, timed_out=True), True, ["timeout"]),
    (outcome(2), True, ["failed"]),
]


class InvariantTest(unittest.TestCase):
    def test_each_outcome_is_judged_as_expected(self):
        for result, well_formed, expected in INVARIANT_CASES:
            with self.subTest(status=result.status, err=result.err, well_formed=well_formed):
                faults = differential.invariant_faults(result, well_formed)
                self.assertEqual([k for k, _ in faults], expected)

    def test_hostile_output_is_compared_without_order_but_exactly_otherwise(self):
        a = differential.Outcome(b"{a: 1, b: 2}\n", b"", 0, False, 0.0)
        b = differential.Outcome(b"{b: 2, a: 1}\n", b"", 0, False, 0.0)
        c = differential.Outcome(b"{b: 2, a: 3}\n", b"", 0, False, 0.0)
        self.assertEqual(a.key(False), b.key(False))
        self.assertNotEqual(a.key(True), b.key(True))
        self.assertNotEqual(a.key(False), c.key(False))
        self.assertIn("line 1", differential.describe_difference(a, b))


class RunnerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.fakes = {}
        for name, body in FAKES.items():
            path = os.path.join(cls.dir.name, name.replace(" ", "_"))
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body + "\n")
            os.chmod(path, os.stat(path).st_mode | stat.S_IEXEC)
            cls.fakes[name] = path
        cls.program = os.path.join(cls.dir.name, "p.ov")
        with open(cls.program, "w") as f:
            f.write("print(1)\n")

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_each_fault_is_caught_and_nothing_else(self):
        for fake, well_formed, compare, expected in RUNNER_CASES:
            with self.subTest(fake=fake, well_formed=well_formed, compare=compare):
                args = ["--binary", self.fakes[fake], "--timeout", "1"]
                check = differential.make_check(differential.parse_args(
                    args + (["--generic"] if compare else [])))
                check.repeat_every = 1
                faults, _, _ = check.faults(self.program, well_formed, 0)
                self.assertEqual({k for k, _ in faults}, expected, faults)

    def test_two_binaries_are_compared(self):
        args = ["--binary", self.fakes["agrees"], "--other", self.fakes["random"]]
        check = differential.make_check(differential.parse_args(args))
        faults, runs, _ = check.faults(self.program, True, 1)
        self.assertEqual([k for k, _ in faults], ["differs"])
        self.assertEqual(runs, 2)

    def test_minimise_keeps_only_the_failing_line(self):
        lines = [f"print({i})" for i in range(60)]
        lines[37] = "print(BOOM)"
        small = differential.minimise("\n".join(lines), lambda t: "BOOM" in t)
        self.assertEqual(small, "print(BOOM)")

    def test_hostile_share_selects_a_fixed_part_of_the_seeds(self):
        picked = [not differential.program_for(s, 0.3)[1] for s in range(1, 1001)]
        self.assertTrue(250 <= sum(picked) <= 350, sum(picked))
        self.assertEqual(picked, [not differential.program_for(s, 0.3)[1]
                                  for s in range(1, 1001)])
        self.assertFalse(any(not differential.program_for(s, 0)[1] for s in range(1, 100)))


@unittest.skipUnless(os.environ.get("ORVANE_BINARY"), "ORVANE_BINARY is not set")
class RealBinaryTest(unittest.TestCase):
    def test_generated_programs_run_cleanly_and_print(self):
        check = differential.make_check(differential.parse_args(
            ["--binary", os.environ["ORVANE_BINARY"], "--timeout", "30"]))
        printed = 0
        with tempfile.TemporaryDirectory() as d:
            for seed in range(1000, 1020):
                path = os.path.join(d, "p.ov")
                with open(path, "w", encoding="utf-8") as f:
                    f.write(program_gen.generate(seed))
                faults, _, _ = check.faults(path, True, seed)
                self.assertEqual(faults, [], f"seed {seed}")
                out = check.primary.run(path).out.decode("utf-8")
                printed += len(out.splitlines())
                # A dict's order differs per run: none may reach the output.
                self.assertNotIn("{", out, f"seed {seed}")
        self.assertGreater(printed, 100)


if __name__ == "__main__":
    unittest.main()
