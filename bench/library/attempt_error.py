import time
x = 1
t0 = time.perf_counter()
for i in range(1, 1000001):
    try:
        r = x / 0
    except Exception:
        r = None
print(time.perf_counter() - t0)
