-- Longest common subsequence of two 1500-letter strands over A, C, G, T drawn from a fixed
-- pseudo-random sequence: fills the whole table, then walks back through it to spell out one
-- longest common subsequence; prints its length and its first 60 letters.
local LENGTH = 1500
local LETTERS = {"A", "C", "G", "T"}
local seed = 11

local function rand(n)
  seed = (seed * 1103515245 + 12345) % 2147483648
  return seed // 65536 % n
end

local function strand()
  local letters = {}
  for i = 1, LENGTH do letters[i] = LETTERS[rand(4) + 1] end
  return table.concat(letters)
end

local function lcs_table(a, b)
  local n, m = #a, #b
  local table_ = {}
  local first = {}
  for j = 0, m do first[j] = 0 end
  table_[0] = first
  for i = 1, n do
    local above = table_[i - 1]
    local row = {[0] = 0}
    local ai = a:byte(i)
    for j = 1, m do
      if ai == b:byte(j) then
        row[j] = above[j - 1] + 1
      elseif above[j] >= row[j - 1] then
        row[j] = above[j]
      else
        row[j] = row[j - 1]
      end
    end
    table_[i] = row
  end
  return table_
end

local function walk_back(t, a, b)
  local i, j = #a, #b
  local common = ""
  while i > 0 and j > 0 do
    if a:byte(i) == b:byte(j) then
      common = a:sub(i, i) .. common
      i, j = i - 1, j - 1
    elseif t[i - 1][j] >= t[i][j - 1] then
      i = i - 1
    else
      j = j - 1
    end
  end
  return common
end

local a = strand()
local b = strand()
local t = lcs_table(a, b)
local common = walk_back(t, a, b)
print("length " .. t[#a][#b])
print(common:sub(1, 60))
