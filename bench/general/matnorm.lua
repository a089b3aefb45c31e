-- Largest singular value of the infinite matrix A(i, j) = 1 / ((i + j)(i + j + 1) / 2 + i + 1),
-- cut to N by N, by ten rounds of the power method; prints the norm in units of 1e-9.
local N = 250

local function a(i, j)
  return 1.0 / ((i + j) * (i + j + 1) // 2 + i + 1)
end

local function times(u)
  local v = {}
  for i = 0, N - 1 do
    local s = 0.0
    for j = 0, N - 1 do
      s = s + a(i, j) * u[j + 1]
    end
    v[i + 1] = s
  end
  return v
end

local function times_transposed(u)
  local v = {}
  for i = 0, N - 1 do
    local s = 0.0
    for j = 0, N - 1 do
      s = s + a(j, i) * u[j + 1]
    end
    v[i + 1] = s
  end
  return v
end

local u = {}
for i = 1, N do u[i] = 1.0 end
local v = u
for _ = 1, 10 do
  v = times_transposed(times(u))
  u = times_transposed(times(v))
end
local vbv, vv = 0.0, 0.0
for i = 1, N do
  vbv = vbv + u[i] * v[i]
  vv = vv + v[i] * v[i]
end
print(math.floor(math.sqrt(vbv / vv) * 1000000000.0 + 0.5))
