local lines = {}
for i = 1, 200 do
  lines[#lines + 1] = string.format('{name = "item-%d", value = %d, ratio = %d.25, tags = {"alpha", "beta", "gamma"}, flag = true, when = nil},\n', i, i * 1000, i)
end
local chunk = table.concat(lines)
local parts, size = {}, 0
while size < 50000000 do
  parts[#parts + 1] = chunk
  size = size + #chunk
end
local src = "return {" .. table.concat(parts) .. "}"
local t = os.clock()
local value = assert(load(src))()
local dt = os.clock() - t
print(string.format("%.1f MB/s", #src / dt / 1e6))
