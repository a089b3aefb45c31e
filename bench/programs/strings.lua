local parts = {}
for i = 1, 25000 do
  parts[#parts + 1] = "the quick brown fox jumps over the lazy dog "
end
local text = table.concat(parts)
local words = {}
local start = 1
while true do
  local s, e = string.find(text, " ", start, true)
  if not s then
    words[#words + 1] = string.sub(text, start)
    break
  end
  words[#words + 1] = string.sub(text, start, s - 1)
  start = e + 1
end
local foxes = 0
for _, w in ipairs(words) do
  if string.find(w, "fox", 1, true) then foxes = foxes + 1 end
end
print(#words)
print(foxes)
print(#string.upper(text))
