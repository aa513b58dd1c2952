#!/usr/bin/env bash
# Times kestrel-compare against `diff A B` on generated pairs of routing
# tables (the same random table as an NEC IX and as a Cisco router print it,
# 0.5 % of the routes differing; the Cisco router's local routes, which the IX
# does not print, left out with --ignore=local), in alternating rounds with the page cache
# warm: median and spread of the wall time, CPU seconds (user + system) and
# peak memory. Prints Markdown tables for docs/speed.md, and the machine's load.
#
#   bench/run-compare-benchmark.sh [RUNS]     (default 7 rounds after a warm-up)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}

command -v /usr/bin/time >/dev/null || bash scripts/install-deps.sh --only time
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target kestrel-compare kestrel-generate-tables kestrel-convert >/dev/null
bin=$PWD/build-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for routes in 100000 300000 1000000; do
  mkdir "$work/$routes"
  "$bin/bench/kestrel-generate-tables" "$routes" 1 "$work/$routes" 5
done
"$bin/cli/kestrel-convert" -o "$work/1000000/ixc.log" "$work/1000000/ix.log"
mkdir "$work/html"  # some 10,000 differences for the HTML page
"$bin/bench/kestrel-generate-tables" 100000 2 "$work/html" 110

# Runs one command: wall seconds, CPU seconds and peak memory in MiB.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o "$work/time" sh -c "$1" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  read -r user sys kb < <(tail -n 1 "$work/time")  # after "Command exited with non-zero status 1"
  awk -v w=$((end - start)) -v u="$user" -v s="$sys" -v k="$kb" 'BEGIN { printf "%.3f %.2f %.1f\n", w / 1e9, u + s, k / 1024 }'
}
stats() {  # median, minimum, maximum of one column
  sort -n | awk '{ v[NR] = $1 } END { printf "%s %s %s", v[int((NR + 1) / 2)], v[1], v[NR] }'
}

KC="$bin/cli/kestrel-compare --ignore=local"
names=(
  "1000000|kestrel-compare --ignore=local A B"
  "1000000|kestrel-compare --ignore=local --format=csv -o OUT A B"
  "1000000|kestrel-compare --ignore=local A B (A converted by kestrel-convert)"
  "1000000|diff A B"
  "300000|kestrel-compare --ignore=local A B"
  "100000|kestrel-compare --ignore=local A B"
  "html|kestrel-compare --ignore=local -o report.html A B"
)
command_for() {
  local pair=${1%%|*} what=${1#*|} dir
  dir=$work/${1%%|*}
  case $what in
    "diff A B") echo "diff '$dir/ix.log' '$dir/cisco.log'" ;;
    *converted*) echo "$KC '$dir/ixc.log' '$dir/cisco.log'" ;;
    *csv*) echo "$KC --format=csv -o '$work/out.csv' '$dir/ix.log' '$dir/cisco.log'" ;;
    *html*) echo "$KC -o '$work/report.html' '$dir/ix.log' '$dir/cisco.log'" ;;
    *) echo "$KC '$dir/ix.log' '$dir/cisco.log'" ;;
  esac
}

echo "machine: $(nproc) cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A wall=() cpu=() rss=()
for ((r = 0; r <= runs; r++)); do
  for name in "${names[@]}"; do
    read -r w c m < <(measure "$(command_for "$name")")
    ((r == 0)) && continue  # the first round only warms the page cache
    wall[$name]+="$w"$'\n' cpu[$name]+="$c"$'\n' rss[$name]+="$m"$'\n'
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| routes a side | log sizes | command | median s | min–max s | CPU s | peak MiB |"
echo "|---:|---|---|---:|---:|---:|---:|"
for name in "${names[@]}"; do
  dir=$work/${name%%|*}
  routes=${name%%|*}
  [ "$routes" = html ] && routes=100000
  sizes="$(du -m "$dir/ix.log" | cut -f1) + $(du -m "$dir/cisco.log" | cut -f1) MiB"
  read -r med lo hi <<<"$(printf '%s' "${wall[$name]}" | stats)"
  read -r cmed _ _ <<<"$(printf '%s' "${cpu[$name]}" | stats)"
  peak=$(printf '%s' "${rss[$name]}" | sort -n | tail -1)
  echo "| $routes | $sizes | \`${name#*|}\` | $med | $lo–$hi | $cmed | $peak |"
done
differences=$($KC --format=csv "$work/html/ix.log" "$work/html/cisco.log" | grep -vc '^#' || true)
echo
echo "The HTML page lists $((differences - 1)) differences in $(du -k "$work/report.html" | cut -f1) KiB."
