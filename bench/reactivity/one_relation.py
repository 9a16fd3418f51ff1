"""100k changes through one relation, after N records of other reactors
(N the argument, 0 by default)."""
import sys
import time
from engine import reactor, react


def unrelated(o):
    react(lambda: setattr(o, "y", o.x + 1), [(o, "x")])


for _ in range(int(sys.argv[1]) if len(sys.argv) > 1 else 0):
    unrelated(reactor(x=0, y=0))
r = reactor(a=0, b=0)
react(lambda: setattr(r, "b", r.a * 10), [(r, "a")])
t0 = time.perf_counter()
for i in range(1, 100001):
    r.a = i
print(time.perf_counter() - t0)
assert r.b == 1000000
