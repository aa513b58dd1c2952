#!/usr/bin/env bash
# Installs what is missing, builds Kestrel twice (a normal build and one with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole test
# suite on both, fuzzes the engine for a minute (KESTREL_FUZZ_SECONDS), and
# cross-builds for Windows and runs the tests under Wine (test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build =="
ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
echo "== fuzzing =="
CXX=clang++-14 run_suite build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_FUZZ=ON \
  -DKESTREL_FUZZ_SECONDS="${KESTREL_FUZZ_SECONDS:-60}"
echo "== Windows build, tests under Wine =="
bash scripts/test-windows.sh
