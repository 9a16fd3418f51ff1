#!/usr/bin/env python3
"""Times the JSON and CSV codecs against CPython's json and csv modules.

Usage: bench/codecs_compare.py build/vyn [runs]
Generates a JSON document and a CSV table at 2 MB and 20 MB, then times,
in the same run and each program timing its own work (start-up and file
reading excluded): load-json / json.loads, to-json / json.dumps (compact and
indented by 2), load-csv / csv.reader, to-csv / csv.writer. The best of
`runs` (default 3) counts. The last column compares the 20 MB time with ten
times the 2 MB time (1.00 is linear).
"""
import csv
import io
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

TARGETS = {"json decode": 2.0, "json encode": 2.0, "json encode indent": 2.0, "csv decode": 1.5, "csv encode": 1.5}


def make_json(path, records):
    rng = random.Random(1)
    data = [{"id": i, "name": f"user{i}", "email": f"u{i}@example.com", "score": rng.random() * 100,
             "tags": ["a", "bb", "ccc"][: i % 4], "active": i % 2 == 0,
             "nested": {"x": i, "y": [1, 2, 3], "s": "caf\u00e9 \"q\"\n"}} for i in range(records)]
    path.write_text(json.dumps(data), encoding="utf-8")


def make_csv(path, rows):
    rng = random.Random(2)
    with path.open("w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["id", "name", "city", "score", "note"])
        for i in range(rows):
            w.writerow([i, f"name {i}", rng.choice(["Paris", "Oslo", 'New "York"', "Rome, Italy"]), rng.random(),
                        "x" * rng.randint(0, 20)])


VYN = {
    "json decode": "t: read {f} t0: now/precise load-json t",
    "json encode": "v: load-json read {f} t0: now/precise to-json v",
    "json encode indent": "v: load-json read {f} t0: now/precise to-json/pretty v {{  }}",
    "csv decode": "t: to string! read/binary {f} t0: now/precise load-csv t",
    "csv encode": "v: load-csv to string! read/binary {f} t0: now/precise to-csv v",
}

PY = {
    "json decode": "t = open({f!r}, encoding='utf-8').read()\nt0 = time.perf_counter()\njson.loads(t)",
    "json encode": "v = json.loads(open({f!r}, encoding='utf-8').read())\nt0 = time.perf_counter()\njson.dumps(v)",
    "json encode indent": "v = json.loads(open({f!r}, encoding='utf-8').read())\nt0 = time.perf_counter()\n"
                          "json.dumps(v, indent=2)",
    "csv decode": "t = open({f!r}, encoding='utf-8', newline='').read()\nt0 = time.perf_counter()\n"
                  "list(csv.reader(io.StringIO(t)))",
    "csv encode": "v = list(csv.reader(io.StringIO(open({f!r}, encoding='utf-8', newline='').read())))\n"
                  "t0 = time.perf_counter()\nb = io.StringIO()\ncsv.writer(b, lineterminator='\\n').writerows(v)",
}


def best(cmd, runs):
    return min(float(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.split()[-1])
               for _ in range(runs))


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as tmp:
        d = Path(tmp)
        files = {}
        for size, scale in (("2MB", 1), ("20MB", 10)):
            make_json(d / f"{size}.json", 10000 * scale)
            make_csv(d / f"{size}.csv", 45000 * scale)
            files[size] = {"json": d / f"{size}.json", "csv": d / f"{size}.csv"}
        print(f"{'operation':<20}{'size':>6}{'vyn s':>9}{'python s':>10}{'vyn/py':>8}{'target':>8}{'vs 10x 2MB':>12}")
        for op in VYN:
            kind = op.split()[0]
            small = None
            for size in ("2MB", "20MB"):
                f = files[size][kind]
                vs = d / "bench.vyn"
                vs.write_text("Vyn []\n" + VYN[op].format(f="%" + str(f)) + "\nprint to float! difference now/precise t0\n")
                ps = d / "bench.py"
                ps.write_text("import csv, io, json, time\n" + PY[op].format(f=str(f)) +
                              "\nprint(time.perf_counter() - t0)\n")
                v = best([vyn, str(vs)], runs)
                p = best([sys.executable, str(ps)], runs)
                linear = f"{v / (10 * small):12.2f}" if small else f"{'':>12}"
                small = small or v
                print(f"{op:<20}{size:>6}{v:9.3f}{p:10.3f}{v / p:8.2f}{TARGETS[op]:8.1f}{linear}")


if __name__ == "__main__":
    main()
