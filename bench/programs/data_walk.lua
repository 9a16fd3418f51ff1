-- Walking JSON-like nested records, 5,000 records, 100 passes.

local seed = 7
local function random_below(n)
  seed = (seed * 75 + 74) % 65537
  return seed % n
end

local tag_names = { "red", "green", "blue", "new", "old", "hot" }
local cities = { "Arden", "Brill", "Cove", "Dunmore", "Esk", "Fallow", "Gant", "Holm" }

local records = {}
for id = 1, 5000 do
  local tags = {}
  for _ = 1, random_below(4) do tags[#tags + 1] = tag_names[1 + random_below(6)] end
  local score = random_below(100)
  records[#records + 1] = {
    id = id,
    name = "user" .. id,
    score = score,
    tags = tags,
    address = { city = cities[1 + random_below(8)], zip = 10000 + random_below(90000) },
  }
end

local score_by_city = {}
local hot, zip_sum = 0, 0
for _ = 1, 100 do
  for _, record in ipairs(records) do
    local city = record.address.city
    local score = record.score
    score_by_city[city] = (score_by_city[city] or 0) + score
    for _, tag in ipairs(record.tags) do
      if tag == "hot" then hot = hot + 1 end
    end
    if score > 50 then zip_sum = zip_sum + record.address.zip % 1000 end
  end
end
for _, city in ipairs(cities) do print(city .. " " .. tostring(score_by_city[city])) end
print(hot .. " " .. zip_sum)
