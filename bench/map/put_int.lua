local m, c = {}, 0
for i = 1, 1000000 do m[i] = i end
for _ in pairs(m) do c = c + 1 end
print(c)
