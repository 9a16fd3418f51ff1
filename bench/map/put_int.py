m = {}
for i in range(1, 1000001):
    m[i] = i
print(len(m))
