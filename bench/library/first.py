import time
b = [1, 2, 3]
t0 = time.perf_counter()
for _ in range(1000000):
    r = b[0]
print(time.perf_counter() - t0)
