#!/usr/bin/env bash
# Installs what is missing, checks the Markdown pages' links
# (check-links.py), builds Kestrel twice (a normal build and one with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole test
# suite on both, runs the engine's tests under ThreadSanitizer, fuzzes the
# engine for a minute (KESTREL_FUZZ_SECONDS), makes the packages
# (package.sh) and checks the Debian one, and
# cross-builds for Windows and runs the tests and the Windows packages under
# Wine (test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=${KESTREL_JOBS:-$(nproc)}

run_suite() {
  local dir=$1
  shift
  # The tests are asked for: run-example.sh leaves build/ without them.
  cmake -S . -B "$dir" -G Ninja -DKESTREL_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$jobs"
}

echo "== documents =="
python3 scripts/check-links.py
echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build =="
ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
echo "== thread sanitizer: the engine's tests and the comparison window's =="
# The read-ahead and write-behind Workers hand blocks over between threads;
# the engine's tests run them on every kind of input, through io/. The
# comparison window's presenter reads, compares and writes reports on threads
# of its own. Only those test programs are built (some four minutes on two
# cores, from nothing).
cmake -S . -B build-tsan -G Ninja -DKESTREL_BUILD_TESTS=ON -DKESTREL_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan --target engine_tests presenter_tests -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/engine/engine_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/frontend/presenter_tests --gtest_filter='ComparePresenter*'
echo "== fuzzing =="
CXX=clang++-14 run_suite build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_FUZZ=ON \
  -DKESTREL_FUZZ_SECONDS="${KESTREL_FUZZ_SECONDS:-60}"
echo "== packages =="
# Made into dist/ as for a release; the Debian package unpacked into a scratch
# root runs as installed and lintian finds nothing to say. test-windows.sh
# checks the Windows zip and installer under Wine.
bash scripts/package.sh
(cd dist && sha256sum --quiet -c SHA256SUMS)
unpacked=build-deb/unpacked
rm -rf "$unpacked" && dpkg -x dist/kestrel_*_amd64.deb "$unpacked"
bin=$unpacked/usr/bin
"$bin/kestrel-convert" examples/ix-show-ip-route.log | cmp - examples/ix-show-ip-route.converted.log
status=0
"$bin/kestrel-compare" --ignore=local -o "$unpacked/compare.csv" examples/{ix,cisco}-show-ip-route.log || status=$?
[ $status = 1 ]
[ "$(grep -v '^#' "$unpacked/compare.csv" | tail -n +2 | cut -d, -f3,4 | tr '\n' ' ')" = \
  "10.2.0.0/16,differs 10.3.0.0/16,differs 10.30.0.0/24,only-b 198.51.100.0/24,differs " ]
cp examples/ix-show-ip-route.log "$unpacked/ix.log"
printf '[Kestrel]\nFileExt=.txt\n' >"$bin/Kestrel.ini"
"$bin/kestrel" "$unpacked/ix.log"
cmp examples/ix-show-ip-route.converted.log "$unpacked/ix.txt"
for page in kestrel kestrel-convert kestrel-compare kestrel-compare-window; do  # rendered whole, without a warning
  text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$unpacked/usr/share/man/man1/$page.1.gz" 2>"$unpacked/warnings")
  grep -q "^SEE ALSO" <<<"$text"
  [ ! -s "$unpacked/warnings" ]
done
lintian --fail-on error,warning dist/kestrel_*_amd64.deb
# The desktop entry without a hint: logs only, one main category.
[ -z "$(desktop-file-validate "$unpacked/usr/share/applications/kestrel.desktop")" ]
# The comparison window's program and desktop entry are there too.
[ -z "$(desktop-file-validate "$unpacked/usr/share/applications/kestrel-compare-window.desktop")" ]
"$bin/kestrel-compare-window" --help | grep -q '^Usage: kestrel-compare-window'
echo "the Debian package installs programs that convert and compare as built, and its manual pages"

echo "== Windows build, tests under Wine =="
bash scripts/test-windows.sh
