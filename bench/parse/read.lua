local f = assert(io.open(os.getenv("PARSE_CORPUS"), "rb"))
local t = f:read("a")
f:close()
print(#t)
