import json
import os
import time
base = os.environ["LOAD_SAVE_DATA"]
with open(base + ".json", encoding="utf-8") as f:
    data = json.load(f)
t0 = time.perf_counter()
with open(base + ".out.py", "w", encoding="utf-8") as f:
    f.write(repr(data))
print(time.perf_counter() - t0)
