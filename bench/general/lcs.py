# Longest common subsequence of two 1500-letter strands over A, C, G, T drawn from a fixed
# pseudo-random sequence: fills the whole table, then walks back through it to spell out one
# longest common subsequence; prints its length and its first 60 letters.
LENGTH = 1500
LETTERS = ["A", "C", "G", "T"]
seed = 11


def rand(n):
    global seed
    seed = (seed * 1103515245 + 12345) % 2147483648
    return seed // 65536 % n


def strand():
    return "".join(LETTERS[rand(4)] for _ in range(LENGTH))


def lcs_table(a, b):
    table = [[0] * (len(b) + 1)]
    for i in range(1, len(a) + 1):
        above = table[i - 1]
        row = [0]
        for j in range(1, len(b) + 1):
            if a[i - 1] == b[j - 1]:
                row.append(above[j - 1] + 1)
            elif above[j] >= row[j - 1]:
                row.append(above[j])
            else:
                row.append(row[j - 1])
        table.append(row)
    return table


def walk_back(table, a, b):
    i = len(a)
    j = len(b)
    common = ""
    while i > 0 and j > 0:
        if a[i - 1] == b[j - 1]:
            common = a[i - 1] + common
            i -= 1
            j -= 1
        elif table[i - 1][j] >= table[i][j - 1]:
            i -= 1
        else:
            j -= 1
    return common


def main():
    a = strand()
    b = strand()
    table = lcs_table(a, b)
    common = walk_back(table, a, b)
    print("length " + str(table[len(a)][len(b)]))
    print(common[:60])


main()
