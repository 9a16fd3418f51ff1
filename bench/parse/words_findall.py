import os
import re
t = open(os.environ["PARSE_CORPUS"], encoding="utf-8").read()
print(len(re.findall(" ", t)))
