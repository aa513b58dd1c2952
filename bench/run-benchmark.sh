#!/usr/bin/env bash
# Times kestrel-convert against `cat` on a synthetic `show ip route` log and
# reports the peak memory of kestrel-convert.  See bench/README.md.
#
#   bench/run-benchmark.sh [-n ROUTES | ROUTES] [--sizes "N1 N2 ..."]
#                          [--log FILE] [--runs R] [--crlf]
#
# Environment:
#   KESTREL_CONVERT   program to time instead of build-release/cli/kestrel-convert
#                     (its target is then not built)
#   JOBS              parallel build jobs (default 2)
#   TMPDIR            where the scratch directory is made (logs, outputs)
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/run-benchmark.sh [options] [ROUTES]

  -n ROUTES        routes in the generated log (default 1000000)
  --sizes "A B"    run once per route count, e.g. --sizes "100000 1000000"
  --log FILE       time this existing log instead of generating one
  --runs R         timed runs of each command (default 7)
  --crlf           generate the log with CR LF line ends
  -h, --help       show this help

Builds build-release/ (Release, no GUI) under the repository root if needed,
then runs `cat LOG > OUT` and `kestrel-convert -o OUT LOG` alternately and
prints the median wall time of each, their ratio and the peak RSS.
Set KESTREL_CONVERT=/path/to/program to time another program.
EOF
}

die() { echo "run-benchmark: $*" >&2; exit 2; }

is_count() { [[ $1 =~ ^[0-9]+$ ]]; }

routes=1000000
sizes=""
log_file=""
runs=7
crlf=0

while (($#)); do
    case $1 in
        -n|--routes) (($# >= 2)) || die "$1 needs a value"; routes=$2; shift 2 ;;
        --sizes) (($# >= 2)) || die "$1 needs a value"; sizes=$2; shift 2 ;;
        --log) (($# >= 2)) || die "$1 needs a value"; log_file=$2; shift 2 ;;
        --runs) (($# >= 2)) || die "$1 needs a value"; runs=$2; shift 2 ;;
        --crlf) crlf=1; shift ;;
        -h|--help) usage; exit 0 ;;
        -*) die "unknown option '$1' (try --help)" ;;
        *) routes=$1; shift ;;
    esac
done

[[ -z $sizes ]] && sizes=$routes
for s in $sizes; do is_count "$s" || die "not a route count: '$s'"; done
if ! is_count "$runs" || ((runs == 0)); then die "--runs needs a positive integer"; fi
if [[ -n $log_file ]]; then
    [[ -f $log_file ]] || die "no such log file: $log_file"
    [[ $sizes == "$routes" ]] || die "--log and --sizes exclude each other"
    log_file=$(cd "$(dirname "$log_file")" && pwd)/$(basename "$log_file")
fi

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$repo_root/build-release

# ---------------------------------------------------------------- tools

gnu_time=/usr/bin/time
if [[ ! -x $gnu_time ]]; then
    echo "run-benchmark: $gnu_time is missing; installing the 'time' package" >&2
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y time >/dev/null ||
        { "${sudo_cmd[@]}" apt-get update >/dev/null && "${sudo_cmd[@]}" apt-get install -y time >/dev/null; }
    [[ -x $gnu_time ]] || die "could not install GNU time"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Build output goes to a file and is shown only when the build fails.
build_log=$scratch/build.log
build() {
    if ! "$@" >"$build_log" 2>&1; then
        tail -n 40 "$build_log" >&2
        die "build failed: $*"
    fi
}

targets=()
[[ -z ${KESTREL_CONVERT:-} ]] && targets+=(kestrel-convert)
[[ -z $log_file ]] && targets+=(kestrel-generate-log)
if ((${#targets[@]})); then
    if ! grep -qs '^CMAKE_BUILD_TYPE:STRING=Release$' "$build_dir/CMakeCache.txt"; then
        echo "run-benchmark: configuring $build_dir" >&2
        build cmake -S "$repo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_GUI=OFF
    fi
    echo "run-benchmark: building ${targets[*]}" >&2
    build cmake --build "$build_dir" -j"${JOBS:-2}" --target "${targets[@]}"
fi

convert=${KESTREL_CONVERT:-$build_dir/cli/kestrel-convert}
generate=$build_dir/bench/kestrel-generate-log
if [[ $convert != */* ]]; then
    convert=$(type -P "$convert") || die "KESTREL_CONVERT not found: ${KESTREL_CONVERT}"
fi
[[ -x $convert ]] || die "not executable: $convert"

# ---------------------------------------------------------------- helpers

# Wall-clock time in microseconds.
if [[ -n ${EPOCHREALTIME:-} ]]; then
    now_us() { local t=${EPOCHREALTIME}; echo "${t//[^0-9]/}"; }
else
    now_us() { local t; t=$(date +%s%N); echo "${t%???}"; }
fi

# Median of the numbers given as arguments.
median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

max_of() { printf '%s\n' "$@" | sort -n | tail -n 1; }

# run_timed NAME CMD...: runs CMD under GNU time with stdout to $scratch/out,
# appends the wall time (us) to times_NAME and the max RSS (KiB) to rss_NAME.
run_timed() {
    local name=$1; shift
    local memfile=$scratch/mem t0 t1
    t0=$(now_us)
    if ! "$gnu_time" -f %M -o "$memfile" "$@" >"$scratch/out"; then
        echo "run-benchmark: command failed: $*" >&2
        exit 1
    fi
    t1=$(now_us)
    eval "times_$name+=($((t1 - t0)))"
    eval "rss_$name+=($(tail -n 1 "$memfile"))"
}

# ---------------------------------------------------------------- runs

rows=()

bench_one() {
    local log=$1 label=$2
    local bytes lines
    bytes=$(stat -c %s "$log")
    lines=$(wc -l <"$log")

    # One untimed run of each brings the log into the page cache.
    cat "$log" >"$scratch/out"
    "$convert" -o "$scratch/out" "$log" || { echo "run-benchmark: $convert failed" >&2; exit 1; }

    times_cat=() rss_cat=() times_kes=() rss_kes=()
    local i
    for ((i = 0; i < runs; i++)); do
        run_timed cat cat "$log"
        run_timed kes "$convert" -o "$scratch/out" "$log"
    done
    local out_bytes
    out_bytes=$(stat -c %s "$scratch/out")

    local cat_us kes_us kes_rss cat_rss
    cat_us=$(median "${times_cat[@]}")
    kes_us=$(median "${times_kes[@]}")
    kes_rss=$(max_of "${rss_kes[@]}")
    cat_rss=$(max_of "${rss_cat[@]}")
    rows+=("$label $bytes $lines $out_bytes $cat_us $kes_us $cat_rss $kes_rss")
}

for n in $sizes; do
    if [[ -n $log_file ]]; then
        bench_one "$log_file" "-"
    else
        gen_args=(-n "$n" -o "$scratch/log")
        if ((crlf)); then gen_args+=(--crlf); fi
        t0=$(now_us)
        "$generate" "${gen_args[@]}"
        t1=$(now_us)
        printf 'run-benchmark: generated %s routes in %.2f s\n' "$n" \
            "$(awk -v us=$((t1 - t0)) 'BEGIN { print us / 1e6 }')" >&2
        bench_one "$scratch/log" "$n"
        rm -f "$scratch/log"
    fi
done

# ---------------------------------------------------------------- report

echo
echo "kestrel-convert: $convert"
[[ -n $log_file ]] && echo "log:             $log_file"
echo "runs:            $runs of each, alternating; median wall time"
echo
printf '%10s %9s %9s %9s %9s %9s %7s %9s %9s\n' \
    routes "log MiB" lines "out MiB" "cat s" "kestrel s" ratio "cat RSS" "kes RSS"
printf '%10s %9s %9s %9s %9s %9s %7s %9s %9s\n' \
    "" "" "" "" "" "" "" MiB MiB
worst_ratio=0 worst_rss=0
for row in "${rows[@]}"; do
    read -r label bytes lines out_bytes cat_us kes_us cat_rss kes_rss <<<"$row"
    awk -v label="$label" -v bytes="$bytes" -v lines="$lines" -v ob="$out_bytes" \
        -v c="$cat_us" -v k="$kes_us" -v cr="$cat_rss" -v kr="$kes_rss" 'BEGIN {
        ratio = c > 0 ? k / c : 0
        printf "%10s %9.1f %9d %9.1f %9.3f %9.3f %7.2f %9.1f %9.1f\n",
            label, bytes / 1048576, lines, ob / 1048576, c / 1e6, k / 1e6, ratio,
            cr / 1024, kr / 1024
    }'
    worst_ratio=$(awk -v a="$worst_ratio" -v c="$cat_us" -v k="$kes_us" \
        'BEGIN { r = c > 0 ? k / c : 0; print (r > a ? r : a) }')
    if ((kes_rss > worst_rss)); then worst_rss=$kes_rss; fi
done
echo
awk -v r="$worst_ratio" -v m="$worst_rss" 'BEGIN {
    printf "targets: time ratio <= 3.00 ... %s (worst %.2f)\n", (r <= 3 ? "met" : "MISSED"), r
    printf "         peak RSS < 32 MiB ..... %s (worst %.1f MiB)\n", (m < 32 * 1024 ? "met" : "MISSED"), m / 1024
}'
