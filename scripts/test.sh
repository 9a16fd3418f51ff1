#!/usr/bin/env bash
# Builds both build types and runs the whole test suite in each, then fuzzes
# the decoders for a bounded time (VYN_FUZZ_SECONDS per target, default 30;
# the targets run side by side, one per core). Ends with one line per stage
# and its time. A failing stage fails the run; the stages after it still run,
# but a build that fails skips its suites.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
status=0
started=$SECONDS
times=()

# The libFuzzer targets: tests/fuzz/NAME_fuzz.cpp, their corpus in build-fuzz/corpus/NAME.
fuzz_targets=(inflate crush vynbin lexer mold image)

summary() {
	echo "== stage times"
	printf '%s\n' "${times[@]}"
	printf '%-26s %5ss\n' total $((SECONDS - started))
}
trap summary EXIT

# stage NAME COMMAND...: runs one stage and records its time and outcome.
stage() {
	local name=$1 start=$SECONDS outcome=ok
	shift
	echo "== $name"
	"$@" || outcome=FAILED
	times+=("$(printf '%-26s %5ss  %s' "$name" $((SECONDS - start)) "$outcome")")
	[ "$outcome" = ok ] || status=1
	[ "$outcome" = ok ]
}

for kind in release asan; do
	dir=build; [ "$kind" = asan ] && dir=build-asan
	stage "build ($kind)" bash scripts/build.sh "$kind" || continue
	stage "tests ($kind)" ctest --test-dir "$dir" -j "$jobs" --output-on-failure -LE gc-stress
	# The transcripts again with the collector's stress mode: with 16 cores the
	# release build collects at every safe point, the sanitizer build (several
	# times slower) at about one in 2; with fewer cores sparser, about
	# 16 / cores times (fixed-seed gaps, so a failure repeats).
	gap=$(( jobs >= 16 ? 1 : (16 + jobs - 1) / jobs ))
	[ "$kind" = asan ] && gap=$(( gap * 2 ))
	stage "collector stress ($kind)" env VYN_GC_STRESS_GAP=$gap \
		ctest --test-dir "$dir" -j "$jobs" --output-on-failure -L gc-stress
done

fuzz_build() {
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DVYN_FUZZ=ON -DVYN_BENCH=OFF >/dev/null &&
		cmake --build build-fuzz -j "$jobs" --target "${fuzz_targets[@]/%/_fuzz}" &&
		python3 scripts/fuzz_seeds.py build-fuzz/corpus
}

# Fuzzes one target into its log; prints its final statistics, or the log's
# end when it found a fault.
fuzz_one() {
	local target=$1 log=build-fuzz/$1.log rss=2048
	# A few bytes of run-length data may rightly describe an image of up to
	# 4 GB (the largest record): more room than libFuzzer's default.
	[ "$target" = image ] && rss=5120
	mkdir -p "build-fuzz/corpus/$target"
	if "build-fuzz/tests/fuzz/${target}_fuzz" -max_total_time="${VYN_FUZZ_SECONDS:-30}" -print_final_stats=1 -rss_limit_mb=$rss \
		-artifact_prefix="build-fuzz/$target-" "build-fuzz/corpus/$target" >"$log" 2>&1; then
		echo "-- $target: $(grep -E '^stat::number_of_executed_units' "$log" | tr -s ' ')"
	else
		echo "-- $target FAILED (log: $log)"
		tail -n 60 "$log"
		return 1
	fi
}

fuzz_all() {
	local running=0 failed=0 target
	for target in "${fuzz_targets[@]}"; do
		if [ "$running" -ge "$jobs" ]; then
			wait -n || failed=1
			running=$((running - 1))
		fi
		fuzz_one "$target" &
		running=$((running + 1))
	done
	for ((; running > 0; running--)); do wait -n || failed=1; done
	return $failed
}

# libFuzzer needs clang: the fuzz targets get a build directory of their own,
# whatever compiler builds the rest.
if command -v clang++ >/dev/null 2>&1; then
	stage "fuzz build" fuzz_build && stage "fuzz (${#fuzz_targets[@]} targets)" fuzz_all
else
	echo "== fuzz skipped: clang++ is not installed"
fi
exit $status
