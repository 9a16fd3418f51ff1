-- Mandelbrot set, 400 x 400, to a binary PBM.

local size, limit = 400, 50
local out = { string.format("P4\n%d %d\n", size, size) }
for y = 0, size - 1 do
  local ci = 2.0 * y / size - 1.0
  local bits, bit_count = 0, 0
  for x = 0, size - 1 do
    local cr = 2.0 * x / size - 1.5
    local zr, zi, tr, ti = 0.0, 0.0, 0.0, 0.0
    local i = 0
    while i < limit and tr + ti <= 4.0 do
      zi = 2.0 * zr * zi + ci
      zr = tr - ti + cr
      tr = zr * zr
      ti = zi * zi
      i = i + 1
    end
    bits = bits * 2
    if tr + ti <= 4.0 then bits = bits + 1 end
    bit_count = bit_count + 1
    if bit_count == 8 then
      out[#out + 1] = string.char(bits)
      bits, bit_count = 0, 0
    end
  end
  if bit_count > 0 then out[#out + 1] = string.char(bits << (8 - bit_count)) end
end
local f = assert(io.open("mandelbrot.pbm", "wb"))
f:write(table.concat(out))
f:close()
print(size .. " " .. limit .. " " .. #table.concat(out))
