#!/bin/bash
# The real kestrel program in batch mode, from a folder of its own that holds
# its settings file. Every argument is a log, converted in turn, on a dead
# display (so offscreen). The second log opens with a multipath route's
# second line: it takes the bracket of the first log's last route, as the
# window remembers it. One name is in Shift-JIS, one invalid in any encoding,
# and one reads like Qt's option. Failures are reported, one line each, and
# the batch goes on. A capture saved as .txt is not written over by the
# conversion of the log beside it, nor converted into itself. Qt's notes on
# an unusable runtime folder stay out of the report; the reasons are
# Japanese, the system's too. No failure box waits where nobody may be.
# Usage: batch_test.sh PROGRAM EXAMPLES_DIR COMPARE_WINDOW_PROGRAM
set -u
example=$2/ix-show-ip-route.log converted=$2/ix-show-ip-route.converted.log
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && cd "$dir" || exit 1
cp "$1" kestrel
printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n' >Kestrel.ini
cp Kestrel.ini ini
first=$(($(grep -n '^ *\[' "$converted" | head -n 1 | cut -d: -f1) - 1))
a=$'a\xff' b=$'b "c" \x83\x8d'
head -n $first "$example" | tr -d '\r' >"$a.log"
tail -n +$((first + 1)) "$example" >"$b.log"
cp "$example" c.log && cp "$example" c.txt
# The dead display: the first from :77 on that no X server holds, by its
# lock, its socket, or its socket in the abstract namespace.
display=77
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ] ||
  grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix 2>/dev/null; do
  display=$((display + 1))
done
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR DISPLAY=:$display TMPDIR=/proc \
  ./kestrel "$dir/$a.log" "$dir/missing.log" "" -style "$dir/$b.log" "$dir/c.log" "$dir/c.txt" 2>err
status=$?
missing=そのようなファイルやディレクトリはありません
printf 'kestrel: %s\n' "$dir/missing.log: $missing" "ファイル名が空なので何も変換しませんでした" "-style: $missing" \
  "$dir/c.log: 変換しませんでした。出力先 $dir/c.txt は変換するログの一つです" \
  "$dir/c.txt: 出力先がログそのものなので変換しませんでした（「ログファイル上書き」ならその場で変換します）" >err.wanted
[ $status = 1 ] && cmp err err.wanted && cat "$a.txt" "$b.txt" | cmp - "$converted" && cmp Kestrel.ini ini &&
  cmp c.txt "$example" && [ "$(ls | wc -l)" = 11 ] || { echo "FAILED: status $status; $(ls)" && cat err && exit 1; }
# A batch in which every log converts prints nothing and exits 0; without a
# log the window opens and stays, until a stop signal ends it.
env -u XDG_RUNTIME_DIR TMPDIR=/proc QT_QPA_PLATFORM=offscreen ./kestrel "$dir/c.log" 2>err
[ $? = 0 ] && [ ! -s err ] && cmp c.txt "$converted" || { echo "FAILED: a clean batch: $(cat err)" && exit 1; }
QT_QPA_PLATFORM=offscreen ./kestrel 2>err &
sleep 1 && kill -0 $! && kill -TERM $!
wait $!
[ $? = 143 ] || { echo "FAILED: the window without logs" && exit 1; }
# With a display (Qt's minimal platform stands in for one) and no terminal:
# started by no desktop session, as a scheduled job, the batch shows no box
# and ends at once; from a desktop session its failures wait in a box, and a
# stop signal ends the batch waiting there.
env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION QT_QPA_PLATFORM=minimal timeout -s KILL 20 ./kestrel missing.log \
  </dev/null 2>err
status=$?
[ $status = 1 ] && [ "$(cat err)" = "kestrel: missing.log: $missing" ] ||
  { echo "FAILED: a batch nobody watches: status $status: $(cat err)" && exit 1; }
XDG_CURRENT_DESKTOP=KDE QT_QPA_PLATFORM=minimal ./kestrel missing.log </dev/null 2>err &
for _ in $(seq 100); do [ -s err ] && break || sleep 0.1; done
sleep 0.5 && kill -0 $! && kill -TERM $!
for _ in $(seq 50); do kill -0 $! 2>/dev/null && sleep 0.1 || break; done
kill -KILL $! 2>/dev/null
wait $!
status=$?
# (The box on the minimal platform adds a note of Qt's.)
[ $status = 143 ] && [ "$(head -n 1 err)" = "kestrel: missing.log: $missing" ] ||
  { echo "FAILED: a batch at its box: status $status: $(cat err)" && exit 1; }
# kestrel-compare-window: its help on standard output, a failure to write it
# said; a third log is a usage error, said in one line.
"$3" --help | grep -q '^Usage: kestrel-compare-window \[LOG-A \[LOG-B\]\]$' && ! "$3" --help >/dev/full 2>err &&
  [ "$(cat err)" = "kestrel-compare-window: standard output: No space left on device" ] && "$3" a b c 2>err
status=$?
[ $status = 2 ] && [ "$(wc -l <err)" = 1 ] || { echo "FAILED: kestrel-compare-window a b c: $status $(cat err)" && exit 1; }
# A stop signal closes the comparison window as its close button does, and
# ends the program with 128 + the signal.
QT_QPA_PLATFORM=offscreen "$3" 2>err &
sleep 1 && kill -0 $! && kill -TERM $!
wait $!
status=$?
[ $status = 143 ] || { echo "FAILED: kestrel-compare-window stopped by SIGTERM: $status" && exit 1; }
