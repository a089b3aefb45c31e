# Largest singular value of the infinite matrix A(i, j) = 1 / ((i + j)(i + j + 1) / 2 + i + 1),
# cut to N by N, by ten rounds of the power method; prints the norm in units of 1e-9.
import math

N = 250


def a(i, j):
    return 1.0 / ((i + j) * (i + j + 1) // 2 + i + 1)


def times(u):
    v = []
    for i in range(N):
        s = 0.0
        for j in range(N):
            s += a(i, j) * u[j]
        v.append(s)
    return v


def times_transposed(u):
    v = []
    for i in range(N):
        s = 0.0
        for j in range(N):
            s += a(j, i) * u[j]
        v.append(s)
    return v


def main():
    u = [1.0] * N
    v = u
    for _ in range(10):
        v = times_transposed(times(u))
        u = times_transposed(times(v))
    vbv = 0.0
    vv = 0.0
    for i in range(N):
        vbv += u[i] * v[i]
        vv += v[i] * v[i]
    print(math.floor(math.sqrt(vbv / vv) * 1000000000.0 + 0.5))


main()
