-- Word frequencies: writes a text of 300,000 words drawn with a skew from a small vocabulary
-- (some in capitals), splits it, counts each word in lower case, and prints the ten most
-- frequent words (ties in order of first appearance).
local WORDS = 300000
local VOCABULARY = {
  "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be",
  "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have",
  "an", "had", "they", "you", "were", "their", "one", "all", "we", "can", "her", "has",
  "there",
}
local seed = 1

local function rand(n)
  seed = (seed * 1103515245 + 12345) % 2147483648
  return seed // 65536 % n
end

local function make_text()
  local size = #VOCABULARY
  local words = {}
  for i = 1, WORDS do
    local word = VOCABULARY[rand(size) * rand(size) // size + 1]
    if rand(8) == 0 then word = word:upper() end
    words[i] = word
  end
  return table.concat(words, " ")
end

local counts, first, order = {}, {}, {}
for word in make_text():gmatch("[^ ]+") do
  word = word:lower()
  local count = counts[word]
  if count == nil then
    order[#order + 1] = word
    first[word] = #order
    count = 0
  end
  counts[word] = count + 1
end
print("distinct " .. #order)
table.sort(order, function(a, b)
  if counts[a] ~= counts[b] then return counts[a] > counts[b] end
  return first[a] < first[b]
end)
for i = 1, 10 do print(order[i] .. " " .. counts[order[i]]) end
