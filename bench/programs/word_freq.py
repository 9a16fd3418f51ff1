"""Word frequencies over a generated text of 300,000 words."""

SYLLABLES = ["ka", "lo", "mi", "ne", "ru", "sa", "to", "vi"]
seed = 42


def random_below(n):
    global seed
    seed = (seed * 75 + 74) % 65537
    return seed % n


def generate():
    parts = []
    for i in range(1, 300001):
        for _ in range(1 + random_below(3)):
            parts.append(SYLLABLES[random_below(8)])
        parts.append("\n" if i % 12 == 0 else " ")
    return "".join(parts)


def main():
    text = generate()
    counts = {}
    total = 0
    for word in text.split():
        total += 1
        counts[word] = counts.get(word, 0) + 1
    print(total, len(counts))
    for word in ["ka", "lomi", "satovi", "vivivi"]:
        print(word, counts.get(word))


main()
