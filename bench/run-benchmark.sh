#!/usr/bin/env bash
# Times kestrel-convert, the kestrel window's batch mode (offscreen, and on an
# X server where the caption is really drawn) and an awk rewrite against `cat`
# and `dd` on generated logs: each command as a whole process, the commands
# alternating round by round, each writing its own output file, nothing but
# the command in the timed span (bench/time_rounds.py). Prints Markdown tables
# for docs/speed.md: medians with their spread, ratios from paired rounds, and
# peak memory.
#
#   bench/run-benchmark.sh [ROUTES] [ROUNDS]     (default 1000000 routes, 11 rounds)
set -euo pipefail
cd "$(dirname "$0")/.."
routes=${1:-1000000}
rounds=${2:-11}

command -v Xvfb >/dev/null || bash scripts/install-deps.sh --only xvfb
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target kestrel-convert kestrel kestrel-generate-log >/dev/null
bin=$PWD/build-release
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=:$(head -n 1 "$work/display")

gen() { "$bin/bench/kestrel-generate-log" "$@"; }
gen "$routes" >"$work/lf.log"
gen "$routes" --crlf >"$work/crlf.log"
gen $((routes / 10)) >"$work/tenth.log"
gen 75 --pad 1048576 >"$work/long.log"
gen 1 --pad 104857600 >"$work/huge.log"
# The window's batch mode keeps its settings beside the program and writes
# beside the log: a second name for the log gives the second window its own
# output file.
cp "$bin/app/kestrel" "$work/kestrel"
printf '[Kestrel]\r\nFileExt=.out\r\nOverWrite=FALSE\r\n' >"$work/Kestrel.ini"
ln "$work/lf.log" "$work/lf-x.log"

# commands LOG [window]: the JSON list of commands for one log.
commands() {
  local log=$work/$1.log out=$work/$1
  printf '[{"name": "`cat LOG > OUT`", "argv": ["cat", "%s"], "stdout": "%s.cat"},\n' "$log" "$out"
  printf ' {"name": "`dd bs=1M`", "argv": ["dd", "if=%s", "of=%s.dd", "bs=1M", "status=none"]},\n' "$log" "$out"
  printf ' {"name": "`kestrel-convert -o OUT LOG`", "argv": ["%s", "-o", "%s.kc", "%s"]}' "$bin/cli/kestrel-convert" \
    "$out" "$log"
  if [ "${2:-}" = window ]; then
    printf ',\n {"name": "`kestrel LOG` (batch, offscreen)", "argv": ["%s", "%s"], "env": {"QT_QPA_PLATFORM": "offscreen"}}' \
      "$work/kestrel" "$log"
    printf ',\n {"name": "`kestrel LOG` (batch, on Xvfb)", "argv": ["%s", "%s"], "env": {"DISPLAY": "%s", "QT_QPA_PLATFORM": "xcb"}}' \
      "$work/kestrel" "$work/lf-x.log" "$display"
    printf ',\n {"name": "awk rewrite (swap only, no brackets)", "argv": ["awk", "-f", "bench/awk-rewrite.awk", "%s"], "stdout": "%s.awk"}' \
      "$log" "$out"
  fi
  printf ']\n'
}

echo "$(nproc) cores, $(uname -r); $rounds rounds after one that warms the page cache"
for log in lf crlf tenth long huge; do
  echo
  echo "$log: $(du -m "$work/$log.log" | cut -f1) MiB, $(wc -l <"$work/$log.log") lines"
  echo
  echo "| command | median s (min–max) | × cat | × dd | peak MiB |"
  echo "|---|---:|---:|---:|---:|"
  commands "$log" "$([ "$log" = lf ] && echo window)" | python3 bench/time_rounds.py "$rounds"
done
