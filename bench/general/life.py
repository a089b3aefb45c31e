# Conway's game of life on a 96 by 96 torus seeded from a fixed pseudo-random sequence; prints
# the number of live cells every 30 generations.
SIZE = 96
GENERATIONS = 150


def seeded_grid():
    seed = 7
    grid = []
    for _ in range(SIZE):
        row = []
        for _ in range(SIZE):
            seed = (seed * 1103515245 + 12345) % 2147483648
            row.append(1 if seed // 65536 % 3 == 0 else 0)
        grid.append(row)
    return grid


def step(grid):
    new = []
    for y in range(SIZE):
        up = grid[(y + SIZE - 1) % SIZE]
        row = grid[y]
        down = grid[(y + 1) % SIZE]
        new_row = []
        for x in range(SIZE):
            left = (x + SIZE - 1) % SIZE
            right = (x + 1) % SIZE
            n = (up[left] + up[x] + up[right] + row[left] + row[right]
                 + down[left] + down[x] + down[right])
            if n == 3 or (n == 2 and row[x] == 1):
                new_row.append(1)
            else:
                new_row.append(0)
        new.append(new_row)
    return new


def population(grid):
    total = 0
    for row in grid:
        for cell in row:
            total += cell
    return total


def main():
    grid = seeded_grid()
    print("generation 0: " + str(population(grid)))
    for g in range(1, GENERATIONS + 1):
        grid = step(grid)
        if g % 30 == 0:
            print("generation " + str(g) + ": " + str(population(grid)))


main()
