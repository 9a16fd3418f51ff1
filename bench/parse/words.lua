local lpeg = require("lpeg")
local f = assert(io.open(os.getenv("PARSE_CORPUS"), "rb"))
local t = f:read("a")
f:close()
local n = 0
local function count() n = n + 1 end
local space = lpeg.P(" ")
local pattern = (((1 - space) ^ 0 * space) / count) ^ 0
pattern:match(t)
print(n)
