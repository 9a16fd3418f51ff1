#!/usr/bin/env bash
# Builds both build types and runs the whole test suite in each, then fuzzes
# the decoders for a bounded time (VYN_FUZZ_SECONDS per target, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for kind in release asan; do
	bash scripts/build.sh "$kind"
	dir=build; [ "$kind" = asan ] && dir=build-asan
	echo "== tests ($kind)"
	ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure -LE gc-stress || status=1
	# The transcripts again with every safe point collecting and moving every buffer.
	echo "== collector stress ($kind)"
	ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure -L gc-stress || status=1
done

# libFuzzer needs clang: the fuzz targets get a build directory of their own,
# whatever compiler builds the rest.
if command -v clang++ >/dev/null 2>&1; then
	echo "== fuzz"
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DVYN_FUZZ=ON -DVYN_BENCH=OFF >/dev/null
	cmake --build build-fuzz -j "$(nproc)" --target inflate_fuzz crush_fuzz vynbin_fuzz lexer_fuzz mold_fuzz
	python3 scripts/fuzz_seeds.py build-fuzz/corpus
	for target in inflate crush vynbin lexer mold; do
		build-fuzz/tests/fuzz/${target}_fuzz -max_total_time="${VYN_FUZZ_SECONDS:-60}" \
			-print_final_stats=1 -artifact_prefix=build-fuzz/ "build-fuzz/corpus/$target" || status=1
	done
else
	echo "== fuzz skipped: clang++ is not installed"
fi
exit $status
