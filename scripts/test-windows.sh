#!/usr/bin/env bash
# Cross-builds the engine, the settings module, the comparison,
# kestrel-convert, kestrel-compare and their tests for 64-bit Windows with MinGW-w64 into build-windows/, and runs the
# tests under Wine. Installs what is missing (through sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --only cmake ninja-build googletest libsimpleini-dev libfmt-dev libcli11-dev \
  g++-mingw-w64-x86-64-posix wine wine64

root=$PWD
build=$root/build-windows
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

# GoogleTest from Debian's sources, built once with the cross compiler.
gtest=$build/googletest
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "== GoogleTest for Windows =="
  cmake -S /usr/src/googletest -B "$build/googletest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest-build" -j"$jobs"
  cmake --install "$build/googletest-build" >/dev/null
fi
# SimpleIni is one header; the cross compiler must not see the rest of
# /usr/include. A system folder to the compiler, as /usr/include is, so that
# the header's own warnings stay quiet.
mkdir -p "$build/simpleini"
cp /usr/include/SimpleIni.h "$build/simpleini/"
# So are fmt (used header-only) and CLI11, each in a folder of its own.
mkdir -p "$build/fmt/fmt" "$build/cli11/CLI"
cp /usr/include/fmt/*.h "$build/fmt/fmt/"
cp -r /usr/include/CLI/. "$build/cli11/CLI/"

echo "== Windows build =="
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTREL_BUILD_GUI=OFF -DGTest_DIR="$gtest/lib/cmake/GTest" -DSIMPLEINI_INCLUDE_DIR="$build/simpleini" \
  -DFMT_INCLUDE_DIR="$build/fmt" -DCLI11_INCLUDE_DIR="$build/cli11" \
  -DCMAKE_CXX_FLAGS="-isystem $build/simpleini -isystem $build/fmt -isystem $build/cli11" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
cmake --build "$build" -j"$jobs"

echo "== tests under Wine =="
# A Wine of its own, started once: otherwise every test program pays the
# start-up of a fresh Wine, and the first may hang on ctest's pipe.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p || true  # fails when one already runs
trap 'wineserver -k 2>/dev/null || true' EXIT
wine wineboot --init >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "== kestrel-convert.exe under Wine =="
# The real program on the example: byte for byte as on Linux, a name outside
# any code page from the wide command line, and the log replaced in place.
smoke=$build/smoke
rm -rf "$smoke" && mkdir -p "$smoke"
cp examples/ix-show-ip-route.log "$smoke/表한ü.log"
# Wine turns the command line into UTF-16 by the locale's encoding.
(export LC_ALL=C.UTF-8; cd "$smoke" && wine "$build/cli/kestrel-convert.exe" -o out.txt "表한ü.log" &&
  wine "$build/cli/kestrel-convert.exe" -i "表한ü.log")
cmp examples/ix-show-ip-route.converted.log "$smoke/out.txt"
cmp examples/ix-show-ip-route.converted.log "$smoke/表한ü.log"
[ "$(ls "$smoke")" = "$(printf 'out.txt\n表한ü.log')" ]
echo "kestrel-convert.exe converts as on Linux"

echo "== kestrel-compare.exe under Wine =="
# A generated pair: exactly the injected differences, from the raw IX log and
# from its conversion, and an HTML page beside a CSV report.
pair=$build/pair
rm -rf "$pair" && mkdir -p "$pair"
(
  export LC_ALL=C.UTF-8
  cd "$pair"
  wine "$build/bench/kestrel-generate-tables.exe" 2000 7 . 20
  wine "$build/cli/kestrel-convert.exe" -o ixc.log ix.log
  for a in ix.log ixc.log; do
    status=0
    wine "$build/cli/kestrel-compare.exe" --ignore=local -o "$a.csv" "$a" cisco.log || status=$?
    [ $status = 1 ] || { echo "kestrel-compare.exe $a: status $status"; exit 1; }
    grep -v '^#' "$a.csv" | tail -n +2 | cut -d, -f3-5 | cmp - expected.csv
  done
  status=0
  wine "$build/cli/kestrel-compare.exe" -o 表.html ix.log cisco.log || status=$?
  [ $status = 1 ] && grep -q '<table id=diffs>' 表.html
)
echo "kestrel-compare.exe reports exactly the injected differences"
