import time
from engine import reactor, react

rs = [reactor(v=0) for _ in range(1000)]
for src, dst in zip(rs, rs[1:]):
    react((lambda src, dst: lambda: setattr(dst, "v", src.v + 1))(src, dst), [(src, "v")])
t0 = time.perf_counter()
for _ in range(20):
    rs[0].v = rs[0].v + 1
print(time.perf_counter() - t0)
assert rs[-1].v == 20 + 999
