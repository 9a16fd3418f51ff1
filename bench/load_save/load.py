import json
import os
import time
path = os.environ["LOAD_SAVE_DATA"] + ".json"
t0 = time.perf_counter()
with open(path, encoding="utf-8") as f:
    data = json.load(f)
print(time.perf_counter() - t0)
