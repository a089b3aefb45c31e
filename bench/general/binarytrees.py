# Binary trees: builds perfect binary trees of several depths (a node is a pair of subtrees, a
# leaf is empty), counts their nodes, and keeps one long-lived tree through it all.
MAX_DEPTH = 14


def make(depth):
    if depth == 0:
        return ()
    return (make(depth - 1), make(depth - 1))


def check(tree):
    if not tree:
        return 1
    return 1 + check(tree[0]) + check(tree[1])


def main():
    print("stretch", MAX_DEPTH + 1, check(make(MAX_DEPTH + 1)))
    long_lived = make(MAX_DEPTH)
    for depth in range(4, MAX_DEPTH + 1, 2):
        iterations = 2 ** (MAX_DEPTH - depth + 4)
        total = 0
        for _ in range(iterations):
            total += check(make(depth))
        print(iterations, depth, total)
    print("long lived", MAX_DEPTH, check(long_lived))


main()
