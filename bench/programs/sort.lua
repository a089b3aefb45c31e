local function quicksort(items)
  if #items < 2 then return items end
  local pivot = items[1]
  local less, more = {}, {}
  for i = 2, #items do
    local v = items[i]
    if v < pivot then less[#less + 1] = v else more[#more + 1] = v end
  end
  local sorted = quicksort(less)
  sorted[#sorted + 1] = pivot
  for _, v in ipairs(quicksort(more)) do sorted[#sorted + 1] = v end
  return sorted
end

local seed = 42
local data = {}
for _ = 1, 100000 do
  seed = (seed * 1103515245 + 12345) % 2147483648
  data[#data + 1] = seed
end
local result = quicksort(data)
print(result[1])
print(result[50001])
print(result[100000])
