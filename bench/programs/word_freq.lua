-- Word frequencies over a generated text of 300,000 words.

local syllables = { "ka", "lo", "mi", "ne", "ru", "sa", "to", "vi" }
local seed = 42
local function random_below(n)
  seed = (seed * 75 + 74) % 65537
  return seed % n
end

local parts = {}
for i = 1, 300000 do
  for _ = 1, 1 + random_below(3) do
    parts[#parts + 1] = syllables[1 + random_below(8)]
  end
  parts[#parts + 1] = (i % 12 == 0) and "\n" or " "
end
local text = table.concat(parts)

local counts, distinct, total = {}, 0, 0
for word in text:gmatch("%a+") do
  total = total + 1
  local n = counts[word]
  if n then counts[word] = n + 1 else counts[word] = 1; distinct = distinct + 1 end
end
print(total .. " " .. distinct)
for _, word in ipairs({ "ka", "lomi", "satovi", "vivivi" }) do
  print(word .. " " .. tostring(counts[word]))
end
