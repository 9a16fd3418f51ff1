-- Lua 5.4 tables on the workload of bench/hash_bench.cpp: insert 1M string
-- keys ("key:" and (i * 2654435761) mod 2^32) with integer values, then look
-- every key up; prints the best of five runs of each, in ms and keys/s.

local KEYS = 1000000

local keys = {}
for i = 0, KEYS - 1 do keys[i + 1] = "key:" .. ((i * 2654435761) % 4294967296) end

local function best(run)
	local fastest = math.huge
	for _ = 1, 5 do
		local start = os.clock()
		run()
		fastest = math.min(fastest, os.clock() - start)
	end
	return fastest
end

local t = {}

local function insert()
	t = {}
	for i = 1, KEYS do t[keys[i]] = i - 1 end
end

local function lookup()
	local total = 0
	for i = 1, KEYS do total = total + t[keys[i]] end
	return total
end

for _, case in ipairs({ { "insert", insert }, { "lookup", lookup } }) do
	local seconds = best(case[2])
	print(string.format("table %-6s %7.0f ms  %5.2f M keys/s", case[1], seconds * 1000, KEYS / seconds / 1e6))
end
