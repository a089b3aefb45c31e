local function quicksort(items)
  if #items < 2 then return items end
  local pivot = items[1]
  local less, same, more = {}, {}, {}
  for _, v in ipairs(items) do
    if v < pivot then less[#less + 1] = v
    elseif v > pivot then more[#more + 1] = v
    else same[#same + 1] = v end
  end
  local sorted = quicksort(less)
  for _, v in ipairs(same) do sorted[#sorted + 1] = v end
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
