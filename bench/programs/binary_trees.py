"""Binary trees, depth 15."""


def bottom_up(depth):
    if depth > 0:
        return (bottom_up(depth - 1), bottom_up(depth - 1))
    return (None, None)


def check(tree):
    left, right = tree
    if left is None:
        return 1
    return 1 + check(left) + check(right)


def main():
    min_depth = 4
    max_depth = 15
    stretch = max_depth + 1
    print("stretch tree of depth", stretch, "check:", check(bottom_up(stretch)))
    long_lived = bottom_up(max_depth)
    for depth in range(min_depth, max_depth + 1, 2):
        iterations = 1 << (max_depth - depth + min_depth)
        total = 0
        for _ in range(iterations):
            total += check(bottom_up(depth))
        print(iterations, "trees of depth", depth, "check:", total)
    print("long lived tree of depth", max_depth, "check:", check(long_lived))


main()
