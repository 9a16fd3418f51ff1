"""Walking JSON-like nested records, 5,000 records, 100 passes."""

seed = 7


def random_below(n):
    global seed
    seed = (seed * 75 + 74) % 65537
    return seed % n


TAG_NAMES = ["red", "green", "blue", "new", "old", "hot"]
CITIES = ["Arden", "Brill", "Cove", "Dunmore", "Esk", "Fallow", "Gant", "Holm"]


def make_records():
    records = []
    for id in range(1, 5001):
        tags = [TAG_NAMES[random_below(6)] for _ in range(random_below(4))]
        records.append({
            "id": id,
            "name": "user" + str(id),
            "score": random_below(100),
            "tags": tags,
            "address": {"city": CITIES[random_below(8)], "zip": 10000 + random_below(90000)},
        })
    return records


def main():
    records = make_records()
    score_by_city = {}
    hot = zip_sum = 0
    for _ in range(100):
        for record in records:
            city = record["address"]["city"]
            score = record["score"]
            score_by_city[city] = score_by_city.get(city, 0) + score
            for tag in record["tags"]:
                if tag == "hot":
                    hot += 1
            if score > 50:
                zip_sum += record["address"]["zip"] % 1000
    for city in CITIES:
        print(city, score_by_city.get(city))
    print(hot, zip_sum)


main()
