-- Fannkuch: for every permutation of 1..N, count the prefix reversals ("pancake flips") until
-- 1 comes first; prints the checksum of the counts and the largest count.
local N = 9

local function fannkuch(n)
  local perm1, perm, count = {}, {}, {}
  for i = 1, n do perm1[i] = i - 1; count[i] = 0 end
  local max_flips, checksum, sign = 0, 0, 1
  local r = n
  while true do
    while r ~= 1 do
      count[r] = r
      r = r - 1
    end
    for i = 1, n do perm[i] = perm1[i] end
    local flips = 0
    local k = perm[1]
    while k ~= 0 do
      local lo, hi = 1, k + 1
      while lo < hi do
        perm[lo], perm[hi] = perm[hi], perm[lo]
        lo, hi = lo + 1, hi - 1
      end
      flips = flips + 1
      k = perm[1]
    end
    if flips > max_flips then max_flips = flips end
    checksum = checksum + sign * flips
    sign = -sign
    while true do
      if r == n then return checksum, max_flips end
      local first = perm1[1]
      for i = 1, r do perm1[i] = perm1[i + 1] end
      perm1[r + 1] = first
      count[r + 1] = count[r + 1] - 1
      if count[r + 1] > 0 then break end
      r = r + 1
    end
  end
end

local checksum, max_flips = fannkuch(N)
print(checksum)
print("Pfannkuchen(" .. N .. ") = " .. max_flips)
