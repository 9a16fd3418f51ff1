local k = {}
for i = 1, 1000000 do k[#k + 1] = tostring(i) end
local m = {}
for _, s in ipairs(k) do m[s] = s end
local n = 0
for _, s in ipairs(k) do if m[s] then n = n + 1 end end
print(n)
