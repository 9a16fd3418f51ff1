-- The peer of bench/sets_bench.cpp: 1M words (100,000 distinct) made unique
-- through a table used as a set, keeping first-occurrence order, and sorted.
-- Prints milliseconds.
local function best(fn, rounds)
	local least = math.huge
	for _ = 1, rounds or 5 do
		local start = os.clock()
		fn()
		least = math.min(least, os.clock() - start)
	end
	return least
end

local words = {}
for i = 1, 1000000 do words[i] = "w" .. (i % 100000) end

local function unique()
	local seen, out = {}, {}
	for i = 1, #words do
		local w = words[i]
		if not seen[w] then seen[w] = true; out[#out + 1] = w end
	end
	return out
end

local function sorted()
	local t = {}
	for i = 1, #words do t[i] = words[i] end
	table.sort(t)
	return t
end

print(string.format("unique table     %9.1f ms", best(unique) * 1e3))
print(string.format("table.sort       %9.1f ms", best(sorted) * 1e3))
