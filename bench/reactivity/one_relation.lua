-- 100k changes through one relation, after N records of other reactors
-- (N the argument, 0 by default).
package.path = arg[0]:match("(.*/)") .. "?.lua;" .. package.path
local R = require("engine")
for _ = 1, tonumber(arg[1] or "0") do
	local o = R.reactor({x = 0, y = 0})
	R.react(function() o.y = o.x + 1 end, {{o, "x"}})
end
local r = R.reactor({a = 0, b = 0})
R.react(function() r.b = r.a * 10 end, {{r, "a"}})
local t0 = os.clock()
for i = 1, 100000 do r.a = i end
print(os.clock() - t0)
assert(r.b == 1000000)
