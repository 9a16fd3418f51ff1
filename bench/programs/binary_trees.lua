-- Binary trees, depth 15.

local function bottom_up(depth)
  if depth > 0 then
    return { bottom_up(depth - 1), bottom_up(depth - 1) }
  end
  return {}
end

local function check(tree)
  if tree[1] then
    return 1 + check(tree[1]) + check(tree[2])
  end
  return 1
end

local min_depth, max_depth = 4, 15
local stretch = max_depth + 1
print("stretch tree of depth " .. stretch .. " check: " .. check(bottom_up(stretch)))
local long_lived = bottom_up(max_depth)
for depth = min_depth, max_depth, 2 do
  local iterations = 1 << (max_depth - depth + min_depth)
  local total = 0
  for _ = 1, iterations do
    total = total + check(bottom_up(depth))
  end
  print(iterations .. " trees of depth " .. depth .. " check: " .. total)
end
print("long lived tree of depth " .. max_depth .. " check: " .. check(long_lived))
