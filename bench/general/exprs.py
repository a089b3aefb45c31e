# An arithmetic-expression evaluator: generates integer expressions with + - * and parentheses
# from a fixed pseudo-random sequence, then tokenizes and evaluates each one by recursive
# descent; prints a few expressions with their values and the sum of all values.
COUNT = 30000
OPS = ["+", "-", "*"]
seed = 42


def rand(n):
    global seed
    seed = (seed * 1103515245 + 12345) % 2147483648
    return seed // 65536 % n


def generate(depth):
    r = rand(10)
    if depth == 0 or r < 3:
        return str(rand(13))
    if r == 3:
        return "-" + generate(depth - 1)
    op = OPS[rand(3)]
    left = generate(depth - 1)
    right = generate(depth - 1)
    if rand(2) == 0:
        return "(" + left + " " + op + " " + right + ")"
    return left + " " + op + " " + right


def tokenize(text):
    tokens = []
    number = -1
    for c in text:
        if "0" <= c <= "9":
            if number < 0:
                number = 0
            number = number * 10 + ord(c) - 48
        else:
            if number >= 0:
                tokens.append(number)
                number = -1
            if c != " ":
                tokens.append(c)
    if number >= 0:
        tokens.append(number)
    tokens.append("end")
    return tokens


class Parser:
    def __init__(self, tokens):
        self.tokens = tokens
        self.pos = 0

    def next(self):
        token = self.tokens[self.pos]
        self.pos += 1
        return token

    def expression(self):
        value = self.term()
        t = self.tokens[self.pos]
        while t == "+" or t == "-":
            self.pos += 1
            right = self.term()
            if t == "+":
                value = value + right
            else:
                value = value - right
            t = self.tokens[self.pos]
        return value

    def term(self):
        value = self.factor()
        while self.tokens[self.pos] == "*":
            self.pos += 1
            value = value * self.factor()
        return value

    def factor(self):
        t = self.next()
        if t == "(":
            value = self.expression()
            self.next()
            return value
        if t == "-":
            return -self.factor()
        return t


def main():
    total = 0
    for i in range(COUNT):
        text = generate(4)
        value = Parser(tokenize(text)).expression()
        total += value
        if i % 6000 == 0:
            print(text + " = " + str(value))
    print("sum " + str(total))


main()
