def main():
    i = 0
    total = 0
    while i < 20000000:
        total = total + i
        i = i + 1
    print(total)


main()
