#!/bin/bash
# kestrel-compare as a user runs it: a generated pair of tables with known
# differences (raw and converted IX, pieces, standard input), the formats
# (the HTML page in a real browser), errors and exit statuses.
# Usage: kestrel_compare_test.sh PROGRAM GENERATOR CONVERTER
set -u
program=$1 generate=$2 convert=$3
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && cd "$dir" || exit 1
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
# The prefix, status and kinds of each difference in a CSV report, as expected.csv lists them.
differences() { grep -v '^#' "$1" | tail -n +2 | cut -d, -f3-5; }

"$generate" 2000 7 . 20 && "$convert" ix.log >ixc.log || exit 1
[ "$(wc -l <expected.csv)" -ge 30 ] || fail "too few differences injected"
for a in ix.log ixc.log; do
  "$program" --ignore=local -o out.csv "$a" - <cisco.log
  [ $? = 1 ] && differences out.csv | cmp -s - expected.csv || fail "$a: $(differences out.csv | diff - expected.csv)"
done
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
[ $? = 1 ] && grep -qF "$(grep -m1 " ${only_a}" ix.log)" out.txt && grep -q "^not in B" out.txt || fail --explain

# JSON Lines: every record is JSON, the lines add up, the digests are the files', the
# warnings and unparsed lines (a log message, Shift-JIS text) are all listed.
message='%SYS-5-CONFIG_I: Configured from console by admin on vty0 (<10.0.0.1> & "x")'
cp cisco.log noisy.log && printf '%s\n\x83\x8d\x83\x4f\n' "$message" >>noisy.log
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
assert [r["text"] for r in records if r["type"] == "unparsed"] == [sys.argv[5], b"\x83\x8d\x83\x4f".decode("latin-1")]
' "$(sha256sum old.log noisy.log | cut -c1-64)" "$(wc -l <old.log) $(wc -l <noisy.log)" \
  "$(grep -c only-b expected.csv)" "$(grep -c '^L ' noisy.log)" "$message" || fail "JSON Lines report"

# The HTML page in a real browser: all the routes, then those only in B as its address asks;
# the rules, the warnings and the unparsed lines.
"$program" -o report.html --ignore=local old.log noisy.log
for view in all only-b; do
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$dir/chromium" \
    --dump-dom "file://$dir/report.html#${view/all/}" >$view.html 2>/dev/null
done
rows() { grep -o "<tr class=\"$2\" data-kinds=\"[a-z -]*\" data-i=" "$1.html" | wc -l; }
count=$(grep -c only-b expected.csv)
[ "$(rows all '[a-z-]*')" = "$(wc -l <expected.csv)" ] && [ "$(rows only-b only-b)" = "$count" ] &&
  [ "$(rows only-b '[a-z-]*')" = "$count" ] && grep -q "<span id=\"shown\">$count</span>" only-b.html &&
  grep -q "id=\"only-b\">$count<" only-b.html && grep -q "<li>ignored: local routes</li>" all.html &&
  grep -q 'data-i="0"><td>1</td><td></td><td>[0-9.]*/[0-9]*</td><td>[a-z-]*</td>' all.html &&
  [ "$(grep -o '<li class="warn">A old.log:' all.html | wc -l)" = "$(grep -c '"type":"warning"' out.jsonl)" ] &&
  grep -q "<td>B</td><td>noisy.log</td><td>$(($(wc -l <cisco.log) + 1))</td><td><pre>%SYS-5-CONFIG_I: .* (&lt;10.0.0.1&gt; &amp; \"x\")</pre>" all.html ||
  fail "HTML report"
# What differs, as the CSV report says it: a distance and a metric.
for kind in distance metric; do
  IFS=, read -r _ _ _ _ _ _ _ a b _ < <(grep -m1 ",differs,$kind," out.csv)
  grep -qF "$kind $a → $b" all.html || fail "HTML report: $kind $a → $b"
done

# Errors, one line each, and the exit statuses.
printf 'GigaEthernet*.0 GigabitEthernet*/0 extra\n' >bad.map
run() {  # STATUS ERROR ARGS...
  local status=$1 error=$2
  shift 2
  "$program" "$@" >/dev/null 2>err </dev/null
  [ $? = "$status" ] && [ "$(cat err)" = "${error:+kestrel-compare: $error}" ] || fail "$*: $(cat err)"
}
run 2 "none.log: No such file or directory" none.log cisco.log
run 2 ".: Is a directory" ix.log .
run 2 "bad.map: line 1: expected a name and what it becomes, with no more '*' on the right than on the left" \
  --ifmap=bad.map ix.log cisco.log
run 2 "cisco.log: input file is output file" -o cisco.log ix.log cisco.log
run 2 "name two logs, A and B (try 'kestrel-compare --help')" ix.log
run 2 "standard input can be read only once (try 'kestrel-compare --help')" - -
run 2 "--ignore: unknown 'ages' (try 'kestrel-compare --help')" --ignore=ages ix.log cisco.log
# Logs of a few MiB, read in several blocks, and a report that fills a pipe nobody reads.
"$generate" 20000 3 . 100 && "$program" --ignore=local -o big.csv ix.log cisco.log
differences big.csv | cmp -s - expected.csv || fail "logs of several blocks"
"$program" --format=csv ix.log cisco.log | head -c 1 >/dev/null
[ "${PIPESTATUS[0]}" = 141 ] || fail "a reader that goes away"
mkfifo fifo
"$program" fifo cisco.log >/dev/null 2>err &
sleep 0.5 && kill -TERM $! && wait $!
[ $? = 143 ] && [ ! -s err ] || fail "SIGTERM while waiting for a pipe: $(cat err)"
exit $failed
