-- Conway's game of life on a 96 by 96 torus seeded from a fixed pseudo-random sequence; prints
-- the number of live cells every 30 generations.
local SIZE = 96
local GENERATIONS = 150

local function seeded_grid()
  local seed = 7
  local grid = {}
  for y = 0, SIZE - 1 do
    local row = {}
    for x = 0, SIZE - 1 do
      seed = (seed * 1103515245 + 12345) % 2147483648
      row[x] = (seed // 65536 % 3 == 0) and 1 or 0
    end
    grid[y] = row
  end
  return grid
end

local function step(grid)
  local new = {}
  for y = 0, SIZE - 1 do
    local up = grid[(y + SIZE - 1) % SIZE]
    local row = grid[y]
    local down = grid[(y + 1) % SIZE]
    local new_row = {}
    for x = 0, SIZE - 1 do
      local left = (x + SIZE - 1) % SIZE
      local right = (x + 1) % SIZE
      local n = up[left] + up[x] + up[right] + row[left] + row[right]
                + down[left] + down[x] + down[right]
      if n == 3 or (n == 2 and row[x] == 1) then new_row[x] = 1 else new_row[x] = 0 end
    end
    new[y] = new_row
  end
  return new
end

local function population(grid)
  local total = 0
  for y = 0, SIZE - 1 do
    local row = grid[y]
    for x = 0, SIZE - 1 do total = total + row[x] end
  end
  return total
end

local grid = seeded_grid()
print("generation 0: " .. population(grid))
for g = 1, GENERATIONS do
  grid = step(grid)
  if g % 30 == 0 then print("generation " .. g .. ": " .. population(grid)) end
end
