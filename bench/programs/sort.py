import sys

sys.setrecursionlimit(100000)


def quicksort(items):
    if len(items) < 2:
        return items
    pivot = items[0]
    less = []
    same = []
    more = []
    for v in items:
        if v < pivot:
            less.append(v)
        elif v > pivot:
            more.append(v)
        else:
            same.append(v)
    result = quicksort(less)
    result.extend(same)
    result.extend(quicksort(more))
    return result


def main():
    seed = 42
    data = []
    for _ in range(100000):
        seed = (seed * 1103515245 + 12345) % 2147483648
        data.append(seed)
    result = quicksort(data)
    print(result[0])
    print(result[50000])
    print(result[99999])


main()
