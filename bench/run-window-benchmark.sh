#!/usr/bin/env bash
# Times the kestrel window program's batch mode against `cat` and
# kestrel-convert on one generated log: offscreen, and on an X server (Xvfb)
# where the window is really drawn.  See "Building and installing by hand"
# in the README.
#
#   bench/run-window-benchmark.sh [-n ROUTES] [--runs R]
#
# Environment:
#   KESTREL_WINDOW   kestrel program to time instead of build-release-gui/app/kestrel
#   JOBS             parallel build jobs (default 2)
#   TMPDIR           where the scratch directory is made (log, outputs)
set -euo pipefail

die() { echo "run-window-benchmark: $*" >&2; exit 2; }

routes=1000000
runs=5
while (($#)); do
    case $1 in
        -n|--routes) (($# >= 2)) || die "$1 needs a value"; routes=$2; shift 2 ;;
        --runs) (($# >= 2)) || die "$1 needs a value"; runs=$2; shift 2 ;;
        -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
        *) die "unknown argument '$1' (try --help)" ;;
    esac
done
[[ $routes =~ ^[0-9]+$ ]] || die "not a route count: '$routes'"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs needs a positive integer"

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$repo_root/build-release-gui
command -v Xvfb >/dev/null || bash "$repo_root/scripts/install-deps.sh" xvfb

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-window-bench.XXXXXX")
xvfb_pid=
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# The benchmark targets are not built by default: build them explicitly.
if ! grep -qs '^CMAKE_BUILD_TYPE:STRING=Release$' "$build_dir/CMakeCache.txt"; then
    echo "run-window-benchmark: configuring $build_dir" >&2
    cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$scratch/build.log" 2>&1 ||
        { tail -n 40 "$scratch/build.log" >&2; die "configuring failed"; }
fi
echo "run-window-benchmark: building kestrel, kestrel-convert, kestrel-generate-log" >&2
cmake --build "$build_dir" -j"${JOBS:-2}" --target kestrel kestrel-convert kestrel-generate-log \
    >"$scratch/build.log" 2>&1 || { tail -n 40 "$scratch/build.log" >&2; die "build failed"; }

# The window program keeps its settings beside itself: give it a folder of
# its own, converting LOG into LOG's folder as log.txt.
mkdir "$scratch/program"
cp "${KESTREL_WINDOW:-$build_dir/app/kestrel}" "$scratch/program/kestrel"
printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n' >"$scratch/program/Kestrel.ini"
window=$scratch/program/kestrel
convert=$build_dir/cli/kestrel-convert
log=$scratch/log
"$build_dir/bench/kestrel-generate-log" -n "$routes" -o "$log"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.05; done
[[ -s $scratch/display ]] || die "Xvfb did not start"
x_display=:$(head -n 1 "$scratch/display")

now_us() { local t=${EPOCHREALTIME}; echo "${t//[^0-9]/}"; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The four commands, run in turn so that a change in the machine's load
# falls on all of them alike; the median wall time of each, in us.
names=(cat kestrel-convert "kestrel offscreen" "kestrel on Xvfb")
run_one() {
    case $1 in
        cat) cat "$log" >"$log.cat" ;;
        kestrel-convert) "$convert" -o "$log.convert" "$log" ;;
        "kestrel offscreen") env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$window" "$log" ;;
        "kestrel on Xvfb") env -u WAYLAND_DISPLAY DISPLAY="$x_display" QT_QPA_PLATFORM=xcb "$window" "$log" ;;
    esac
}
declare -A times medians
for name in "${names[@]}"; do run_one "$name" || die "$name failed"; done  # warms the page cache
cmp -s "$log.convert" "$log.txt" || die "the window's output differs from kestrel-convert's"
for ((i = 0; i < runs; i++)); do
    for name in "${names[@]}"; do
        t0=$(now_us)
        run_one "$name" || die "$name failed"
        times[$name]+=" $(($(now_us) - t0))"
    done
done
for name in "${names[@]}"; do
    # shellcheck disable=SC2086
    medians[$name]=$(median ${times[$name]})
done

echo
printf 'log: %d routes, %d lines, %.1f MiB; %d runs each, median wall time\n' "$routes" \
    "$(wc -l <"$log")" "$(awk -v b="$(stat -c %s "$log")" 'BEGIN { print b / 1048576 }')" "$runs"
printf '%-18s %9s %9s\n' command seconds "× cat"
for name in "${names[@]}"; do
    awk -v n="$name" -v t="${medians[$name]}" -v c="${medians[cat]}" \
        'BEGIN { printf "%-18s %9.3f %9.2f\n", n, t / 1e6, t / c }'
done
awk -v a="${medians[kestrel offscreen]}" -v b="${medians[kestrel on Xvfb]}" -v c="${medians[cat]}" 'BEGIN {
    r = (a > b ? a : b) / c
    printf "\ntarget: the window at most 4 × cat ... %s (worst %.2f)\n", (r <= 4 ? "met" : "MISSED"), r
}'
