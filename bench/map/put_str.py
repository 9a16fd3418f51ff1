k = []
for i in range(1, 1000001):
    k.append(str(i))
m = {}
for s in k:
    m[s] = s
print(len(m))
