#!/usr/bin/env bash
# Cross-builds Kestrel for 64-bit Windows with MinGW-w64 into build-windows/
# (the native window kestrel.exe, kestrel-convert.exe, kestrel-compare.exe and
# the tests), runs the tests under Wine, and the real programs as a user runs
# them. Installs what is missing (through sudo when not root).
set -euo pipefail
trap 'echo "test-windows.sh: failed at line $LINENO" >&2' ERR
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --only cmake ninja-build googletest libsimpleini-dev libfmt-dev libcli11-dev \
  g++-mingw-w64-x86-64-posix wine wine64 fonts-ipafont-gothic

root=$PWD
build=$root/build-windows
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${KESTREL_JOBS:-$(nproc)}

# GoogleTest from Debian's sources, built once with the cross compiler.
gtest=$build/googletest
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "== GoogleTest for Windows =="
  cmake -S /usr/src/googletest -B "$build/googletest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest-build" -j"$jobs"
  cmake --install "$build/googletest-build" >/dev/null
fi
echo "== Windows build =="
source scripts/windows-cross.sh
windows_configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGTest_DIR="$gtest/lib/cmake/GTest" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
cmake --build "$build" -j"$jobs"

echo "== tests under Wine =="
# A Wine of its own, started once: otherwise every test program pays the
# start-up of a fresh Wine, and the first may hang on ctest's pipe.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p || true  # fails when one already runs
trap 'wineserver -k 2>/dev/null || true' EXIT
wine wineboot --init >/dev/null 2>&1
# Windows draws without an X server (Wine's null driver), and the Japanese
# faces of the form are IPA's, as on a Japanese desktop; the Noto faces are
# taller and would be fitted smaller. For this test prefix only.
export LC_ALL=C.UTF-8  # Wine reads the command line by the locale's encoding
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
for face in "MS UI Gothic" "ＭＳ Ｐゴシック" "MS PGothic"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAPGothic /f >/dev/null 2>&1
done
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "== kestrel.exe and kestrel-convert.exe under Wine =="
# The real programs on the example: byte for byte as on Linux, a name outside
# any code page from the wide command line, patterns expanded as Windows
# programs do, NUL, /?, the window's batch with its one-line errors, and the
# log replaced in place.
smoke=$build/smoke
converted=$root/examples/ix-show-ip-route.converted.log
rm -rf "$smoke" && mkdir -p "$smoke" && cd "$smoke"
cp "$root/examples/ix-show-ip-route.log" "表한ü.log"
cp "表한ü.log" b.log
cp "$build/app/kestrel.exe" .
printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n' >Kestrel.ini
convert() { wine "$build/cli/kestrel-convert.exe" "$@"; }
convert -o out.txt "表한ü.log"
convert -o NUL "表한ü.log"
convert '/?' >help
grep -q -- --suffix help
convert --suffix=.cnv '*.log'
cmp "$converted" b.cnv
cmp "$converted" "表한ü.cnv"
if convert --suffix=.x 'none*.log' 2>err; then false; fi
[ "$(tr -d '\r' <err)" = "kestrel-convert: none*.log: no file matches" ]
if wine ./kestrel.exe "表한ü.log" missing.log 2>err; then false; else [ $? = 1 ]; fi
[ "$(tr -d '\r' <err)" = "kestrel: missing.log: No such file or directory" ]
wine ./kestrel.exe 'b.l*'
convert -i "表한ü.log"
for file in b.txt out.txt "表한ü.txt" "表한ü.log"; do cmp "$converted" "$file"; done
! ls -A | grep -q '\.tmp$'
echo "kestrel.exe and kestrel-convert.exe convert as on Linux"

echo "== kestrel-compare.exe under Wine =="
# A generated pair: exactly the injected differences, from the raw IX log and
# from its conversion, and an HTML page beside a CSV report.
pair=$build/pair
rm -rf "$pair" && mkdir -p "$pair"
(
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
