#!/usr/bin/env bash
# Builds both build types and runs the whole test suite in each.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for kind in release asan; do
	bash scripts/build.sh "$kind"
	dir=build; [ "$kind" = asan ] && dir=build-asan
	echo "== tests ($kind)"
	ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure || status=1
done
exit $status
