-- Fannkuch-redux, n = 9.

local function fannkuch(n)
  local perm, perm1, count = {}, {}, {}
  for i = 1, n do perm1[i] = i - 1; count[i] = 0 end
  local max_flips, checksum, perm_count = 0, 0, 0
  local r = n
  while true do
    while r > 1 do count[r] = r; r = r - 1 end
    for i = 1, n do perm[i] = perm1[i] end
    local flips = 0
    local k = perm[1]
    while k ~= 0 do
      local i, j = 1, k + 1
      while i < j do
        perm[i], perm[j] = perm[j], perm[i]
        i, j = i + 1, j - 1
      end
      flips = flips + 1
      k = perm[1]
    end
    if flips > max_flips then max_flips = flips end
    if perm_count % 2 == 0 then checksum = checksum + flips else checksum = checksum - flips end
    perm_count = perm_count + 1
    -- next permutation in the counting order
    while true do
      if r == n then return checksum, max_flips end
      table.insert(perm1, r + 1, table.remove(perm1, 1))
      count[r + 1] = count[r + 1] - 1
      if count[r + 1] > 0 then break end
      r = r + 1
    end
  end
end

local checksum, max_flips = fannkuch(9)
print(checksum)
print("Pfannkuchen(9) = " .. max_flips)
