import os.path
import time
paths = [f"/usr/local/../lib/{i}/./pkg//file.txt" for i in range(1, 1000001)]
t0 = time.perf_counter()
for p in paths:
    os.path.split(os.path.normpath(p))
print(time.perf_counter() - t0)
