"""Building a report of 200,000 lines in a string."""


def main():
    parts = []
    for i in range(1, 200001):
        label = "fizz" if i % 3 == 0 else "item"
        parts.append(f"{label} {i}: {i * 7} ({' '.join([str(i % 1000), 'of', '1000'])})\n")
    out = "".join(parts)
    summary = out[:40].upper()
    print(len(out))
    print('"' + summary.replace("\n", "^/") + '"')
    print('"' + out[-40:].replace("\n", "^/") + '"')


main()
