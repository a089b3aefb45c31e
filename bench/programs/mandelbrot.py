def escapes(cr, ci):
    zr = 0.0
    zi = 0.0
    n = 0
    while n < 50:
        t = zr * zr - zi * zi + cr
        zi = 2.0 * zr * zi + ci
        zr = t
        if zr * zr + zi * zi > 4.0:
            return True
        n += 1
    return False


def main():
    inside = 0
    for y in range(400):
        for x in range(400):
            if not escapes(-2.0 + x * 0.0075, -1.5 + y * 0.0075):
                inside += 1
    print(inside)


main()
