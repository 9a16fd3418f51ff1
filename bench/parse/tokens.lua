local lpeg = require("lpeg")
local f = assert(io.open(os.getenv("PARSE_CORPUS"), "rb"))
local t = f:read("a")
f:close()
local n = 0
local function count() n = n + 1 end
local letters = lpeg.R("az", "AZ")
local pattern = (letters ^ 1 / count + 1) ^ 0
pattern:match(t)
print(n)
