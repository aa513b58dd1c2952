#!/usr/bin/env bash
# Installs what is missing, builds Kestrel and converts the example log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

log=examples/ix-show-ip-route.log
out=build/ix-show-ip-route.txt
build/cli/kestrel-convert -o "$out" "$log"
echo "Converted $log into $out:"
echo
tr -d '\r' < "$out"
