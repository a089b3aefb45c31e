-- Binary trees: builds perfect binary trees of several depths (a node is a pair of subtrees, a
-- leaf is empty), counts their nodes, and keeps one long-lived tree through it all.
local MAX_DEPTH = 14

local function make(depth)
  if depth == 0 then return {} end
  return {make(depth - 1), make(depth - 1)}
end

local function check(tree)
  local left = tree[1]
  if left == nil then return 1 end
  return 1 + check(left) + check(tree[2])
end

print("stretch " .. (MAX_DEPTH + 1) .. " " .. check(make(MAX_DEPTH + 1)))
local long_lived = make(MAX_DEPTH)
for depth = 4, MAX_DEPTH, 2 do
  local iterations = 1 << (MAX_DEPTH - depth + 4)
  local total = 0
  for _ = 1, iterations do
    total = total + check(make(depth))
  end
  print(iterations .. " " .. depth .. " " .. total)
end
print("long lived " .. MAX_DEPTH .. " " .. check(long_lived))
