import time
t0 = time.perf_counter()
for i in range(1, 1000001):
    r = "".join(["item-", str(i)])
print(time.perf_counter() - t0)
