#!/usr/bin/env bash
# Builds Vyn: scripts/build.sh [release|asan]; release goes to build/, asan to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
	release) dir=build; type=Release ;;
	asan) dir=build-asan; type=asan ;;
	*) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" >/dev/null
cmake --build "$dir" -j "$(nproc)"
