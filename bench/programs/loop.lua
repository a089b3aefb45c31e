local i = 0
local total = 0
while i < 20000000 do
  total = total + i
  i = i + 1
end
print(total)
