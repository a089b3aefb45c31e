#!/usr/bin/env python3
"""Writes a large ordinary Orvane script for the front-end benchmark.

Usage: bench/frontend/generate.py OUT [MEGABYTES]
The script is made of functions with loops, branches, matches, expressions, strings, arrays and
dicts, drawn from a fixed pseudo-random sequence, so every run writes the same bytes.
"""
import sys

WORDS = ["count", "total", "index", "value", "name", "item", "line", "row", "col", "width",
         "height", "speed", "score", "label", "result", "node", "left", "right", "data", "text",
         "step", "limit", "offset", "scale", "color", "shape", "point", "edge", "level", "size"]
VERBS = ["update", "compute", "draw", "check", "build", "scan", "merge", "split", "render",
         "collect", "measure", "format", "select", "apply", "reduce", "place"]
BUILTINS = [("len", 1), ("push", 2), ("concat", 3), ("sqrt", 1), ("floor", 1), ("upper", 1),
            ("slice", 3), ("split", 2), ("contains", 2), ("abs", 1), ("max", 2), ("min", 2),
            ("reverse", 1), ("typeof", 1), ("round", 1), ("lower", 1)]
TEXTS = ["hello", "frame done", "value: ", "x", "", "tab\\there", "line\\n", "quote \\\"q\\\"",
         "naïve café", "a, b, c", "{not a dict}", "# not a comment", "1 + 2", "path\\\\to"]
BINARY = ["+", "-", "*", "/", "%", "+", "-", "*", "==", "!=", "<", ">", "<=", ">=", "**"]


class Random:
    """A linear congruential generator, so the text does not depend on Python's own."""

    def __init__(self, seed):
        self.state = seed

    def below(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % 2**64
        return (self.state >> 33) % n

    def pick(self, items):
        return items[self.below(len(items))]

    def chance(self, percent):
        return self.below(100) < percent


class Writer:
    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.functions = []

    def name(self):
        r = self.rng
        word = r.pick(WORDS)
        return word if r.chance(60) else word + "_" + r.pick(WORDS)

    def literal(self):
        r = self.rng
        kind = r.below(4)
        if kind == 0:
            return str(r.below(1000))
        if kind == 1:
            return f"{r.below(100)}.{r.below(1000):03d}"
        if kind == 2:
            return '"' + r.pick(TEXTS) + '"'
        return r.pick(["true", "false", "0", "1", "2"])

    def expression(self, names, depth=0):
        r = self.rng
        choice = r.below(10 if depth < 3 else 4)
        if choice < 2:
            return self.literal()
        if choice < 4:
            target = r.pick(names)
            if r.chance(20):
                return f"{target}.{r.pick(WORDS)}"
            if r.chance(15):
                return f"{target}[{self.expression(names, depth + 1)}]"
            return target
        if choice < 7:
            left = self.expression(names, depth + 1)
            right = self.expression(names, depth + 1)
            text = f"{left} {r.pick(BINARY)} {right}"
            return f"({text})" if r.chance(30) else text
        if choice == 7:
            return self.call(names, depth)
        if choice == 8:
            if r.chance(50):
                items = ", ".join(self.expression(names, depth + 2) for _ in range(r.below(5)))
                return f"[{items}]"
            entries = ", ".join(f"{r.pick(WORDS)}: {self.expression(names, depth + 2)}"
                                for _ in range(1 + r.below(4)))
            return "{" + entries + "}"
        return r.pick(["-", "not "]) + self.expression(names, depth + 1)

    def call(self, names, depth):
        r = self.rng
        if self.functions and r.chance(40):
            callee, arity = r.pick(self.functions)
        else:
            callee, arity = r.pick(BUILTINS)
        args = ", ".join(self.expression(names, depth + 1) for _ in range(arity))
        return f"{callee}({args})"

    def condition(self, names):
        r = self.rng
        op = r.pick(["<", ">", "==", "!=", "<=", ">="])
        text = f"{r.pick(names)} {op} {self.expression(names, 2)}"
        if r.chance(25):
            text += f" {r.pick(['and', 'or'])} {r.pick(['not ', ''])}{r.pick(names)}"
        return text

    def emit(self, indent, text):
        self.lines.append("  " * indent + text)

    def block(self, indent, names, depth):
        r = self.rng
        for _ in range(2 + r.below(5 if depth < 2 else 3)):
            self.statement(indent, names, depth)

    def statement(self, indent, names, depth):
        r = self.rng
        kind = r.below(14 if depth < 3 else 6)
        if kind < 2:
            name = self.name()
            self.emit(indent, f"let {name} = {self.expression(names)}")
            names.append(name)
        elif kind == 2:
            self.emit(indent, f"{r.pick(names)} = {self.expression(names)}")
        elif kind == 3:
            op = r.pick(["+=", "-=", "*=", "/="])
            self.emit(indent, f"{r.pick(names)} {op} {self.expression(names, 2)}")
        elif kind == 4:
            self.emit(indent, f"print({self.expression(names)}, {self.expression(names, 2)})")
        elif kind == 5:
            self.emit(indent, self.call(names, 1))
        elif kind in (6, 7):
            self.emit(indent, f"if {self.condition(names)} {{")
            self.block(indent + 1, names, depth + 1)
            if r.chance(50):
                self.emit(indent, "} else {")
                self.block(indent + 1, names, depth + 1)
            self.emit(indent, "}")
        elif kind == 8:
            counter = r.pick(["i", "j", "k", "n"])
            self.emit(indent, f"let {counter} = 0")
            self.emit(indent, f"while {counter} < {r.pick(names)} {{")
            self.block(indent + 1, names + [counter], depth + 1)
            self.emit(indent + 1, f"{counter} += 1")
            self.emit(indent, "}")
        elif kind == 9:
            var = r.pick(["x", "y", "item", "entry", "cell"])
            source = f"0..{r.below(100)}" if r.chance(50) else r.pick(names)
            self.emit(indent, f"for {var} in {source} {{")
            self.block(indent + 1, names + [var], depth + 1)
            if r.chance(20):
                self.emit(indent + 1, r.pick(["break", "continue"]))
            self.emit(indent, "}")
        elif kind == 10:
            self.emit(indent, f"match {r.pick(names)} {{")
            for _ in range(1 + r.below(4)):
                self.emit(indent + 1, f"{self.literal()} => {{ {self.call(names, 2)} }}")
            self.emit(indent + 1, f"_ => {self.expression(names, 2)}")
            self.emit(indent, "}")
        elif kind == 11:
            self.emit(indent, "try {")
            self.block(indent + 1, names, depth + 1)
            self.emit(indent, "} catch problem {")
            self.emit(indent + 1, 'print("failed: " + problem)')
            self.emit(indent, "}")
        elif kind == 12:
            self.emit(indent, f"# {r.pick(VERBS)} the {r.pick(WORDS)} before the next "
                              f"{r.pick(WORDS)}")
        else:
            self.emit(indent, f"return {self.expression(names)}")

    def function(self):
        r = self.rng
        name = f"{r.pick(VERBS)}_{r.pick(WORDS)}_{len(self.functions)}"
        params = [r.pick(WORDS) + str(i) for i in range(r.below(4))]
        if r.chance(30):
            self.emit(0, f"/* {name}: {r.pick(VERBS)}s every {r.pick(WORDS)} of the "
                         f"{r.pick(WORDS)}\n   and keeps the {r.pick(WORDS)} in step. */")
        self.emit(0, f"def {name}({', '.join(params)}) {{")
        self.block(1, params + ["config", "state"], 0)
        self.emit(1, f"return {self.expression(params + ['state'], 1)}")
        self.emit(0, "}")
        self.emit(0, "")
        self.functions.append((name, len(params)))

    def globals(self):
        r = self.rng
        self.emit(0, f"let config = {{width: {r.below(2000)}, height: {r.below(2000)}, "
                     f"title: \"{r.pick(TEXTS)}\", scale: 1.5}}")
        self.emit(0, f"let state = [{', '.join(self.literal() for _ in range(6))}]")
        self.emit(0, "")


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    limit = int(megabytes * 1024 * 1024)
    writer = Writer(Random(2026))
    writer.globals()
    size = 0
    while size < limit:
        before = len(writer.lines)
        if writer.rng.chance(5):
            writer.globals()
        writer.function()
        size += sum(len(line) + 1 for line in writer.lines[before:])
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(writer.lines) + "\n")


if __name__ == "__main__":
    main()
