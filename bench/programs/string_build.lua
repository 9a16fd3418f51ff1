-- Building a report of 200,000 lines in a string.

local parts = {}
for i = 1, 200000 do
  local label = (i % 3 == 0) and "fizz" or "item"
  parts[#parts + 1] = label .. " " .. i .. ": " .. i * 7 .. " ("
    .. table.concat({ tostring(i % 1000), "of", "1000" }, " ") .. ")\n"
end
local out = table.concat(parts)
local summary = out:sub(1, 40):upper()
print(#out)
print('"' .. summary:gsub("\n", "^/") .. '"')
print('"' .. out:sub(-40):gsub("\n", "^/") .. '"')
