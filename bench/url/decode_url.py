import time
from urllib.parse import unquote, urlsplit

urls = [
    f"https://user{i}@www.example{i % 97}.com:{8000 + i % 1000}"
    f"/docs/section-{i % 13}/page%20{i}.html?q={i}&lang=en#part-{i % 7}"
    for i in range(1, 100001)
]
t0 = time.perf_counter()
for u in urls:
    p = urlsplit(u)
    parts = (p.scheme, unquote(p.username or ""), p.hostname, p.port, unquote(p.path), unquote(p.query), unquote(p.fragment))
print(time.perf_counter() - t0)
