import sys
import time
replacement = sys.argv[1]
text = ("x" * 994 + "needle") * 10000
t0 = time.perf_counter()
text = text.replace("needle", replacement)
t = time.perf_counter() - t0
assert text.count(replacement) == 10000
print(t)
