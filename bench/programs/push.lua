local a = {}
local i = 0
while i < 1000000 do
  a[#a + 1] = i
  i = i + 1
end
print(#a)
print(a[1000000])
