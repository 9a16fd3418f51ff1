"""Mandelbrot set, 400 x 400, to a binary PBM."""


def main():
    size = 400
    limit = 50
    out = bytearray(b"P4\n%d %d\n" % (size, size))
    for y in range(size):
        ci = 2.0 * y / size - 1.0
        bits = bit_count = 0
        for x in range(size):
            cr = 2.0 * x / size - 1.5
            zr = zi = tr = ti = 0.0
            i = 0
            while i < limit and tr + ti <= 4.0:
                zi = 2.0 * zr * zi + ci
                zr = tr - ti + cr
                tr = zr * zr
                ti = zi * zi
                i += 1
            bits *= 2
            if tr + ti <= 4.0:
                bits += 1
            bit_count += 1
            if bit_count == 8:
                out.append(bits)
                bits = bit_count = 0
        if bit_count > 0:
            out.append(bits << (8 - bit_count))
    with open("mandelbrot.pbm", "wb") as f:
        f.write(out)
    print(size, limit, len(out))


main()
