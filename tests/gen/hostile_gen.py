#!/usr/bin/env python3
"""Hostile inputs: generated programs torn apart, plus extreme shapes a user could write.

Every text stays valid UTF-8 (the driver rejects anything else before scanning). A hostile
program may fail, loop or run out of memory; what it must never do is crash, trip a sanitizer or
print anything on standard error beyond the interpreter's own error lines.

Usage: hostile_gen.py SEED   (writes the program to standard output)
"""

import random
import sys

import program_gen

ODD_TOKENS = ["}", "{", ")", "(", "]", "[", ",", ":", ";", "=", "=>", "->", "?", ".", "..",
              "else", "in", "catch", "let", "def", "return", "match", "try", "global", "_",
              "!", "not", "**", "+=", "/=", "&", "|", "^", "~", "$", "'", "@", "`", "\\",
              "\u00e9", "\u03a3", "\ufeff", "\u2028", "\U0001f600", "0.", ".5", "1..", "#",
              "/*", "*/", '"', "9223372036854775808", "99999999999999999999999"]

# Lines that keep a generated loop finite; mutations leave them alone.
PROTECTED = ("while ", " += 1")


def mutate(rng, text):
    """Applies a few random edits to a generated program."""
    # A torn program may print what it only compared before: no random values.
    text = text.replace("random()", "0.5").replace("random_range(1, 10)", "3")
    lines = text.split("\n")
    for _ in range(rng.randint(1, 6)):
        if not lines:
            break
        i = rng.randrange(len(lines))
        if any(p in lines[i] for p in PROTECTED):
            continue
        action = rng.randrange(6)
        line = lines[i]
        if action == 0:
            del lines[i]
        elif action == 1:
            lines.insert(i, line)
        elif action == 2 and line:
            cut = rng.randrange(len(line))
            lines[i] = line[:cut] + " " + rng.choice(ODD_TOKENS) + " " + line[cut:]
        elif action == 3 and line:
            a = rng.randrange(len(line))
            b = min(len(line), a + rng.randint(1, 8))
            lines[i] = line[:a] + line[b:]
        elif action == 4:
            j = rng.randrange(len(lines))
            if not any(p in lines[j] for p in PROTECTED):
                lines[i], lines[j] = lines[j], lines[i]
        else:
            lines[i] = line.replace(" ", rng.choice([" ", "", "\t", " /* c */ "]), 1)
    text = "\n".join(lines)
    if rng.random() < 0.1:
        text += rng.choice(['\nprint("unterminated', "\n/* unterminated", "\n# last line",
                            '\nprint("ends in a backslash \\', "\nprint(1 +"])
    return text


def nested(rng):
    depth = rng.choice([100, 1000, 4000, 4095, 4096, 4097, 5000, 20000])
    opener, closer, inner = rng.choice([
        ("(", ")", "1"), ("[", "]", "1"), ("{a: ", "}", "1"), ("-", "", "1"),
        ("not ", "", "true"), ("!", "", "0"), ("f(", ")", "1"),
        ("if true { ", "} ", "print(1)"), ("while false { ", "} ", ""),
        ("def g() { ", "} ", "return 1"), ("match 1 { 1 => { ", "} } ", "print(2)"),
    ])
    closed = rng.random() < 0.8
    return "print(" + opener * depth + inner + (closer * depth if closed else "") + ")\n"


def chain(rng):
    count = rng.choice([1000, 10000, 100000, 300000])
    head, link = rng.choice([
        ("x", ".a"), ("a", "[0]"), ("1", " + 1"), ("2", " ** 1"), ("1", " - -1"),
        ("true", " and true"), ("1", " < 2 == true"), ("s", " + s"), ("f()", "(1)"),
        ('"a"', ' + "b"'), ("1.5", " * 1.0"), ("x", ".a(1)"),
    ])
    body = head + link * count
    where = rng.choice(["print({})\n", "def main() {{ print({}) }}\n", "let v = {}\nprint(v)\n"])
    prelude = "let x = {a: {a: 1}}\nlet a = [[0]]\nlet s = \"q\"\n"
    return prelude + where.format(body)


def literal(rng):
    digits = rng.choice([19, 20, 25, 400, 5000])
    number = "9" * digits
    return rng.choice([
        f"print({number})\n", f"print({number}.5)\n", f"print(0.{number})\n",
        f"print(1{'0' * 308}.0, -1{'0' * 309}.0)\n", "print(9223372036854775807 + 1)\n",
        f"print(\"{'x' * rng.choice([1000, 100000, 1000000])}\")\n",
        f"let {'n' * rng.choice([1000, 100000])} = 1\nprint(1)\n",
        f"print(len(\"{chr(0x10FFFF) * 1000}\"))\n",
    ])


def heavy(rng):
    """Programs that reach the interpreter's limits: recursion, memory, long loops of work."""
    return rng.choice([
        "def f(n) { return f(n + 1) }\nprint(f(0))\n",
        "def f(n) { if n > 0 { return f(n - 1) } return 0 }\nprint(f(300000))\n",
        "print(len(0..100000000000000))\n",
        "let s = \"ab\"\nlet i = 0\nwhile i < 40 { s = s + s i += 1 }\nprint(len(s))\n",
        "let a = [1]\nlet i = 0\nwhile i < 40 { a = [a, a] i += 1 }\nprint(len(a))\n",
        "let a = []\nfor i in 0..200000 { a = push(a, i) }\nprint(len(a), pop(a))\n",
        "let s = \"\"\nfor i in 0..100000 { s += \"x\" }\nprint(len(split(s, \"\")))\n",
        "def g() { break }\nlet i = 0\nwhile i < 3 { i += 1 g() print(i) }\nprint(i)\n",
        "continue\nprint(1)\nif true { print(2) print(3) }\n",
        "return\nprint(1)\n",
        "print(1 % 0, 1 / 0, (-9223372036854775807 - 1) / -1, (-9223372036854775807 - 1) % -1)\n",
        "print(2 ** -1, 0 ** 0, 3 ** 4294967295, 1.0 / 0.0, 0.0 / 0.0, -0.0)\n",
        "print(random_range(5, 5), random_range(-9223372036854775807 - 1, 9223372036854775807))\n",
        "print(slice(\"h\u00e9llo\", -1, 3), slice(\"abc\", 3, 1),"
        " slice(\"abc\", 9223372036854775807, 0))\n",
        "print(upper(\"stra\u00dfe\"), lower(\"\u03a3\u0391\u03a3 \u03a3\"), split(\"\", \"\"))\n",
        "print(rect(9223372036854775807, -1, -1, 4294967296), color(300, -1, 255.9))\n",
        "print(circle(0.0 / 0.0, 1, 2), triangle(1, 2, 3, 4, 5, 6), min(0.0 / 0.0, 1))\n",
        "let d = {}\nfor i in 0..3000 { d = {a: d} }\nprint(len(d))\n",
        "let a = []\nfor i in 0..3000 { a = [a] }\nprint(len(a))\nprint(a)\n",
        "print(a[0][0][0], x.y.z, f(1)(2)(3), (1)(2), \"s\"[0], 5..\"x\", \"x\"..5)\n",
    ])


def generate(seed):
    rng = random.Random(seed ^ 0x5EED)
    roll = rng.random()
    if roll < 0.70:
        return mutate(rng, program_gen.generate(seed))
    if roll < 0.77:
        return nested(rng)
    if roll < 0.83:
        return chain(rng)
    if roll < 0.89:
        return literal(rng)
    return heavy(rng)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    sys.stdout.write(generate(int(argv[1])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
