#!/usr/bin/env bash
# Times the comparison window on the generated 1,000,000-route pair (an NEC
# IX table and a Cisco one, 0.5 % of the routes differing, ローカル経路を除く
# ticked): the milliseconds from the click on 比 較 to the result shown,
# with the window's timer ticking every 40 ms as it does on screen, and from
# a click on 中 断 at several points of the work to the window answering
# again. `kestrel-compare --ignore=local` on the same pair takes turns with
# it round by round, as a yardstick. Prints medians with the spread.
#
#   bench/run-compare-window-benchmark.sh [ROUNDS]     (default 7 rounds after a warm-up)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target kestrel-compare kestrel-generate-tables kestrel-compare-window-timing >/dev/null
bin=$PWD/build-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/bench/kestrel-generate-tables" 1000000 1 "$work" 5

stats() {  # median, minimum, maximum
  sort -n | awk '{ v[NR] = $1 } END { printf "%s | %s–%s", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
echo "machine: $(nproc) cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$work/window" >"$work/cli"
for ((r = 0; r <= rounds; r++)); do
  out=$("$bin/bench/kestrel-compare-window-timing" "$work/ix.log" "$work/cisco.log" 1 100 400 800 1000)
  start=$(date +%s%N)
  "$bin/cli/kestrel-compare" --ignore=local "$work/ix.log" "$work/cisco.log" >"$work/report.txt" || true
  end=$(date +%s%N)
  ((r == 0)) && continue  # the first round only warms the page cache
  echo "$out" >>"$work/window"
  echo $(((end - start) / 1000000)) >>"$work/cli"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| what | median ms | min–max ms |"
echo "|---|---:|---:|"
echo "| window: 比 較 to the result shown | $(awk '/^result/ { print $2 }' "$work/window" | stats) |"
for after in 100 400 800 1000; do
  echo "| window: 中 断 after $after ms to answering again | $(awk -v a="$after" '$1 == "abort" && $3 == a { print $5 }' "$work/window" | stats) |"
done
echo "| window: 検索, the first key (each difference described once) | $(awk '$1 == "search" && $2 == "1:" { print $3 }' "$work/window" | stats) |"
echo "| window: 検索, each key after | $(awk '$1 == "search" && $2 != "1:" { print $3 }' "$work/window" | stats) |"
echo "| window: 中 断 300 ms into writing the HTML report | $(awk '$2 == "report" { print $6 }' "$work/window" | stats) |"
echo "| \`kestrel-compare --ignore=local A B\` | $(stats <"$work/cli") |"
echo
echo "The window's result: $(awk '/^result/ { $1 = $2 = $3 = ""; print; exit }' "$work/window")"
