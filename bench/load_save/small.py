total = 0
def square(x):
    return x * x
for n in [1, 2, 3, 4, 5]:
    total = total + square(n)
names = ["a", "b", "c"]
joined = "".join(names)
