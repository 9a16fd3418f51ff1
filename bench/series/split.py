import time
text = ",".join(["word"] * 1500000)
t0 = time.perf_counter()
parts = text.split(",")
t = time.perf_counter() - t0
assert len(parts) == 1500000
print(t)
