def main():
    a = []
    i = 0
    while i < 1000000:
        a.append(i)
        i += 1
    print(len(a))
    print(a[999999])


main()
