#!/usr/bin/env bash
# Times kestrel-convert, the kestrel window's batch mode (offscreen, and on an
# X server where the caption is really drawn) and an awk rewrite against `cat`
# on generated logs, with medians of alternating runs (page cache warm) and
# peak memory. Prints a Markdown table for the README.
#
#   bench/run-benchmark.sh [ROUTES] [RUNS]     (default 1000000 routes, 7 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
routes=${1:-1000000}
runs=${2:-7}

command -v /usr/bin/time >/dev/null && command -v Xvfb >/dev/null || bash scripts/install-deps.sh time xvfb
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target kestrel-convert kestrel kestrel-generate-log >/dev/null
bin=$PWD/build-release
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done

gen() { "$bin/bench/kestrel-generate-log" "$@"; }
gen "$routes" > "$work/lf.log"
gen "$routes" --crlf > "$work/crlf.log"
gen $((routes / 10)) > "$work/tenth.log"
gen 75 --pad 1048576 > "$work/long.log"
gen 1 --pad 104857600 > "$work/huge.log"
# The window's batch mode keeps its settings beside the program.
cp "$bin/app/kestrel" "$work/kestrel"
printf '[Kestrel]\r\nFileExt=.out\r\nOverWrite=FALSE\r\n' > "$work/Kestrel.ini"

# Runs one command: its wall time in seconds and peak memory in MiB.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cat "$work/rss")"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A cmds=(
  [cat]='cat LOG > OUT'
  [dd]='dd if=LOG of=OUT bs=1M status=none'
  [kestrel-convert]='KC -o OUT LOG'
  [kestrel batch]='QT_QPA_PLATFORM=offscreen WORK/kestrel LOG'
  [kestrel on Xvfb]='DISPLAY=:XNUM QT_QPA_PLATFORM=xcb WORK/kestrel LOG'
  [awk]='awk -f bench/awk-rewrite.awk LOG > OUT'
)
order=(cat dd kestrel-convert "kestrel batch" "kestrel on Xvfb" awk)

echo "| log | command | median s | × cat | peak MiB |"
echo "|---|---|---:|---:|---:|"
for log in lf crlf tenth long huge; do
  names=("${order[@]}")
  [ "$log" = lf ] || names=(cat kestrel-convert)
  declare -A times=() rss=()
  for ((r = 0; r <= runs; r++)); do
    for name in "${names[@]}"; do
      cmd=${cmds[$name]//LOG/$work/$log.log}
      cmd=${cmd//OUT/$work/out}
      cmd=${cmd//KC/$bin/cli/kestrel-convert}
      cmd=${cmd//WORK/$work}
      cmd=${cmd//XNUM/$(head -n 1 "$work/display")}
      read -r us kb < <(measure sh -c "$cmd")
      ((r == 0)) && continue  # the first round only warms the page cache
      times[$name]+="$us "
      rss[$name]+="$kb "
    done
  done
  base=$(tr ' ' '\n' <<< "${times[cat]}" | median)
  for name in "${names[@]}"; do
    t=$(tr ' ' '\n' <<< "${times[$name]}" | median)
    m=$(tr ' ' '\n' <<< "${rss[$name]}" | sort -n | tail -1)
    awk -v l="$log ($(du -m "$work/$log.log" | cut -f1) MiB)" -v n="$name" -v t="$t" -v b="$base" -v m="$m" \
      'BEGIN { printf "| %s | %s | %.3f | %.2f | %.1f |\n", l, n, t / 1e6, t / b, m / 1024 }'
  done
done
