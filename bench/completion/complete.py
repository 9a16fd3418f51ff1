"""Peer of complete.vyn: prefix completion over a list of as many names.

Completes 1,000 prefixes of one to three letters over the names of the
builtins, keywords and standard modules' members (cut to the count given),
the way the console does: a case-insensitive prefix filter, a sort and the
common prefix; prints the median and the 95th percentile in milliseconds.
"""
import builtins
import keyword
import os
import string
import sys
import time

count = int(sys.argv[1]) if len(sys.argv) > 1 else 1600
names = list(dict.fromkeys(dir(builtins) + keyword.kwlist + dir(os) + dir(string) + dir(sys) + dir(time)))
while len(names) < count:
    names += [n + "-" + str(len(names)) for n in names[: count - len(names)]]
names = names[:count]
words = [n for n in names if n[0].isalpha()]
prefixes = [words[i % len(words)][: i % 3 + 1] for i in range(1000)]

times = []
for prefix in prefixes:
    t = time.perf_counter()
    low = prefix.lower()
    found = sorted(n for n in names if n.lower().startswith(low))
    if len(found) > 1:
        os.path.commonprefix([found[0].lower(), found[-1].lower()])
    times.append(1000 * (time.perf_counter() - t))
times.sort()
print(times[499], times[949], len(names))
