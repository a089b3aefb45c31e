#!/usr/bin/env python3
"""Runs every ```orvane block of a Markdown guide and compares its standard output with the
```output block that follows it (a ```input block between the two is fed to standard input).
Every other fenced block is refused, so nothing in the guide goes unrun.

Usage: check-guide.py ORVANE GUIDE.md [--write]
With --write, the output blocks are rewritten from what the program printed: review the diff.
"""
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\w*)\s*$")

# The guide shows every builtin at work at least once.
BUILTINS = """len pop abs pow min max push sqrt ceil rect fill draw print input upper lower slice
split floor round clear color concat random typeof window circle reverse is_dict present is_open
contains is_array triangle is_number is_string random_range window_width window_height""".split()


def read_blocks(lines):
    """The fenced blocks as (language, first body line index, body lines, closing index)."""
    blocks, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        start = i + 1
        end = start
        while end < len(lines) and not lines[end].startswith("```"):
            end += 1
        blocks.append((m.group(1), start, lines[start:end], end))
        i = end + 1
    return blocks


def body_text(body):
    return "".join(line + "\n" for line in body)


def examples(blocks):
    """(code block, input text, output block) triples; problems for blocks out of place."""
    found, problems, i = [], [], 0
    while i < len(blocks):
        lang, start = blocks[i][0], blocks[i][1]
        if lang != "orvane":
            problems.append(f"line {start}: a ```{lang} block outside an example")
            i += 1
            continue
        stdin = ""
        j = i + 1
        if j < len(blocks) and blocks[j][0] == "input":
            stdin = body_text(blocks[j][2])
            j += 1
        if j >= len(blocks) or blocks[j][0] != "output":
            problems.append(f"line {start}: an orvane block without an output block after it")
            i = j
            continue
        found.append((blocks[i], stdin, blocks[j]))
        i = j + 1
    return found, problems


def run(orvane, code, stdin):
    with tempfile.TemporaryDirectory() as scratch:
        script = os.path.join(scratch, "example.ov")
        with open(script, "w", encoding="utf-8") as f:
            f.write(code)
        env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_RENDER_DRIVER="software")
        done = subprocess.run([orvane, script], input=stdin.encode(), capture_output=True,
                              env=env, cwd=scratch, timeout=30)
        return done.stdout.decode("utf-8", "replace"), done.returncode


def main():
    orvane, guide = os.path.abspath(sys.argv[1]), sys.argv[2]
    write = "--write" in sys.argv[3:]
    with open(guide, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found, problems = examples(read_blocks(lines))
    passed = 0
    replacements = []
    for code, stdin, output in found:
        got, status = run(orvane, body_text(code[2]), stdin)
        expected = body_text(output[2])
        if got == expected and status == 0:
            passed += 1
            continue
        if write:
            replacements.append((output[1], output[3], got.split("\n")[:-1] if got else []))
        problems.append(f"line {code[1]}: exit status {status}; expected output\n{expected}"
                        f"--- but it printed\n{got}---")
    if write and replacements:
        for start, end, body in reversed(replacements):
            lines[start:end] = body
        with open(guide, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
    code = "".join(body_text(c[2]) for c, _, _ in found)
    for name in BUILTINS:
        if not re.search(r"\b" + name + r"\s*\(", code):
            problems.append(f"no example calls {name}")
    if not found:
        problems.append("the guide holds no example")
    for problem in problems:
        print("FAIL: " + problem)
    print(f"{passed} passed, {len(problems)} failed")
    return 0 if not problems else 1


if __name__ == "__main__":
    sys.exit(main())
