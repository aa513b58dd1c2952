#!/bin/bash
# kestrel-compare as a user runs it: a generated pair of tables with known
# differences (raw and converted IX, pieces, standard input), the formats
# (the HTML page in a real browser), errors and exit statuses.
# Usage: kestrel_compare_test.sh PROGRAM GENERATOR CONVERTER
set -u
program=$1 generate=$2 convert=$3
manual=$(cd "$(dirname "$0")/../../docs" && pwd)/kestrel-compare.1
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && cd "$dir" || exit 1
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
# The prefix, status and kinds of each difference in a CSV report, as expected.csv lists them, after
# the heading on the first line.
differences() { [ "$(head -n 1 "$1" | cut -d, -f1-6)" = vrf,family,prefix,status,differences,accepted ] &&
  tail -n +2 "$1" | cut -d, -f3-5; }

"$generate" 2000 7 . 20 && "$convert" ix.log >ixc.log || exit 1
[ "$(wc -l <expected.csv)" -ge 30 ] || fail "too few differences injected"
for a in ix.log ixc.log; do
  "$program" --ignore=local -o out.csv "$a" - <cisco.log
  [ $? = 1 ] && differences out.csv | cmp -s - expected.csv || fail "$a: $(differences out.csv | diff - expected.csv)"
done
# Every injected difference accepted but the first, and one accepted that does not occur: the exit
# status is the one left's; --strict fails on the stale one.
{ echo '# known'; tail -n +2 expected.csv | cut -d, -f1; echo 'vrf NONE 10.0.0.0/8 metric'; } >known.accept
"$program" --ignore=local --accept=known.accept -o accepted.csv ix.log cisco.log
[ $? = 1 ] && [ "$(grep -c ',yes,' accepted.csv)" = $(($(wc -l <expected.csv) - 1)) ] ||
  fail "--accept: $(grep -vc ',yes,' accepted.csv)"
head -n 1 expected.csv | cut -d, -f1 >>known.accept
"$program" --ignore=local --accept=known.accept ix.log cisco.log >out.txt || fail "--accept, all accepted"
"$program" --ignore=local --strict --accept=known.accept ix.log cisco.log >out.txt 2>err
[ $? = 2 ] && grep -q "known.accept:[0-9]*: the accepted difference vrf NONE 10.0.0.0/8 no longer occurs" out.txt ||
  fail "--accept, a stale one: $(cat err)"
# The log cut in the middle of a multipath route: two pieces of one table.
cut=$(grep -n '^ ' ix.log | sed -n 100p | cut -d: -f1)
head -n $((cut - 1)) ix.log >a1.log && tail -n +"$cut" ix.log >a2.log
"$program" --ignore=local -o pieces.csv -a a1.log -a a2.log -b cisco.log
differences pieces.csv | cmp -s - expected.csv || fail "the log in two pieces"
"$program" ix.log ixc.log >out.txt
[ $? = 0 ] || fail "a log and its conversion differ: $(tail -3 out.txt)"
# The converter copies each route's own bracket, even under a route over an
# interface it does not swap; a bracket that disagrees (as older converters
# copied them) is a warning, and --strict fails on it.
"$program" --strict ix.log ixc.log >out.txt 2>err || fail "--strict, brackets as converted: $(cat err)"
awk '!done && /^ +\[[0-9]+\/[0-9]+\] via/ {sub(/\[[0-9]+\/[0-9]+\]/, "[254/99999]"); done = 1} 1' ixc.log >old.log
"$program" -v --strict ix.log old.log >out.txt 2>err
[ $? = 2 ] && grep -q '^  warning: old.log:[0-9]*: a next hop of .* carries \[254/99999\]' out.txt &&
  [ "$(grep -c '^  warning: ' out.txt)" = "$(sed -n 's/^B: \([0-9]*\) warnings$/\1/p' out.txt)" ] ||
  fail "--strict, a copied bracket that disagrees: $(cat err)"
only_a=$(grep -m1 only-a expected.csv | cut -d, -f1)
"$program" --explain "$only_a" ix.log cisco.log >out.txt
[ $? = 1 ] && grep -qx "$only_a: only in A" out.txt && grep -qx "A ix.log:[0-9]* (default table)" out.txt &&
  grep -qF "$(grep -m1 " ${only_a}" ix.log)" out.txt && grep -q "^not in B" out.txt || fail --explain
# An address: the longest prefix holding it on each side, as JSON Lines with the verdict and the raw lines.
IFS=, read -r prefix _ < <(grep -m1 ',differs,metric' expected.csv)
"$program" --format=jsonl --explain="${prefix%/*}" ix.log cisco.log | python3 -c '
import json, sys
routes = {r["prefix"]: r for r in map(json.loads, sys.stdin)}
r = routes[sys.argv[1]]
assert (r["status"], r["differences"], r["vrf"]) == ("differs", ["metric"], ""), r
assert all(sys.argv[1].split("/")[0] in r[side]["text"] for side in "ab"), r
' "$prefix" || fail "--explain an address, as JSON Lines"

# JSON Lines: every record is JSON, the lines add up, the digests are the files', the
# warnings and unparsed lines (a log message, Shift-JIS text) are all listed.
message='%SYS-5-CONFIG_I: Configured from console by admin on vty0 (<10.0.0.1> & "x")'
cp cisco.log noisy.log && printf '%s\n\x83\x8d\x83\x4f\n\xff\x83\n' "$message" >>noisy.log
"$program" --format=jsonl --ignore=local old.log noisy.log >out.jsonl
python3 -c '
import json, sys
records = [json.loads(line) for line in open("out.jsonl", encoding="utf-8")]
inputs, summary = records[0]["inputs"], records[1]
assert [i["sha256"] for i in inputs] == sys.argv[1].split()
assert [i["lines"] for i in inputs] == [int(n) for n in sys.argv[2].split()]
assert all(i["lines"] == i["header"] + i["route"] + i["continuation"] + i["unparsed"] for i in inputs)
assert summary["only_b"] == int(sys.argv[3]) == summary["kinds"]["only-b"]
assert sum(r["type"] == "route" for r in records) == summary["differ"] + summary["only_a"] + summary["only_b"]
assert summary["routes_a"] == summary["same"] + summary["differ"] + summary["only_a"] == inputs[0]["route"]
assert summary["warnings"] == sum(r["type"] == "warning" for r in records) > 0
assert [summary["left_out_a"], summary["left_out_b"]] == [0, int(sys.argv[4])]
assert [(r["text"], r.get("raw")) for r in records if r["type"] == "unparsed"] == \
  [(sys.argv[5], None), ("\u30ed\u30b0", None), ("\\xff\\x83", "ff83")]
' "$(sha256sum old.log noisy.log | cut -c1-64)" "$(wc -l <old.log) $(wc -l <noisy.log)" \
  "$(grep -c only-b expected.csv)" "$(grep -c '^L ' noisy.log)" "$message" || fail "JSON Lines report"

# The HTML page in a real browser: all the routes, then those only in B as its address asks;
# the rules, the warnings and the unparsed lines.
"$program" -o report.html --ignore=local old.log noisy.log
page() {  # REPORT ADDRESS DOM: the page as the browser draws it, its address ending in #ADDRESS
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$dir/chromium" \
    --dump-dom "file://$dir/$1#$2" >"$3" 2>/dev/null
}
page report.html "" all.html && page report.html only-b only-b.html
rows() { grep -o "<tr class=\"$2\" data-kinds=\"[a-z -]*\" data-i=" "$1.html" | wc -l; }
count=$(grep -c only-b expected.csv)
[ "$(rows all '[a-z-]*')" = "$(wc -l <expected.csv)" ] && [ "$(rows only-b only-b)" = "$count" ] &&
  [ "$(rows only-b '[a-z-]*')" = "$count" ] && grep -q "<span id=\"shown\">$count</span>" only-b.html &&
  grep -q "id=\"only-b\">$count<" only-b.html && grep -q "<li>ignored: local routes</li>" all.html &&
  grep -q 'data-i="0"><td>1</td><td></td><td>[0-9.]*/[0-9]*</td><td>[a-z-]*</td>' all.html &&
  [ "$(grep -o '<li class="warn">A old.log:' all.html | wc -l)" = "$(grep -c '"type":"warning"' out.jsonl)" ] &&
  grep -q "<td>B</td><td>noisy.log</td><td>$(($(wc -l <cisco.log) + 1))</td><td><pre>%SYS-5-CONFIG_I: .* (&lt;10.0.0.1&gt; &amp; \"x\")</pre>" all.html &&
  grep -q '<pre>ログ</pre>' all.html || fail "HTML report"
# What differs, as the CSV report says it: a distance and a metric.
for kind in distance metric; do
  IFS=, read -r _ _ _ _ _ _ _ _ a b _ < <(grep -m1 ",differs,$kind," out.csv)
  grep -qF "$kind $a → $b" all.html || fail "HTML report: $kind $a → $b"
done

# Many differences: 500 drawn at a time, the count saying so, a button for more only when more match;
# the search looks in every row, the lines sort by number; a malformed address, and a log's name
# holding "<!--<script>", leave the page whole.
many=$'a<!--<script>.log'
for i in $(seq 500 -1 0); do echo "S    10.$((i / 200)).$((i % 200)).0/24 [1/0] via 10.0.0.1"; done >"$many"
for i in $(seq 0 499); do echo "S    10.$((i / 200)).$((i % 200)).0/24 [1/0] via 10.0.0.2"; done >b.log
"$program" -o many.html "$many" b.log
page many.html '%&sort=lines' sorted.html && page many.html next-hops hops.html &&
  page many.html search=10.2.100. found.html
drawn() { grep -o '<span id="shown">[0-9,]*</span> of <span id="matching">[0-9,]*' "$1" | sed 's/<[^>]*>//g'; }
[ "$(drawn sorted.html)" = "500 of 501" ] && grep -q '<span id="more">' sorted.html &&
  [ "$(grep -o '<td>A [0-9]*' sorted.html | cut -c7- | tr '\n' ' ')" = "$(seq 500 | tr '\n' ' ')" ] &&
  [ "$(drawn hops.html)" = "500 of 500" ] && grep -q '<span id="more" hidden' hops.html &&
  [ "$(drawn found.html)" = "1 of 1" ] && grep -q '<td>10.2.100.0/24</td><td>only-a</td>' found.html ||
  fail "HTML report of many differences"

# What reaches a spreadsheet or a terminal from the logs and their names: formulas made text, line ends
# and other control characters escaped (a record a line), bidirectional overrides too, Shift-JIS
# decoded; next hops set apart from their interfaces; the byte-order mark Excel wants, when asked for;
# the differences within 80 columns.
evil=$'=1+2\n.log'
{
  cat noisy.log && printf '\e]0;title\a \xe2\x80\xae tail\n'
  for vrf in '=HYPERLINK("http://x")' -2+3 '@SUM(A1)'; do printf 'Routing Table: %s\nS 10.0.0.0/8 [1/0] via 10.0.0.1\n' "$vrf"; done
} >"$evil"
"$program" --csv-bom -o evil.csv --ignore=local old.log "$evil"
python3 - "$(wc -l <expected.csv)" <<'PY' || fail "CSV report: formulas, line ends, next hops, byte-order mark"
import csv, io, sys
data = open("evil.csv", "rb").read()
assert data.startswith(b"\xef\xbb\xbf")
rows = list(csv.reader(io.StringIO(data[3:].decode("utf-8"), newline="")))
assert len(rows) == int(sys.argv[1]) + 4 == len(data.splitlines()) and all(len(r) == len(rows[0]) for r in rows)
cells = [c for r in rows for c in r]
assert not any(c[:1] in ("=", "+", "-", "@", "\t", "\r") for c in cells)
assert {r[0] for r in rows[1:]} == {"", "'=HYPERLINK(\"http://x\")", "'-2+3", "'@SUM(A1)"}
assert "'=1+2\\n.log" in cells and any("; " in c for c in cells)
PY
"$program" -v --show-unparsed --ignore=local old.log "$evil" >out.txt
! grep -q $'[\e\a]' out.txt && ! grep -qF $'\xe2\x80\xae' out.txt && grep -qF '\x1b]0;title\x07 \u202e tail' out.txt &&
  grep -q '^  =1+2\\n.log:[0-9]*: ログ$' out.txt && [ "$(sed -n '/^differences:/,$p' out.txt | awk 'length > 80')" = "" ] ||
  fail "text report: control characters, Shift-JIS, 80 columns"

# Errors, one line each, and the exit statuses.
printf 'GigaEthernet*.0 GigabitEthernet*/0 extra\n' >bad.map
run() {  # STATUS ERROR ARGS..., reading $stdin and appending to $stdout when set
  local status=$1 error=$2
  shift 2
  timeout 20 "$program" "$@" >>"${stdout:-/dev/null}" 2>err <"${stdin:-/dev/null}"
  [ $? = "$status" ] && [ "$(cat err)" = "${error:+kestrel-compare: $error}" ] || fail "$*: $(cat err)"
}
run 2 "none.log: No such file or directory" none.log cisco.log
run 2 ".: Is a directory" ix.log .
printf '10.1.0.0 metric\n' >bad.accept
run 2 "bad.accept: line 1: expected a prefix with its length, such as 10.1.0.0/16, not '10.1.0.0'" \
  --accept=bad.accept ix.log cisco.log
run 2 "bad.map: line 1: expected a name and what it becomes, with no more '*' on the right than on the left" \
  --ifmap=bad.map ix.log cisco.log
run 2 "cisco.log: input file is output file" -o cisco.log ix.log cisco.log
# A report over a log by another way, one pipe read as two logs, a log missing on side B while side A
# waits for its writer: refused at once, by the files' identities, the logs untouched.
cp cisco.log cisco.orig && mkfifo pipe
stdin=cisco.log run 2 "standard input: input file is output file" -o /proc/self/fd/0 - ix.log
stdout=cisco.log run 2 "cisco.log: input file is output file" ix.log cisco.log
cmp -s cisco.log cisco.orig || { fail "a log written over"; cp cisco.orig cisco.log; }
cat ix.log >pipe & stdin=pipe run 2 "/dev/stdin: the same pipe as /dev/stdin, which can be read only once" /dev/stdin /dev/stdin
cat ix.log >pipe & stdin=pipe run 2 "standard input: the same pipe as /dev/stdin, which can be read only once" /dev/stdin -
run 2 "none.log: No such file or directory" pipe none.log
run 2 $'\xe3\x83\xad\\u0085\\x85\\u202e\xe0.log: No such file or directory' $'\xe3\x83\xad\xc2\x85\x85\xe2\x80\xae\xe0.log' ix.log
stdout=/dev/full run 2 "standard output: No space left on device" --help
stdout=/dev/full run 2 "standard output: No space left on device" --version
run 2 "/dev/full: No space left on device" -o /dev/full ix.log cisco.log
run 2 "--explain: not a prefix nor an address: '10.1.0.0/16junk' (try 'kestrel-compare --help')" --explain=10.1.0.0/16junk ix.log cisco.log
run 2 "--explain: not a prefix nor an address: '/abc' (try 'kestrel-compare --help')" --explain=/abc ix.log cisco.log
run 1 "" -o csv ix.log cisco.log
grep -q '^kestrel-compare ' csv || fail "-o csv: not the text report"
run 2 "name two logs, A and B (try 'kestrel-compare --help')" ix.log
run 2 "standard input can be read only once (try 'kestrel-compare --help')" - -
run 2 "--ignore: unknown 'ages' (try 'kestrel-compare --help')" --ignore=ages ix.log cisco.log
cp ix.log '[a,b]' && run 0 "" '[a,b]' ix.log
# Usage errors as kestrel-convert says them; long options spelled out in full.
run 2 "unknown option '--ign' (try 'kestrel-compare --help')" --ign=local ix.log cisco.log
run 2 "unknown option '-x' (try 'kestrel-compare --help')" ix.log cisco.log -vx
run 2 "option '--ifmap' needs a value (try 'kestrel-compare --help')" ix.log cisco.log --ifmap
run 2 "option '--strict' takes no value (try 'kestrel-compare --help')" --strict=yes ix.log cisco.log
"$program" --help >help
for option in $(sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.TP/{n;p}}' "$manual" | sed 's/\\-/-/g; s/\\f.//g' |
  grep -oE -- '(^|[ "])--?[a-zA-Z][a-zA-Z-]*' | tr -d ' "'); do
  grep -qE -- "(^| )$option([ ,=]|$)" help || fail "--help does not name $option"
done
# The line ends and encodings captures come in: CR alone, UTF-16 with its mark (Windows PowerShell 5's
# `>`, both byte orders), a UTF-8 mark. The same table read each way, a difference still found.
head -n 400 cisco.log >c.log
tr '\n' '\r' <c.log >c-cr.log
iconv -f UTF-8 -t UTF-16LE c.log | { printf '\xff\xfe'; cat; } >c-le.log
{ printf '\xef\xbb\xbf'; cat c.log; } >c-bom.log
sed 's/\[110\/\([0-9]*\)\]/[110\/9\1]/' c.log | iconv -f UTF-8 -t UTF-16BE | { printf '\xfe\xff'; cat; } >c-be.log
for variant in c-cr.log c-le.log c-bom.log; do
  "$program" c.log $variant >out.txt 2>err || fail "$variant: $(cat err; tail -3 out.txt)"
done
{ printf '\xef\xbb\xbf'; sleep 0.3; cat c.log; } | "$program" c.log - >out.txt 2>err ||
  fail "a byte-order mark alone first in a pipe: $(cat err; tail -3 out.txt)"
"$program" -v c-cr.log c-be.log >out.txt
[ $? = 1 ] && grep -q "metric \[110/[0-9]*\] -> \[110/9" out.txt || fail "UTF-16 BE against CR: the metrics differ"
# Logs from which no route is read prove nothing: trouble, --strict or not; two empty logs are the same.
printf 'R1#show ip route summary\nIP routing table name is default (0x0)\n' >summary.log
printf "%% Invalid input detected at '^' marker.\n" >invalid.log
: >empty.log
head -c 100000 /dev/urandom >random.log
nothing="no route could be read from logs that are not empty: not \`show ip route\` output?"
run 2 "A: $nothing" summary.log invalid.log
run 2 "A: $nothing" random.log /dev/null
run 2 "B: $nothing" cisco.log invalid.log
run 0 "" empty.log /dev/null
printf 'x%.0s' $(seq 70000) >long.log
run 2 "long.log: line 1 is longer than 64 KiB: this is no routing table" long.log cisco.log
yes "$(printf 'no route here %.0s' $(seq 4000))" | head -c 70M >junk.log  # few lines: quick to read
run 2 "junk.log: no route in its first 64 MiB: this is no routing table" cisco.log junk.log
rm -f junk.log
# Logs of a few MiB, read in several blocks, and a report that fills a pipe nobody reads.
"$generate" 20000 3 . 100 && "$program" --ignore=local -o big.csv ix.log cisco.log
differences big.csv | cmp -s - expected.csv || fail "logs of several blocks"
"$program" --format=csv ix.log cisco.log | head -c 1 >/dev/null
[ "${PIPESTATUS[0]}" = 141 ] || fail "a reader that goes away"
mkfifo fifo
"$program" fifo cisco.log >/dev/null 2>err &
sleep 0.5 && kill -TERM $! && wait $!
[ $? = 143 ] && [ ! -s err ] || fail "SIGTERM while waiting for a pipe: $(cat err)"
# Standard input a pipe that keeps silent, read on the other side's thread: Ctrl-C stops it at once,
# whichever thread the signal reaches.
for round in 1 2 3; do
  start=$(date +%s%N)
  "$program" - cisco.log >/dev/null 2>err < <(sleep 8) &
  sleep 0.3 && kill -INT $! && wait $!
  status=$? elapsed=$((($(date +%s%N) - start) / 1000000))
  [ $status = 130 ] && [ $elapsed -lt 3000 ] || fail "Ctrl-C, a silent standard input: $status after $elapsed ms"
done
# A stop that comes between two writes of the report is seen before the second: strace holds the
# first one back once it has written, while the signal comes.
if strace -o /dev/null true 2>/dev/null; then
  ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 strace -o /dev/null -e trace=write \
    -e inject=write:delay_exit=1000000:when=1 "$program" --format=html ix.log cisco.log >out.html 2>err &
  for _ in {1..2000}; do [ -s out.html ] && break; sleep 0.01; done
  kill -INT "$(pgrep -P $!)" && wait $!
  [ $? = 130 ] || fail "a stop between two writes: $(cat err)"
fi
exit $failed
