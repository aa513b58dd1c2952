#!/usr/bin/env bash
# Cross-builds Kestrel for 64-bit Windows with MinGW-w64 into build-windows/
# (the native windows kestrel.exe and kestrel-compare-window.exe,
# kestrel-convert.exe, kestrel-compare.exe and the tests), runs the tests under Wine, and the real programs as a user runs
# them; then the zip and the installer in dist/, when scripts/package.sh has
# made them. Installs what is missing (through sudo when not root).
set -euo pipefail
trap 'echo "test-windows.sh: failed at line $LINENO" >&2' ERR
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --only cmake ninja-build googletest libsimpleini-dev libfmt-dev libcli11-dev \
  g++-mingw-w64-x86-64-posix wine wine64 fonts-ipafont-gothic unzip

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
# On a new prefix, wineboot started the desktop before the driver was chosen,
# and no window could be made on it: Wine starts again with the null driver.
wineserver -k
wineserver -w
wineserver -p
wine wineboot >/dev/null 2>&1
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
wine "$build/cli/kestrel-compare.exe" '/?' >help
grep -q -- --ignore help
wine ./kestrel.exe '/?' >help
grep -q 'start /wait' help
wine "$build/app/kestrel-compare-window.exe" '/?' >help
grep -q 'Kestrel で比較' help
convert --suffix=.cnv '*.log'
cmp "$converted" b.cnv
cmp "$converted" "表한ü.cnv"
if convert --suffix=.x 'none*.log' 2>err; then false; fi
[ "$(tr -d '\r' <err)" = "kestrel-convert: none*.log: no file matches" ]
if wine ./kestrel.exe "表한ü.log" missing.log 2>err; then false; else [ $? = 1 ]; fi
[ "$(tr -d '\r' <err)" = "kestrel: missing.log: File not found." ]  # the system's words, in Wine's English
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
  wine "$build/cli/kestrel-compare.exe" '/?' >help
  grep -q -- --ifmap help
)
echo "kestrel-compare.exe reports exactly the injected differences"

echo "== Windows packages under Wine =="
# The zip and the installer that scripts/package.sh made in dist/ (test.sh
# makes them first). The zip's programs convert the example; the installer,
# silent, installs into a scratch folder (a name outside any code page) with
# its Start-menu and Send to entries (the converter's and the comparison
# window's), the installed kestrel.exe converts a log
# as Send to would start it, with the settings of %APPDATA%\Kestrel, and the
# silent uninstaller leaves nothing but those settings.
if ! ls "$root"/dist/Kestrel-*-setup.exe >/dev/null 2>&1; then
  echo "no packages in dist/ (scripts/package.sh makes them): not checked"
  exit 0
fi
packages=$build/packages
rm -rf "$packages" && mkdir -p "$packages" && cd "$packages"
unzip -q "$root"/dist/Kestrel-*-win64.zip
unpacked=$(echo Kestrel-*)
[ -f "$unpacked/kestrel-compare-window.exe" ]
cp "$root/examples/ix-show-ip-route.log" a.log
cp a.log b.log
wine "$unpacked/kestrel-convert.exe" -o a.txt a.log
printf '[Kestrel]\r\nFileExt=.cnv\r\n' >"$unpacked/Kestrel.ini"
wine "$unpacked/kestrel.exe" a.log
cmp "$converted" a.txt
cmp "$converted" a.cnv
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
shortcuts=("$appdata/Microsoft/Windows/Start Menu/Programs/Kestrel.lnk" "$appdata/Microsoft/Windows/SendTo/Kestrel.lnk"
  "$appdata/Microsoft/Windows/Start Menu/Programs/Kestrel 比較.lnk" "$appdata/Microsoft/Windows/SendTo/Kestrel で比較.lnk")
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel'
installed=$WINEPREFIX/drive_c/ケストレル
rm -rf "$appdata/Kestrel" "$installed"
wine "$root"/dist/Kestrel-*-setup.exe /S '/D=C:\ケストレル'
for link in "${shortcuts[@]}"; do
  strings -el "$link" >link
  case $link in
    *比較.lnk) grep -q 'kestrel-compare-window\.exe$' link ;;
    *) grep -q 'kestrel\.exe$' link ;;
  esac
done
wine reg query "$uninstall_key" /v QuietUninstallString >/dev/null
mkdir -p "$appdata/Kestrel"
printf '[Kestrel]\r\nFileExt=.txt\r\n' >"$appdata/Kestrel/Kestrel.ini"
wine "$installed/kestrel.exe" b.log
cmp "$converted" b.txt
[ ! -e "$installed/Kestrel.ini" ]
wine "$installed/Uninstall.exe" /S
for _ in $(seq 100); do  # its copy in %TEMP% works on
  [ -e "$installed" ] || break
  sleep 0.2
done
for file in "$installed" "${shortcuts[@]}"; do [ ! -e "$file" ]; done
if wine reg query "$uninstall_key" >/dev/null 2>&1; then false; fi
[ -f "$appdata/Kestrel/Kestrel.ini" ]
rm -rf "$appdata/Kestrel"
# For every user (Wine's user is an administrator): Program Files, the common
# Start menu and HKLM, all removed again.
wine "$root"/dist/Kestrel-*-setup.exe /S /AllUsers
installed="$WINEPREFIX/drive_c/Program Files/Kestrel"
common=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
common=("$common/Kestrel.lnk" "$common/Kestrel 比較.lnk")
for file in "$installed/kestrel.exe" "$installed/kestrel-compare-window.exe" "${common[@]}" "${shortcuts[1]}" \
  "${shortcuts[3]}"; do [ -f "$file" ]; done
wine reg query "${uninstall_key/HKCU/HKLM}" /v InstallLocation >/dev/null
wine "$installed/Uninstall.exe" /S
for _ in $(seq 100); do
  [ -e "$installed" ] || break
  sleep 0.2
done
for file in "$installed" "${common[@]}" "${shortcuts[1]}" "${shortcuts[3]}"; do [ ! -e "$file" ]; done
echo "the zip's programs convert; the installer installs, for one user or all, and its uninstaller removes what it installed"
