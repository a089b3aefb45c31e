#!/usr/bin/env python3
"""The benchmark tools: what bench/run measures and checks, and the front-end script generator.

Usage: tests/bench_tools_test.py FRONTEND_BENCH_BINARY
"""
import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRONTEND_BENCH = None


def load_runner():
    path = os.path.join(ROOT, "bench", "run")
    loader = importlib.machinery.SourceFileLoader("bench_run", path)
    spec = importlib.util.spec_from_loader("bench_run", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


run = load_runner()


def python(code):
    return [sys.executable, "-c", code]


# Burns CPU until this process itself has used `seconds` of it, however busy the machine.
BURN = "import time\nwhile time.process_time() < {}: pass\nprint('done')"
# Touches `mb` megabytes so they are resident.
HOLD = "b = bytearray({} << 20)\nfor i in range(0, len(b), 4096): b[i] = 1\nprint('held')"


class RunOnce(unittest.TestCase):
    def test_cpu_time_and_output_are_the_childs(self):
        cases = [(0.0, 0.0), (0.3, 0.3)]
        for burn, at_least in cases:
            with self.subTest(burn=burn):
                cpu, _, out = run.run_once(python(BURN.format(burn)))
                self.assertGreaterEqual(cpu, at_least)
                self.assertLess(cpu, at_least + 2.0)
                self.assertEqual(out, b"done\n")

    def test_peak_memory_is_the_programs_own(self):
        # The runner holds 300 MB while it starts a small program: that memory must not be
        # charged to the program.
        ballast = bytearray(300 << 20)
        for i in range(0, len(ballast), 4096):
            ballast[i] = 1
        cases = [(0, 0, 100 << 10), (200, 200 << 10, 300 << 10)]
        for mb, low_kib, high_kib in cases:
            with self.subTest(mb=mb):
                _, rss, out = run.run_once(python(HOLD.format(mb)))
                self.assertEqual(out, b"held\n")
                self.assertGreaterEqual(rss, low_kib)
                self.assertLess(rss, high_kib)
        del ballast

    def test_a_failing_program_stops_the_run(self):
        with self.assertRaises(SystemExit):
            run.run_once(python("import sys\nprint('partial')\nsys.exit(3)"))


class Measure(unittest.TestCase):
    def setUp(self):
        self.saved = run.command, run.HERE
        self.dir = tempfile.TemporaryDirectory()
        run.HERE = self.dir.name
        os.mkdir(os.path.join(self.dir.name, "set"))

    def tearDown(self):
        run.command, run.HERE = self.saved
        self.dir.cleanup()

    def use(self, texts):
        run.command = lambda lang, directory, name: python(f"print({texts[lang]!r})")

    def write_expected(self, text):
        with open(os.path.join(self.dir.name, "set", "p.out"), "w") as f:
            f.write(text)

    def test_agreement_and_expected_text(self):
        same = {"orvane": "42", "lua": "42", "python": "42"}
        cases = [
            # (texts per language, NAME.out or None, accepted)
            (same, None, True),
            (same, "42\n", True),
            (same, "41\n", False),
            ({"orvane": "42", "lua": "42", "python": "43"}, None, False),
            ({"orvane": "null", "lua": "42", "python": "42"}, "42\n", False),
        ]
        for texts, expected, accepted in cases:
            with self.subTest(texts=texts, expected=expected):
                path = os.path.join(self.dir.name, "set", "p.out")
                if os.path.exists(path):
                    os.remove(path)
                if expected is not None:
                    self.write_expected(expected)
                self.use(texts)
                if accepted:
                    best, rss = run.measure("set", "p", 2)
                    self.assertEqual(sorted(best), sorted(run.LANGS))
                    self.assertTrue(all(rss[lang] > 0 for lang in run.LANGS))
                else:
                    with self.assertRaises(SystemExit):
                        run.measure("set", "p", 2)

    def test_every_language_runs_every_round_and_the_best_is_kept(self):
        calls = []

        def fake_run_once(cmd):
            calls.append(cmd[0])
            return float(len(calls)), 1000, b"x\n"

        saved = run.run_once
        run.run_once = fake_run_once
        run.command = lambda lang, directory, name: [lang]
        try:
            best, _ = run.measure("set", "p", 3)
        finally:
            run.run_once = saved
        self.assertEqual(sorted(calls), sorted(run.LANGS * 3))
        # Each round starts with another language.
        self.assertEqual([calls[0], calls[3], calls[6]], ["orvane", "lua", "python"])
        for lang in run.LANGS:
            self.assertEqual(best[lang], float(calls.index(lang) + 1))


class Select(unittest.TestCase):
    def test_plans(self):
        everything = [("programs", run.SETS["programs"]), ("general", run.SETS["general"]),
                      ("frontend", [])]
        cases = [
            (None, [], everything),
            (["general"], [], [("general", run.SETS["general"])]),
            (["frontend"], [], [("frontend", [])]),
            (None, ["lcs", "fib"], [("programs", ["fib"]), ("general", ["lcs"])]),
            (["general"], ["nbody"], [("general", ["nbody"])]),
            (["general", "frontend"], ["nbody"], [("general", ["nbody"]), ("frontend", [])]),
        ]
        for sets, programs, plan in cases:
            with self.subTest(sets=sets, programs=programs):
                self.assertEqual(run.select(sets, programs), plan)

    def test_unknown_programs_stop_the_run(self):
        for sets, programs in [(None, ["nosuch"]), (["programs"], ["nbody"])]:
            with self.subTest(sets=sets, programs=programs):
                with self.assertRaises(SystemExit):
                    run.select(sets, programs)

    def test_geometric_mean(self):
        for values, mean in [([2.0], 2.0), ([1.0, 4.0], 2.0), ([0.5, 2.0, 8.0], 2.0)]:
            self.assertAlmostEqual(run.geo_mean(values), mean)


class FrontendScript(unittest.TestCase):
    def generate(self, path, megabytes):
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "frontend", "generate.py"),
                        path, str(megabytes)], check=True)
        with open(path, "rb") as f:
            return f.read()

    def test_same_bytes_every_time_and_all_of_it_parses(self):
        with tempfile.TemporaryDirectory() as d:
            first = self.generate(os.path.join(d, "a.ov"), 0.25)
            second = self.generate(os.path.join(d, "b.ov"), 0.25)
            self.assertEqual(first, second)
            self.assertGreaterEqual(len(first), 256 << 10)
            self.assertLess(len(first), 512 << 10)
            # Not one line repeated: most lines are distinct.
            lines = first.decode().splitlines()
            self.assertGreater(len(set(lines)), len(lines) // 2)
            if FRONTEND_BENCH:
                proc = subprocess.run([FRONTEND_BENCH, os.path.join(d, "a.ov"), "1"],
                                      capture_output=True, text=True)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertIn(f"{len(first)} bytes", proc.stdout)
                self.assertIn("lower", proc.stdout)
                self.assertIn("all three", proc.stdout)


class TrainingWorkload(unittest.TestCase):
    """The profile-guided build must learn from programs other than the ones it is judged on."""

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_no_benchmark_program_is_trained_on(self):
        workload = self.read(os.path.join(ROOT, "scripts", "train-workload")).decode()
        for set_name in run.SETS:
            self.assertNotIn(f"bench/{set_name}", workload)
        benchmarks = {}
        for set_name in run.SETS:
            for name in run.SETS[set_name]:
                path = os.path.join(ROOT, "bench", set_name, name + ".ov")
                benchmarks[self.read(path)] = path
        for folder in [os.path.join(ROOT, "bench", "training"),
                       os.path.join(ROOT, "tests", "scripts")]:
            for entry in sorted(os.listdir(folder)):
                if entry.endswith(".ov"):
                    text = self.read(os.path.join(folder, entry))
                    if text.strip():
                        self.assertNotIn(text, benchmarks, f"{folder}/{entry}")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        FRONTEND_BENCH = sys.argv.pop(1)
    unittest.main()
