#!/usr/bin/env python3
"""Runs generated programs through one or two interpreters and reports every disagreement.

Two comparisons, both exact on standard output, standard error and exit status:
  --generic        the binary with and without ORVANE_GENERIC=1 (every specialisation off)
  --other BINARY   the binary against another build (an older release, say)
Without either, only the checks that need no reference run: no crash (exit status below 128,
no sanitizer report), nothing on standard error but the interpreter's own error lines, the same
result on a second run, and for well-formed generated programs, exit status 0 and no error line.

Failing programs go to --keep DIR (shrunk line by line with --minimise). The exit status is 1
when anything was found.

  differential.py --binary build-san/orvane --generic --count 300 --seed 1
  differential.py --binary new/orvane --other old/orvane --count 2000 --hostile-share 0.3
"""

import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile_gen  # noqa: E402
import program_gen  # noqa: E402

KNOWN_ERROR_LINES = [
    re.compile(r"Error: nesting too deep"),
    re.compile(r"Error: maximum recursion depth exceeded"),
    re.compile(r"Error: out of memory"),
    re.compile(r"Error: failed to write output"),
    re.compile(r"Error: integer literal too large: [0-9]+"),
]
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                   "runtime error:", "MemorySanitizer", "ThreadSanitizer")


class Outcome:
    """What one run of one program printed and how it ended."""

    def __init__(self, out, err, status, timed_out, seconds):
        self.out = out
        self.err = err
        self.status = status
        self.timed_out = timed_out
        self.seconds = seconds

    def key(self, exact=True):
        # A hostile program may print a dict, whose order differs per run: its output is
        # compared as a multiset of bytes.
        out = self.out if exact else bytes(sorted(self.out))
        return (out, self.err, self.status, self.timed_out)


class Runner:
    """One way of running a program: a binary and extra environment variables."""

    def __init__(self, binary, extra_env, timeout):
        self.binary = binary
        self.env = dict(os.environ)
        self.env.update(extra_env)
        # Sanitizer reports go to standard error with a stable exit code.
        self.env.setdefault("ASAN_OPTIONS", "detect_leaks=1:exitcode=86")
        self.env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:exitcode=87")
        self.env.setdefault("SDL_VIDEODRIVER", "dummy")
        self.timeout = timeout

    def run(self, path):
        start = time.monotonic()
        try:
            proc = subprocess.run([self.binary, path], stdin=subprocess.DEVNULL,
                                  capture_output=True, env=self.env, timeout=self.timeout)
        except subprocess.TimeoutExpired as e:
            return Outcome(e.stdout or b"", e.stderr or b"", None, True,
                           time.monotonic() - start)
        return Outcome(proc.stdout, proc.stderr, proc.returncode, False,
                       time.monotonic() - start)


def stray_error_lines(err):
    """Lines on standard error that are not one of the interpreter's own error lines."""
    text = err.decode("utf-8", "replace")
    return [line for line in text.splitlines()
            if not any(p.fullmatch(line) for p in KNOWN_ERROR_LINES)]


def invariant_faults(outcome, well_formed):
    """The reference-free checks; returns a list of (kind, detail)."""
    faults = []
    if outcome.timed_out:
        if well_formed:
            faults.append(("timeout", "a generated program did not end"))
        return faults
    err_text = outcome.err.decode("utf-8", "replace")
    if any(mark in err_text for mark in SANITIZER_MARKS):
        faults.append(("sanitizer", err_text[:2000]))
    elif outcome.status < 0 or outcome.status >= 128:
        faults.append(("crash", f"exit status {outcome.status}"))
    stray = stray_error_lines(outcome.err)
    if stray and not any(k == "sanitizer" for k, _ in faults):
        faults.append(("stderr", "\n".join(stray[:10])))
    if well_formed and not faults and (outcome.status != 0 or outcome.err):
        faults.append(("failed", f"exit status {outcome.status}: {err_text[:500]}"))
    return faults


def describe_difference(a, b):
    for name, x, y in (("status", a.status, b.status), ("timed out", a.timed_out, b.timed_out),
                       ("stderr", a.err, b.err), ("stdout", a.out, b.out)):
        if x != y:
            if isinstance(x, bytes):
                xs, ys = x.decode("utf-8", "replace"), y.decode("utf-8", "replace")
                lines_x, lines_y = xs.splitlines(), ys.splitlines()
                for i, (lx, ly) in enumerate(zip(lines_x, lines_y)):
                    if lx != ly:
                        return f"{name} line {i + 1}: {lx[:200]!r} vs {ly[:200]!r}"
                return f"{name}: {len(lines_x)} lines vs {len(lines_y)} lines"
            return f"{name}: {x} vs {y}"
    return "no difference"


class Check:
    """Runs one program through every configured comparison."""

    def __init__(self, primary, secondary, repeat_every):
        self.primary = primary
        self.secondary = secondary
        self.repeat_every = repeat_every

    @staticmethod
    def disagree(a, b, well_formed):
        # A hostile program near the time limit (one running out of memory slowly, say) may
        # end in one run and not in the other: that says nothing about either interpreter.
        if b.timed_out and not well_formed:
            return False
        return b.key(well_formed) != a.key(well_formed)

    def faults(self, path, well_formed, index):
        """Returns (faults, number of runs, timed out)."""
        a = self.primary.run(path)
        faults = invariant_faults(a, well_formed)
        runs = 1
        if a.timed_out:
            return faults, runs, True  # nothing more to learn from a run that did not end
        if self.secondary is not None:
            b = self.secondary.run(path)
            runs += 1
            if self.disagree(a, b, well_formed):
                faults.append(("differs", describe_difference(a, b)))
        if self.repeat_every and index % self.repeat_every == 0:
            again = self.primary.run(path)
            runs += 1
            if self.disagree(a, again, well_formed):
                faults.append(("nondeterministic", describe_difference(a, again)))
        return faults, runs, a.timed_out


def minimise(text, still_fails, budget=150):
    """Removes lines while the failure stays; gives the smallest text found within BUDGET runs."""
    lines = text.split("\n")
    chunk = max(1, len(lines) // 2)
    while chunk >= 1 and budget > 0:
        i = 0
        removed_any = False
        while i < len(lines) and budget > 0:
            candidate = lines[:i] + lines[i + chunk:]
            budget -= 1
            if candidate and still_fails("\n".join(candidate)):
                lines = candidate
                removed_any = True
            else:
                i += chunk
        if not removed_any:
            chunk //= 2
    return "\n".join(lines)


def program_for(seed, hostile_share):
    """The program for SEED and whether it is a well-formed generated one."""
    # Seeds pick hostile programs in a fixed pattern, so a seed always names the same text.
    if hostile_share > 0 and (seed * 2654435761 % 1000) < hostile_share * 1000:
        return hostile_gen.generate(seed), False
    return program_gen.generate(seed), True


def keep_finding(keep, seed, text, faults, check, well_formed, do_minimise, workdir):
    os.makedirs(keep, exist_ok=True)
    kinds = sorted({k for k, _ in faults})
    base = os.path.join(keep, f"seed{seed}-{'-'.join(kinds)}")
    with open(base + ".ov", "w", encoding="utf-8") as f:
        f.write(text)
    with open(base + ".txt", "w", encoding="utf-8") as f:
        for kind, detail in faults:
            f.write(f"{kind}: {detail}\n")
    if do_minimise:
        probe = os.path.join(workdir, f"min{seed}.ov")

        def still_fails(candidate):
            with open(probe, "w", encoding="utf-8") as f:
                f.write(candidate)
            found, _, _ = check.faults(probe, well_formed, 0)
            return bool({k for k, _ in found} & set(kinds))

        small = minimise(text, still_fails)
        with open(base + ".min.ov", "w", encoding="utf-8") as f:
            f.write(small)
    return base


def run_one(args, check, seed, workdir):
    text, well_formed = program_for(seed, args.hostile_share)
    path = os.path.join(workdir, f"p{seed}.ov")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    faults, runs, timed_out = check.faults(path, well_formed, seed)
    kept = None
    if faults and args.keep:
        kept = keep_finding(args.keep, seed, text, faults, check, well_formed, args.minimise,
                            workdir)
    os.unlink(path)
    return seed, well_formed, faults, runs, timed_out, kept


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--binary", required=True, help="the interpreter under test")
    p.add_argument("--other", help="a second interpreter to compare with")
    p.add_argument("--generic", action="store_true",
                   help="compare the binary with itself under ORVANE_GENERIC=1")
    p.add_argument("--count", type=int, default=100)
    p.add_argument("--seed", type=int, default=1, help="the first seed")
    p.add_argument("--timeout", type=float, default=20.0, help="seconds per run")
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--hostile-share", type=float, default=0.0,
                   help="share of hostile programs, 0 to 1")
    p.add_argument("--repeat-every", type=int, default=4,
                   help="run every Nth program twice to check determinism (0: never)")
    p.add_argument("--keep", help="directory for failing programs")
    p.add_argument("--minimise", action="store_true", help="shrink failing programs")
    p.add_argument("--quiet", action="store_true")
    p.add_argument("--progress", type=int, default=0,
                   help="print a line every N programs (0: never)")
    return p.parse_args(argv)


def make_check(args):
    primary = Runner(args.binary, {}, args.timeout)
    secondary = None
    if args.generic and args.other:
        raise SystemExit("choose one of --generic and --other")
    if args.generic:
        secondary = Runner(args.binary, {"ORVANE_GENERIC": "1"}, args.timeout)
    elif args.other:
        secondary = Runner(args.other, {}, args.timeout)
    return Check(primary, secondary, args.repeat_every)


def main(argv):
    args = parse_args(argv)
    check = make_check(args)
    start = time.monotonic()
    totals = {"programs": 0, "hostile": 0, "runs": 0, "timeouts": 0}
    by_kind = {}
    with tempfile.TemporaryDirectory(prefix="orvane-gen-") as workdir, \
            concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        seeds = range(args.seed, args.seed + args.count)
        for seed, well_formed, faults, runs, timed_out, kept in pool.map(
                lambda s: run_one(args, check, s, workdir), seeds):
            totals["programs"] += 1
            totals["hostile"] += 0 if well_formed else 1
            totals["runs"] += runs
            totals["timeouts"] += 1 if timed_out else 0
            for kind, detail in faults:
                by_kind[kind] = by_kind.get(kind, 0) + 1
            if args.progress and totals["programs"] % args.progress == 0:
                print(f"{totals['programs']}/{args.count} programs, "
                      f"{sum(by_kind.values())} findings, {time.monotonic() - start:.0f} s",
                      flush=True)
            if faults and not args.quiet:
                first = faults[0][1].splitlines()[0] if faults[0][1] else ""
                where = f" (kept in {kept}.ov)" if kept else ""
                print(f"seed {seed}: {', '.join(k for k, _ in faults)}: {first[:160]}{where}",
                      flush=True)
    elapsed = time.monotonic() - start
    found = sum(by_kind.values())
    mode = "generic mode" if args.generic else (f"against {args.other}" if args.other
                                                else "invariants only")
    print(f"{totals['programs']} programs ({totals['hostile']} hostile), {totals['runs']} runs, "
          f"{mode}, {elapsed:.1f} s; {totals['timeouts']} timed out; "
          f"findings: {found}" + (f" {by_kind}" if by_kind else ""))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
