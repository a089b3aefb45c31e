def main():
    parts = []
    i = 0
    while i < 25000:
        parts.append("the quick brown fox jumps over the lazy dog")
        i += 1
    text = "".join(p + " " for p in parts)
    words = text.split(" ")
    foxes = 0
    for w in words:
        if "fox" in w:
            foxes += 1
    print(len(words))
    print(foxes)
    print(len(text.upper()))


main()
