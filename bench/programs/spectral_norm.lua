-- Spectral norm, n = 300.

local function eval_a(i, j)
  return 1.0 / ((i + j) * (i + j + 1) / 2 + i + 1)
end

local function times(u)
  local n, v = #u, {}
  for i = 1, n do
    local sum = 0.0
    for j = 1, n do sum = sum + eval_a(i - 1, j - 1) * u[j] end
    v[i] = sum
  end
  return v
end

local function times_transposed(u)
  local n, v = #u, {}
  for i = 1, n do
    local sum = 0.0
    for j = 1, n do sum = sum + eval_a(j - 1, i - 1) * u[j] end
    v[i] = sum
  end
  return v
end

local function times_at_a(u)
  return times_transposed(times(u))
end

local n = 300
local u, v = {}, nil
for i = 1, n do u[i] = 1.0 end
for _ = 1, 10 do
  v = times_at_a(u)
  u = times_at_a(v)
end
local vbv, vv = 0.0, 0.0
for i = 1, n do
  vbv = vbv + u[i] * v[i]
  vv = vv + v[i] * v[i]
end
print(math.floor(1e9 * math.sqrt(vbv / vv) + 0.5))
