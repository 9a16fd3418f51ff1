#!/usr/bin/env bash
# SHA-256 over 100 MB: `openssl dgst` on a file, timed with hyperfine, beside
# our digest of the same amount in process (checksum_bench). Both go through
# libcrypto, so the figures should be close; run after scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
size=$((100 << 20))
file=$(mktemp /tmp/vyn-sha256-XXXXXX)
trap 'rm -f "$file" "$file.json"' EXIT
yes 'the runtime block series of value cells and a word context binds to 1234' | head -c "$size" >"$file" || true  # yes ends on SIGPIPE

hyperfine --warmup 2 --runs 10 --export-json "$file.json" "openssl dgst -sha256 $file"
python3 - "$file.json" "$size" <<'PY'
import json, sys
mean = json.load(open(sys.argv[1]))["results"][0]["mean"]
print(f"openssl dgst -sha256: {int(sys.argv[2]) / mean / 1e6:.0f} MB/s (process start and file read included)")
PY
build/bench/checksum_bench --benchmark_filter="BM_Sha256Vyn/$size" --benchmark_repetitions=5 \
	--benchmark_report_aggregates_only=true
