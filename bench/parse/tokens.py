import os
import re
t = open(os.environ["PARSE_CORPUS"], encoding="utf-8").read()
n = 0
for _ in re.finditer("[A-Za-z]+", t):
    n += 1
print(n)
