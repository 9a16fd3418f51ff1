n = 0
for _ in range(1000000):
    n = n + 1
    continue
print(n)
