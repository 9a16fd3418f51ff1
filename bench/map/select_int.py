m = {}
for i in range(1, 1000001):
    m[i] = i
n = 0
for i in range(1, 1000001):
    if m.get(i) is not None:
        n = n + 1
print(n)
