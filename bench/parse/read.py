import os
t = open(os.environ["PARSE_CORPUS"], encoding="utf-8").read()
print(len(t))
