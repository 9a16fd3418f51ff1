"""Fannkuch-redux, n = 9."""


def fannkuch(n):
    perm1 = list(range(n))
    count = [0] * n
    max_flips = checksum = perm_count = 0
    r = n
    while True:
        while r > 1:
            count[r - 1] = r
            r -= 1
        perm = perm1[:]
        flips = 0
        k = perm[0]
        while k:
            perm[:k + 1] = perm[k::-1]
            flips += 1
            k = perm[0]
        max_flips = max(max_flips, flips)
        checksum += flips if perm_count % 2 == 0 else -flips
        perm_count += 1
        # next permutation in the counting order
        while True:
            if r == n:
                return checksum, max_flips
            perm1.insert(r, perm1.pop(0))
            count[r] -= 1
            if count[r] > 0:
                break
            r += 1


checksum, max_flips = fannkuch(9)
print(checksum)
print("Pfannkuchen(9) =", max_flips)
