import json
import time

chunk = "".join(
    f'{{"name": "item-{i}", "value": {i * 1000}, "ratio": {i}.25, "tags": ["alpha", "beta", "gamma"], "flag": true, "when": null}},\n'
    for i in range(1, 201)
)
parts = []
size = 0
while size < 50_000_000:
    parts.append(chunk)
    size += len(chunk)
src = "[" + "".join(parts) + "0]"
t = time.perf_counter()
value = json.loads(src)
dt = time.perf_counter() - t
print(f"{len(src) / dt / 1e6:.1f} MB/s")
