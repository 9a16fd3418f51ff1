-- The relation engine of the Vyn library, ported to Lua 5.4 for the
-- reactivity benchmarks: the same flat record table indexed by reactor, the
-- same queue of (reactor, reaction, target, done) entries drained newest
-- first, and the same pending test that ends cycles. Reactions are
-- functions; a target is nil or {object, field}.
local M = {relations = {}, queue = {}, index = {}, eat_events = true, debug = false}

function M.add_relation(obj, word, reaction, target)
	local rel = M.relations
	local offsets = M.index[obj]
	if not offsets then offsets = {}; M.index[obj] = offsets end
	for _, off in ipairs(offsets) do
		if rel[off + 1] == word and rel[off + 2] == reaction and rel[off + 3] == target then return nil end
	end
	local n = #rel
	offsets[#offsets + 1] = n + 1
	rel[n + 1], rel[n + 2], rel[n + 3], rel[n + 4] = obj, word, reaction, target or false
	return rel
end

function M.eval(code, safe)
	if not safe then return code() end
	local ok, result = pcall(code)
	if ok then return result end
	print(result)
	print("*** Near: " .. tostring(code))
	return nil
end

function M.eval_reaction(reactor, reaction, target, mark)
	local q = M.queue
	if mark then
		local n = #q
		q[n + 1], q[n + 2], q[n + 3], q[n + 4] = reactor, reaction, target, true
	end
	if target then
		target[1][target[2]] = M.eval(reaction, true)
	else
		M.eval(reaction, true)
	end
end

function M.pending(reactor, reaction)
	local q = M.queue
	for i = 1, #q, 4 do
		if q[i] == reactor and q[i + 1] == reaction then return true end
	end
	return false
end

local function clear(t)
	for i = #t, 1, -1 do t[i] = nil end
end

local function drain()
	local q = M.queue
	while true do
		local n = #q - 3
		if q[n + 3] then
			q[n], q[n + 1], q[n + 2], q[n + 3] = nil, nil, nil, nil
		else
			local size = #q
			M.eval_reaction(q[n], q[n + 1], q[n + 2])
			if size == #q then
				q[n], q[n + 1], q[n + 2], q[n + 3] = nil, nil, nil, nil
			else
				q[n + 3] = true
				goto continue
			end
		end
		if n == 1 then return end
		::continue::
	end
end

function M.check(reactor, field)
	local rel = M.relations
	if #rel == 0 then return end
	local offsets = M.index[reactor]
	if not offsets then return end
	local q = M.queue
	local i = 1
	while i <= #offsets do
		local off = offsets[i]
		i = i + 1
		if field == nil or rel[off + 1] == field then
			local reaction = rel[off + 2]
			if #q == 0 then
				local ok, err = pcall(M.eval_reaction, reactor, reaction, rel[off + 3] or nil, true)
				if ok then ok, err = pcall(drain) end
				clear(q)
				if not ok then error(err, 0) end
			elseif not M.pending(reactor, reaction) then
				local n = #q
				q[n + 1], q[n + 2], q[n + 3], q[n + 4] = reactor, reaction, rel[off + 3], false
			end
		end
	end
end

-- Reactors keep their fields in a table of their own, so that every
-- assignment reaches __newindex and the change handler.
local reactor_meta = {}
reactor_meta.__index = function(self, word) return rawget(self, "fields")[word] end
reactor_meta.__newindex = function(self, word, new)
	local fields = rawget(self, "fields")
	local old = fields[word]
	fields[word] = new
	if M.debug then
		print("-- on-change event --\n\tword :", word, "\n\told  :", type(old), "\n\tnew  :", type(new))
	end
	M.check(self, word)
end

function M.reactor(fields)
	return setmetatable({fields = fields}, reactor_meta)
end

-- sources: the {object, field} pairs the reaction reads.
function M.react(reaction, sources)
	local found = false
	for _, s in ipairs(sources) do
		if getmetatable(s[1]) == reactor_meta then
			M.add_relation(s[1], s[2], reaction, nil)
			found = true
		end
	end
	if found then
		M.eval(reaction)
		return reaction
	end
	return nil
end

return M
