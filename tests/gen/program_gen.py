#!/usr/bin/env python3
"""Random Orvane programs that always terminate and print only run-independent facts.

Every name carries one kind for the whole program (n: Number, x: Float, s: String, b: Boolean,
a: Array, d: Dict, e: any element), so a value read through dynamic scoping still has the kind
its name promises, or is null. Dicts never reach a display form (their order differs per run):
they are read through members, `len` and type tests only. Growth is bounded: appends sit behind
a length test, other string results are cut with `slice`, and a work estimate caps loops, calls
and recursion so that every program ends within a few thousand steps.

Usage: program_gen.py SEED [--hostile]   (writes the program to standard output)
       program_gen.py --corpus DIR COUNT   (writes programs 1 to COUNT into DIR)
"""

import random
import sys

NUMBERS = ["0", "1", "2", "3", "7", "10", "255", "1000003", "4294967296",
           "9223372036854775807", "(-9223372036854775807 - 1)", "-1", "-7", "12345"]
FLOATS = ["0.0", "0.5", "1.5", "2.5", "-2.5", "0.1", "0.2", "3.14159", "1.9", "4.2",
          "100000000000000000000000.0", "0.0000001", "-0.0"]
STRINGS = ['""', '"a"', '"abc"', '"h\u00e9llo"', '"\u03a3\u0391\u03a3 \u03c3\u03a3"',
           '"stra\u00dfe"', '"a,b,,c"', '"x y z"', '"\\t tab\\n"', '"esc \\q \\" \\\\"',
           '"# not a comment"', '"12345"', '"aa"', '","', '" "']
DICT_KEYS = ["k0", "k1", "k2", "name", "val"]
QUOTED_KEYS = ['"k0"', '"k1"', '"name"', '"zz"']

VARS = {
    "num": ["n0", "n1", "n2", "n3"],
    "flt": ["x0", "x1", "x2"],
    "str": ["s0", "s1", "s2"],
    "bool": ["b0", "b1"],
    "arr": ["a0", "a1", "a2"],
    "dict": ["d0", "d1"],
}
SCALAR_KINDS = ["num", "flt", "str", "bool"]
PLAIN_KINDS = SCALAR_KINDS + ["arr", "any"]

# Work limits: a program runs at most about WORK_LIMIT statements.
WORK_LIMIT = 1500
MAX_LOOP = 6
MAX_DEPTH = 6
STRING_CUT = 48
GROWTH_LIMIT = 40


class Function:
    """What a call site needs to know about a generated function."""

    def __init__(self, name, params, ret, depth, cost):
        self.name = name
        self.params = params  # list of (name, kind)
        self.ret = ret
        self.depth = depth  # maximum recursion depth, 0 when not recursive
        self.cost = cost


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.lines = []
        self.indent = 0
        self.mult = 1  # how often the statement being written may run
        self.work = 0  # estimated statements run so far in the current body
        self.functions = []
        self.loop_depth = 0
        self.counter = 0
        self.current = None  # the function whose body is being written
        self.self_called = False
        self.top_level = True

    # ---- output -------------------------------------------------------------------------

    def emit(self, text):
        self.lines.append("  " * self.indent + text)
        self.work += self.mult

    def open_block(self, head):
        self.emit(head + " {")
        self.indent += 1

    def close_block(self, tail="}"):
        self.indent -= 1
        self.lines.append("  " * self.indent + tail)

    def fresh(self, prefix):
        self.counter += 1
        return f"{prefix}{self.counter}"

    def chance(self, p):
        return self.rng.random() < p

    def pick(self, seq):
        return self.rng.choice(seq)

    def can_afford(self, cost):
        return self.work + cost * self.mult <= WORK_LIMIT

    # ---- expressions ---------------------------------------------------------------------

    def literal(self, kind):
        if kind == "num":
            return self.pick(NUMBERS)
        if kind == "flt":
            return self.pick(FLOATS)
        if kind == "str":
            return self.pick(STRINGS)
        if kind == "bool":
            return self.pick(["true", "false"])
        if kind == "arr":
            items = [self.literal(self.pick(SCALAR_KINDS)) for _ in range(self.rng.randint(0, 4))]
            sep = ", " if self.chance(0.8) else " "
            return "[" + sep.join(items) + "]"
        if kind == "dict":
            entries = [f"{self.pick(DICT_KEYS)}: {self.expr(self.pick(PLAIN_KINDS), 1)}"
                       for _ in range(self.rng.randint(0, 4))]
            return "{" + ", ".join(entries) + "}"
        return self.literal(self.pick(SCALAR_KINDS + ["arr"]))

    def var(self, kind):
        if kind == "any":
            return self.pick(["e0", "e1"] if self.chance(0.3) else
                             VARS[self.pick(SCALAR_KINDS + ["arr"])])
        if kind == "num" and self.chance(0.1):
            return self.pick(["i0", "i1"])
        return self.pick(VARS[kind])

    @staticmethod
    def var_names(kind):
        return tuple(VARS[kind] + (["i0", "i1"] if kind == "num" else []))

    def small(self):
        """An integer expression between -15 and 15 (or null), safe as a range bound."""
        return self.pick([str(self.rng.randint(-3, 12)), f"({self.var('num')} % 16)",
                          f"({self.var('flt')} % 16.0)", f"len({self.var('arr')})"])

    def expr(self, kind, depth=0):
        if depth >= 3 or self.chance(0.3):
            return self.var(kind) if self.chance(0.5) else self.literal(kind)
        maker = getattr(self, "expr_" + kind)
        return maker(depth + 1)

    def arg_expr(self, kind, depth):
        """An argument; strings are cut so that recursion cannot double them without end."""
        value = self.expr(kind, depth)
        return f"slice({value}, 0, {STRING_CUT})" if kind == "str" else value

    def call_expr(self, kind, depth):
        """A call of an earlier function returning KIND, when the work limit allows it."""
        choices = [f for f in self.functions if (f.ret == kind or kind == "any")
                   and f is not self.current and self.can_afford(f.cost + 1)]
        if not choices:
            return None
        f = self.pick(choices)
        self.work += f.cost * self.mult
        args = [self.arg_expr(k, depth + 1) for _, k in f.params]
        if f.depth:
            args.insert(0, str(self.rng.randint(0, f.depth)))
        if self.chance(0.15) and args:
            args.pop()  # fewer arguments than parameters
        return f"{f.name}({', '.join(args)})"

    def expr_num(self, d):
        e = lambda: self.expr("num", d)  # noqa: E731
        options = [
            lambda: f"{e()} {self.pick(['+', '-', '*'])} {e()}",
            lambda: f"{e()} {self.pick(['/', '%'])} {self.pick([e(), '0', '-1', '3'])}",
            lambda: f"{e()} ** {self.pick(['0', '1', '2', '3', '63', '64', '-1', e()])}",
            lambda: f"-{e()}",
            lambda: f"({e()})",
            lambda: f"len({self.expr(self.pick(['str', 'arr', 'dict']), d)})",
            lambda: f"{self.pick(['floor', 'ceil', 'round'])}"
                    f"({self.expr(self.pick(['num', 'flt']), d)})",
            lambda: f"abs({e()})",
            lambda: self.call_expr("num", d) or e(),
            lambda: f"{self.var('num')} {self.pick(['+', '*'])} {self.var('flt')}"  # null
                    if self.chance(0.3) else e(),
        ]
        return self.pick(options)()

    def expr_flt(self, d):
        e = lambda: self.expr("flt", d)  # noqa: E731
        r = lambda: self.expr(self.pick(["num", "flt"]), d)  # noqa: E731
        options = [
            lambda: f"{e()} {self.pick(['+', '-', '*', '/', '%', '**'])} {e()}",
            lambda: f"{e()} / {self.pick(['0.0', '-0.0', e()])}",
            lambda: f"-{e()}",
            lambda: f"sqrt({r()})",
            lambda: f"pow({r()}, {r()})",
            lambda: f"{self.pick(['min', 'max'])}({r()}, {r()}"
                    f"{', ' + self.expr('any', d) if self.chance(0.4) else ''})",
            lambda: f"abs({e()})",
            lambda: self.call_expr("flt", d) or e(),
        ]
        return self.pick(options)()

    def expr_str(self, d):
        e = lambda: self.expr("str", d)  # noqa: E731
        options = [
            lambda: f"{e()} + {e()}",
            lambda: f"{self.pick(['upper', 'lower'])}({e()})",
            lambda: f"slice({e()}, {self.small()}, {self.small()})",
            lambda: f"concat({', '.join(self.expr(self.pick(PLAIN_KINDS), d) for _ in range(3))})",
            lambda: f"typeof({self.expr(self.pick(PLAIN_KINDS + ['dict']), d)})",
            lambda: f"concat({self.var('dict')}.{self.pick(DICT_KEYS)})",
            lambda: f"pop(split({e()}, {e()}))",
            lambda: self.call_expr("str", d) or e(),
        ]
        return self.pick(options)()

    def expr_bool(self, d):
        k = self.pick(SCALAR_KINDS)
        options = [
            lambda: f"{self.expr(k, d)} {self.pick(['==', '!=', '<', '>', '<=', '>='])} "
                    f"{self.expr(k if self.chance(0.85) else self.pick(SCALAR_KINDS), d)}",
            lambda: f"{self.expr('bool', d)} {self.pick(['and', 'or'])} {self.expr('bool', d)}",
            lambda: f"{self.pick(['not ', '!'])}{self.expr(self.pick(PLAIN_KINDS), d)}",
            lambda: f"contains({self.expr(self.pick(PLAIN_KINDS), d)}, "
                    f"{self.expr(self.pick(SCALAR_KINDS), d)})",
            lambda: f"{self.pick(['is_number', 'is_string', 'is_array', 'is_dict'])}"
                    f"({self.expr(self.pick(PLAIN_KINDS + ['dict']), d)})",
            lambda: "random() < 1.0" if self.chance(0.5) else "is_number(random_range(1, 10))",
            lambda: self.call_expr("bool", d) or self.expr("bool", d),
        ]
        return self.pick(options)()

    def expr_arr(self, d):
        options = [
            lambda: self.literal("arr"),
            lambda: f"push({self.expr('arr', d)}, {self.expr(self.pick(SCALAR_KINDS), d)})",
            lambda: f"reverse({self.expr('arr', d)})",
            lambda: f"split({self.expr('str', d)}, {self.expr('str', d)})",
            lambda: f"{self.small()}..{self.small()}",
            lambda: f"[{self.expr('any', d)}, {self.expr(self.pick(SCALAR_KINDS), d)}]",
            lambda: self.call_expr("arr", d) or self.expr("arr", d),
        ]
        return self.pick(options)()

    def expr_dict(self, d):
        return self.literal("dict") if self.chance(0.7) else self.var("dict")

    def expr_any(self, d):
        options = [
            lambda: self.expr(self.pick(SCALAR_KINDS + ["arr"]), d),
            lambda: f"{self.var('arr')}[{self.small()}]",
            lambda: f"{self.var('dict')}[{self.pick(QUOTED_KEYS)}]",
            lambda: f"pop({self.expr('arr', d)})",
            lambda: f"{self.expr('str', d)} + {self.expr('num', d)}",  # null
            lambda: f"{self.pick(['rect', 'circle', 'color'])}"
                    f"({', '.join(self.expr('num', d) for _ in range(4))})",
            lambda: "triangle(" + ", ".join(self.expr(self.pick(["num", "flt"]), d)
                                            for _ in range(6)) + ")",
            lambda: self.pick(["null_name", "is_open()", "window_width()", "print()"]),
            lambda: self.call_expr("any", d) or self.var("any"),
        ]
        return self.pick(options)()

    # ---- statements ----------------------------------------------------------------------

    def assign_stmt(self):
        kind = self.pick(list(VARS))
        name = self.var(kind)
        value = self.expr(kind)
        if kind == "str" and not value.startswith('"'):
            value = f"slice({value}, 0, {STRING_CUT})"
        keyword = "let " if self.chance(0.4) else ""
        self.emit(f"{keyword}{name} = {value}{self.semi()}")

    def growth_stmt(self):
        """Appends that a faster evaluator may do in place, behind a length test."""
        if self.chance(0.5):
            name = self.var("str")
            piece = self.pick([self.literal("str"), f"slice({self.var('str')}, 0, 4)"])
            body = (f"{name} = {name} + {piece}" if self.chance(0.6) else f"{name} += {piece}")
        else:
            name = self.var("arr")
            body = f"{name} = push({name}, {self.expr(self.pick(SCALAR_KINDS), 1)})"
        self.open_block(f"if len({name}) < {GROWTH_LIMIT}")
        self.emit(body)
        self.close_block()

    def compound_stmt(self):
        kind = self.pick(["num", "num", "flt", "str", "bool"])
        name = self.var(kind)
        op = self.pick(["+=", "-=", "*=", "/="])
        if kind == "str":
            value = self.literal("num") if self.chance(0.2) else self.literal("str")
            self.open_block(f"if len({name}) < {GROWTH_LIMIT}")
            self.emit(f"{name} {op} {value}")
            self.close_block()
            return
        value = self.pick([self.expr(kind, 1), "0", "2"]) if kind != "bool" else "true"
        self.emit(f"{name} {op} {value}{self.semi()}")

    def print_stmt(self):
        args = [self.expr(self.pick(PLAIN_KINDS), 0) for _ in range(self.rng.randint(1, 3))]
        if self.chance(0.15):
            k = self.pick(DICT_KEYS)
            args = [f"{self.var('dict')}.{k}", f"len({self.var('dict')})"]
        self.emit(f"print({', '.join(args)}){self.semi()}")

    def semi(self):
        return ";" if self.chance(0.3) else ""

    def if_stmt(self, depth):
        self.open_block(f"if {self.expr(self.pick(PLAIN_KINDS + ['bool']), 0)}")
        self.block(depth + 1, 3)
        if self.chance(0.5):
            self.close_block("} else {")
            self.indent += 1
            self.block(depth + 1, 3)
        self.close_block()

    def loop_body(self, depth, rounds):
        saved = self.mult
        self.mult *= max(1, rounds)
        self.loop_depth += 1
        self.block(depth + 1, 3)
        if self.chance(0.3):
            self.open_block(f"if {self.expr('bool', 1)}")
            self.emit(self.pick(["break", "continue"]))
            self.close_block()
        self.loop_depth -= 1
        self.mult = saved

    def rounds(self):
        limit = min(MAX_LOOP, max(1, (WORK_LIMIT - self.work) // (self.mult * 8)))
        return self.rng.randint(0, limit)

    def while_stmt(self, depth):
        counter = self.fresh("w")
        rounds = self.rounds()
        self.emit(f"let {counter} = 0")
        extra = f" and ({self.expr('bool', 1)})" if self.chance(0.2) else ""
        self.open_block(f"while {counter} < {rounds}{extra}")
        # The counter moves first, so a pending continue cannot keep the loop going.
        self.emit(f"{counter} += 1")
        self.loop_body(depth, rounds)
        self.close_block()

    def for_stmt(self, depth):
        rounds = self.rounds()
        if self.chance(0.5):
            target = self.pick(["i0", "i1"])
            numbers = ", ".join(self.literal("num") for _ in range(rounds))
            iterable = self.pick([
                f"0..{rounds}", f"{-rounds}..0", f"[{numbers}]",
                f"0..({self.var('num')} % {rounds + 1})",
                f"{self.var('flt')} % 2.0..{rounds}", f"{rounds}..{self.var('num')}"])
            if iterable.endswith(self.var_names("num")):
                iterable = f"{rounds}..({iterable.split('..')[1]} % {rounds * 2 + 1})"
        else:
            target = self.pick(["e0", "e1"])
            iterable = self.pick([self.literal("arr"), self.var("arr"), self.var("dict"),
                                  self.var("str"), f"split({self.var('str')}, \"\")"])
            rounds = GROWTH_LIMIT + 60
            if not self.can_afford(rounds * 3):
                iterable = self.literal("arr")
                rounds = 4
        self.open_block(f"for {target} in {iterable}")
        self.loop_body(depth, rounds)
        self.close_block()

    def match_stmt(self, depth):
        kind = self.pick(SCALAR_KINDS + ["any"])
        self.open_block(f"match {self.expr(kind, 1)}")
        # Some matches have only literal patterns, the shape that is searched as a table.
        literals_only = self.chance(0.3)
        for _ in range(self.rng.randint(1, 6 if literals_only else 4)):
            if literals_only:
                pattern = self.literal(self.pick(SCALAR_KINDS))
            else:
                pattern = self.pick([self.literal(self.pick(SCALAR_KINDS)), self.var(kind),
                                     "null_name", self.literal(kind) if kind != "any" else "1"])
            if self.chance(0.5):
                self.emit(f"{pattern} => print({self.expr(self.pick(PLAIN_KINDS), 1)})"
                          f"{self.semi()}")
            else:
                self.open_block(f"{pattern} =>")
                self.block(depth + 1, 2)
                self.close_block()
        if self.chance(0.6):
            self.emit(f"_ => print(\"{self.fresh('arm')}\")")
        self.close_block()

    def try_stmt(self, depth):
        self.open_block("try")
        self.block(depth + 1, 3)
        self.close_block("} catch err {")
        self.indent += 1
        self.emit("print(\"caught\", err)")
        self.close_block()

    def return_stmt(self):
        if self.current is not None:
            value = self.expr(self.current.ret, 1) if self.chance(0.85) else ""
            # A bare return takes the next statement as its value unless a ";" ends it.
            self.emit(f"return {value}{self.semi()}" if value else "return;")
        else:
            self.emit("return;")

    def statement(self, depth):
        weights = [
            (self.assign_stmt, 6), (self.print_stmt, 8), (self.growth_stmt, 2),
            (self.compound_stmt, 3),
        ]
        if depth < 3:
            weights += [(lambda: self.if_stmt(depth), 2), (lambda: self.match_stmt(depth), 1),
                        (lambda: self.try_stmt(depth), 1)]
            if self.can_afford(8):
                weights += [(lambda: self.while_stmt(depth), 2),
                            (lambda: self.for_stmt(depth), 2)]
        if self.loop_depth > 0:
            weights += [(lambda: self.emit(self.pick(["break", "continue"]) + self.semi()), 1)]
        if self.current is not None:
            if self.loop_depth == 0:
                # Ends the function and, left set, the caller's loop.
                weights += [(lambda: self.emit(self.pick(["break", "continue"])), 0.15)]
            weights += [(self.return_stmt, 1),
                        (lambda: self.emit(f"global {self.var(self.pick(list(VARS)))}"), 0.3)]
        total = sum(w for _, w in weights)
        roll = self.rng.uniform(0, total)
        for make, weight in weights:
            roll -= weight
            if roll <= 0:
                make()
                return
        weights[-1][0]()

    def block(self, depth, most):
        for _ in range(self.rng.randint(1, most)):
            if self.work >= WORK_LIMIT:
                return
            self.statement(depth)

    # ---- functions and programs -----------------------------------------------------------

    def function_def(self):
        name = f"f{len(self.functions)}"
        params = [(self.var(k), k) for k in
                  (self.pick(SCALAR_KINDS + ["arr"]) for _ in range(self.rng.randint(0, 3)))]
        params = list(dict(params).items())  # a name at most once
        depth = self.rng.randint(1, MAX_DEPTH) if self.chance(0.4) else 0
        ret = self.pick(SCALAR_KINDS + ["arr"])
        function = Function(name, params, ret, depth, 0)
        saved = (self.work, self.mult, self.current, self.loop_depth)
        self.work, self.mult, self.current, self.loop_depth = 0, 1, function, 0
        names = (["r"] if depth else []) + [p for p, _ in params]
        self.open_block(f"def {name}({', '.join(names)})")
        self.block(2, 4)
        if depth:
            # The only self call: outside any loop and counting the depth down.
            args = ", ".join(["r - 1"] + [self.arg_expr(k, 2) for _, k in params])
            self.open_block("if r > 0")
            call = f"{name}({args})"
            self.emit(self.pick([f"print({call})", f"let {self.var(ret)} = {call}"]))
            self.close_block()
        if self.chance(0.8):
            self.emit(f"return {self.expr(ret, 1)}")
        self.close_block()
        function.cost = (self.work + 2) * (depth + 1)
        self.work, self.mult, self.current, self.loop_depth = saved
        self.work += 1
        if function.cost * 2 <= WORK_LIMIT // 2:
            self.functions.append(function)

    def program(self):
        lines_before_main = []
        with_main = self.chance(0.25)
        # Most names start bound, so that fewer results are null.
        for kind, names in VARS.items():
            for name in names:
                if self.chance(0.85):
                    self.emit(f"let {name} = {self.literal(kind)}")
        for _ in range(self.rng.randint(0, 3)):
            self.emit(f"let {self.var('num')} = {self.expr('num', 1)}")
        for _ in range(self.rng.randint(1, 4)):
            self.function_def()
            if self.chance(0.4):
                self.assign_stmt()
        if with_main:
            self.emit("print(\"never printed\")")
            lines_before_main = self.lines
            self.lines = []
            self.current = Function("main", [], "num", 0, 0)
            self.indent = 1
        self.block(0, 40)
        if self.chance(0.1):
            self.emit(self.pick(["break", "continue"]))
            self.block(0, 3)
        if self.chance(0.15):
            self.emit("return;" if self.current is None else "return 1")
            self.print_stmt()
        if with_main:
            body = self.lines
            self.lines = lines_before_main + ["def main() {"] + body + ["}"]
        return "\n".join(self.lines) + "\n"


def generate(seed):
    return Generator(seed).program()


def write_corpus(directory, count):
    """Writes programs 1 to COUNT into DIRECTORY as fuzzing seeds, keeping files already there."""
    import os
    os.makedirs(directory, exist_ok=True)
    for seed in range(1, count + 1):
        path = os.path.join(directory, f"generated-{seed}.ov")
        if not os.path.exists(path):
            with open(path, "w", encoding="utf-8") as f:
                f.write(generate(seed))


def main(argv):
    if len(argv) >= 4 and argv[1] == "--corpus":
        write_corpus(argv[2], int(argv[3]))
        return 0
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    seed = int(argv[1])
    if "--hostile" in argv[2:]:
        import hostile_gen
        text = hostile_gen.generate(seed)
    else:
        text = generate(seed)
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
