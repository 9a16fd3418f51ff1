#!/usr/bin/env bash
# Installs every package Vyn needs to build, test and benchmark on Debian 12.
set -euo pipefail
packages=(
	build-essential g++ clang cmake ninja-build pkg-config git python3
	libgtest-dev libgmock-dev libbenchmark-dev
	libssl-dev zlib1g-dev
	libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev python3-pil
	unicode-data
	lua5.4 lua-lpeg hyperfine
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
