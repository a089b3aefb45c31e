local function escapes(cr, ci)
  local zr, zi, n = 0.0, 0.0, 0
  while n < 50 do
    local t = zr * zr - zi * zi + cr
    zi = 2.0 * zr * zi + ci
    zr = t
    if zr * zr + zi * zi > 4.0 then return true end
    n = n + 1
  end
  return false
end

local inside = 0
for y = 0, 399 do
  for x = 0, 399 do
    if not escapes(-2.0 + x * 0.0075, -1.5 + y * 0.0075) then inside = inside + 1 end
  end
end
print(inside)
