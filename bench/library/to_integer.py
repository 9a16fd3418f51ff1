import time
s = "12345"
t0 = time.perf_counter()
for _ in range(1000000):
    r = int(s)
print(time.perf_counter() - t0)
