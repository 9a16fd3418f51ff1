-- Lua table operations timed like bench/block_bench.cpp: append of 1M and 10M
-- integers, insert at the head of a 1M-item table, search for the last item,
-- shallow copy of 1M items, 1M deep copies of {1, {2, 3}, {4, {5, 6}}, 7},
-- and table.sort of 1M integers (random, presorted, reversed; not stable), the
-- random ones also through a comparison function.
-- Prints milliseconds per run (microseconds for the head insert).
local MILLION = 1000000

local function best(fn, rounds)
	local least = math.huge
	for _ = 1, rounds or 3 do
		local start = os.clock()
		fn()
		least = math.min(least, os.clock() - start)
	end
	return least
end

local function append(n)
	return function()
		local t = {}
		for i = 1, n do t[#t + 1] = i end
	end
end

local function numbers(pattern)
	local t = {}
	math.randomseed(42)
	for i = 1, MILLION do
		if pattern == "random" then t[i] = math.random(0, 2147483647)
		elseif pattern == "sorted" then t[i] = i
		else t[i] = MILLION - i end
	end
	return t
end

local function deep(v)
	if type(v) ~= "table" then return v end
	local c = {}
	for i = 1, #v do c[i] = deep(v[i]) end
	return c
end

print(string.format("append 1M        %9.1f ms", best(append(MILLION)) * 1e3))
print(string.format("append 10M       %9.1f ms", best(append(10 * MILLION), 1) * 1e3))
local items = numbers("sorted")
local count = 200
local start = os.clock()
for _ = 1, count do table.insert(items, 1, 7) end
print(string.format("insert at head   %9.1f us", (os.clock() - start) / count * 1e6))
items = numbers("sorted")
print(string.format("find last        %9.1f ms", best(function()
	for i = 1, #items do if items[i] == MILLION then return i end end
end) * 1e3))
print(string.format("copy 1M          %9.1f ms", best(function() return table.move(items, 1, #items, 1, {}) end) * 1e3))
local nested = {1, {2, 3}, {4, {5, 6}}, 7}
print(string.format("deep copy x1M    %9.1f ms", best(function()
	for _ = 1, MILLION do deep(nested) end
end, 1) * 1e3))
for _, pattern in ipairs({"random", "sorted", "reversed"}) do
	local data = numbers(pattern)
	print(string.format("sort %-11s %9.1f ms", pattern, best(function()
		local t = table.move(data, 1, #data, 1, {})
		table.sort(t)
	end) * 1e3))
end
local data = numbers("random")
print(string.format("sort comparator  %9.1f ms", best(function()
	local t = table.move(data, 1, #data, 1, {})
	table.sort(t, function(a, b) return a < b end)
end, 1) * 1e3))
