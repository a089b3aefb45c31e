def area(r):
    return r["width"] * r["height"] + r["depth"]


def main():
    box = {"width": 3, "height": 4, "depth": 5}
    total = 0
    i = 0
    while i < 1000000:
        total = total + area(box)
        i += 1
    print(total)


main()
