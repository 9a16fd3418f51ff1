package.path = arg[0]:match("(.*/)") .. "?.lua;" .. package.path
local R = require("engine")
local rs = {}
for i = 1, 1000 do rs[i] = R.reactor({v = 0}) end
for i = 1, 999 do
	local src, dst = rs[i], rs[i + 1]
	R.react(function() dst.v = src.v + 1 end, {{src, "v"}})
end
local t0 = os.clock()
for _ = 1, 20 do rs[1].v = rs[1].v + 1 end
print(os.clock() - t0)
assert(rs[1000].v == 20 + 999)
