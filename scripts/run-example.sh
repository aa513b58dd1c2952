#!/usr/bin/env bash
# Installs what building needs when it is missing, builds the programs and
# converts the example log with the kestrel program in batch mode (no display
# needed), then checks that kestrel-convert writes the same bytes. The tests,
# and all they need, are scripts/test.sh's.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"

# The program keeps its settings beside itself; give it the output extension.
[ -f build/app/Kestrel.ini ] || printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n' > build/app/Kestrel.ini

mkdir -p build/example
cp examples/ix-show-ip-route.log build/example/
QT_QPA_PLATFORM=offscreen build/app/kestrel build/example/ix-show-ip-route.log
build/cli/kestrel-convert -o build/example/ix-show-ip-route.cli.txt examples/ix-show-ip-route.log
cmp build/example/ix-show-ip-route.txt build/example/ix-show-ip-route.cli.txt

echo "Converted examples/ix-show-ip-route.log into build/example/ix-show-ip-route.txt"
echo "(kestrel-convert wrote the same bytes):"
echo
tr -d '\r' < build/example/ix-show-ip-route.txt
