# Fannkuch: for every permutation of 1..N, count the prefix reversals ("pancake flips") until
# 1 comes first; prints the checksum of the counts and the largest count.
N = 9


def fannkuch(n):
    perm1 = list(range(n))
    count = [0] * n
    max_flips = 0
    checksum = 0
    sign = 1
    r = n
    while True:
        while r != 1:
            count[r - 1] = r
            r -= 1
        perm = perm1[:]
        flips = 0
        k = perm[0]
        while k != 0:
            perm[:k + 1] = perm[k::-1]
            flips += 1
            k = perm[0]
        max_flips = max(max_flips, flips)
        checksum += sign * flips
        sign = -sign
        while True:
            if r == n:
                return checksum, max_flips
            first = perm1[0]
            for i in range(r):
                perm1[i] = perm1[i + 1]
            perm1[r] = first
            count[r] -= 1
            if count[r] > 0:
                break
            r += 1


checksum, max_flips = fannkuch(N)
print(checksum)
print(f"Pfannkuchen({N}) = {max_flips}")
