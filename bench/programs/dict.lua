local function area(r)
  return r.width * r.height + r.depth
end

local box = {width = 3, height = 4, depth = 5}
local total = 0
local i = 0
while i < 1000000 do
  total = total + area(box)
  i = i + 1
end
print(total)
