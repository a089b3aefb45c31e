-- An arithmetic-expression evaluator: generates integer expressions with + - * and parentheses
-- from a fixed pseudo-random sequence, then tokenizes and evaluates each one by recursive
-- descent; prints a few expressions with their values and the sum of all values.
local COUNT = 30000
local OPS = {"+", "-", "*"}
local seed = 42

local function rand(n)
  seed = (seed * 1103515245 + 12345) % 2147483648
  return seed // 65536 % n
end

local function generate(depth)
  local r = rand(10)
  if depth == 0 or r < 3 then return tostring(rand(13)) end
  if r == 3 then return "-" .. generate(depth - 1) end
  local op = OPS[rand(3) + 1]
  local left = generate(depth - 1)
  local right = generate(depth - 1)
  if rand(2) == 0 then return "(" .. left .. " " .. op .. " " .. right .. ")" end
  return left .. " " .. op .. " " .. right
end

local function tokenize(text)
  local tokens = {}
  local number = -1
  for i = 1, #text do
    local b = text:byte(i)
    if b >= 48 and b <= 57 then
      if number < 0 then number = 0 end
      number = number * 10 + b - 48
    else
      if number >= 0 then
        tokens[#tokens + 1] = number
        number = -1
      end
      if b ~= 32 then tokens[#tokens + 1] = string.char(b) end
    end
  end
  if number >= 0 then tokens[#tokens + 1] = number end
  tokens[#tokens + 1] = "end"
  return tokens
end

local tokens, pos

local expression

local function factor()
  local t = tokens[pos]
  pos = pos + 1
  if t == "(" then
    local value = expression()
    pos = pos + 1
    return value
  end
  if t == "-" then return -factor() end
  return t
end

local function term()
  local value = factor()
  while tokens[pos] == "*" do
    pos = pos + 1
    value = value * factor()
  end
  return value
end

expression = function()
  local value = term()
  local t = tokens[pos]
  while t == "+" or t == "-" do
    pos = pos + 1
    local right = term()
    if t == "+" then value = value + right else value = value - right end
    t = tokens[pos]
  end
  return value
end

local total = 0
for i = 0, COUNT - 1 do
  local text = generate(4)
  tokens, pos = tokenize(text), 1
  local value = expression()
  total = total + value
  if i % 6000 == 0 then print(text .. " = " .. value) end
end
print("sum " .. total)
