k = []
for i in range(1, 1000001):
    k.append(str(i))
m = {}
for s in k:
    m[s] = s
n = 0
for s in k:
    if m.get(s) is not None:
        n = n + 1
print(n)
