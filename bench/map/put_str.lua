local k = {}
for i = 1, 1000000 do k[#k + 1] = tostring(i) end
local m, c = {}, 0
for _, s in ipairs(k) do m[s] = s end
for _ in pairs(m) do c = c + 1 end
print(c)
