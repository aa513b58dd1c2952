#!/bin/bash
# kestrel-convert as a user runs it: the real program, its arguments, pipes,
# signals and limits.
# Usage: kestrel_convert_test.sh PROGRAM EXAMPLES_DIR VERSION
set -u
program=$1 example=$2/ix-show-ip-route.log converted=$2/ix-show-ip-route.converted.log version=$3
manual=$2/../docs/kestrel-convert.1
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && cd "$dir" || exit 1
export TMPDIR=$dir
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# run STATUS WANTED_OUTPUT WANTED_ERROR STDIN ARGS...: one call of the
# program, whose standard error is those lines, or nothing.
run() {
  local status=$1 output=$2 error=$3 in=$4 got
  shift 4
  timeout 60 "$program" "$@" <"$in" >out 2>err
  got=$?
  if [ -n "$error" ]; then printf '%s\n' "$error" | sed 's/^/kestrel-convert: /' >err.wanted; else : >err.wanted; fi
  [ "$got" = "$status" ] && cmp -s out "$output" && cmp -s err err.wanted ||
    fail "kestrel-convert $* <$in: status $got: $(cat err)"
}

cp "$example" ./-x.log
printf 'kestrel-convert %s\n' "$version" >version
usage="(try 'kestrel-convert --help')"
run 0 "$converted" "" /dev/null "$example"
run 0 "$converted" "" "$example"
run 0 "$converted" "" "$example" -
run 0 "$converted" "" /dev/null -o - "$example"
run 0 "$converted" "" /dev/null -- -x.log
run 0 "$converted" "" /dev/null "$example" --output -
run 0 /dev/null "" /dev/null -o -y.txt -- -x.log
cmp -s ./-y.txt "$converted" || fail "-o -y.txt"
run 0 version "" /dev/null --version
run 1 /dev/null "none.log: No such file or directory" /dev/null none.log
run 1 /dev/null ".: Is a directory" /dev/null .
run 1 /dev/null "/dev/full: No space left on device" /dev/null -o /dev/full "$example"
run 0 /dev/null "" /dev/null -o $'a\nb.log' "$example"
cmp -s $'a\nb.log' "$converted" || fail "-o a\\nb.log"
run 1 /dev/null 'none\n\t\x1b.log: No such file or directory' /dev/null $'none\n\t\x1b.log'
run 1 /dev/null $'\xe3\x83\xad\\u0085\\x85\\u202e\xe0.log: No such file or directory' /dev/null \
  $'\xe3\x83\xad\xc2\x85\x85\xe2\x80\xae\xe0.log'
run 2 /dev/null "unknown option '-x' $usage" /dev/null -xV
run 2 /dev/null "unknown option '-q' $usage" /dev/null a.log -qz
run 2 /dev/null "unknown option '--bogus' $usage" /dev/null --bogus=1
run 2 /dev/null "option '-o' needs a value $usage" /dev/null -o
run 2 /dev/null "option '--suffix' needs a value $usage" /dev/null a.log --suffix
run 2 /dev/null "unknown option '--suf' $usage" /dev/null --suf=.txt a.log
run 2 /dev/null "option '--in-place' takes no value $usage" /dev/null --in-place=yes a.log
run 2 /dev/null "empty file name $usage" /dev/null ""
run 2 /dev/null "-o takes one log; use -i or --suffix for several $usage" /dev/null -o x a b
run 2 /dev/null "-i and --suffix need log files $usage" /dev/null -i
run 2 /dev/null "--suffix needs an extension, such as .txt $usage" /dev/null --suffix= a.log
run 2 /dev/null "--suffix needs an extension, not a path ('../x') $usage" /dev/null --suffix=../x a.log
run 2 /dev/null "--suffix needs an extension without control characters ('.t\\nx') $usage" /dev/null --suffix=$'.t\nx' a.log
run 1 /dev/null "/dev/stdin: not a log file; --suffix writes beside log files only" /dev/null --suffix=.txt /dev/stdin
run 1 /dev/null "/dev/fd/0: not a log file; --suffix writes beside log files only" "$example" --suffix=.txt /dev/fd/0
for option in --help --version; do
  "$program" $option >/dev/full 2>err
  [ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: standard output: No space left on device" ] || fail "$option >/dev/full"
done
"$program" --help >help
for status in '0 ' '1 ' '2 ' 129 130 141 143; do grep -q -- "$status" help || fail "--help: no status $status"; done
# The help names every option the manual page documents.
for option in $(sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.TP/{n;p}}' "$manual" | sed 's/\\-/-/g; s/\\f.//g' |
  grep -oE -- '(^|[ "])--?[a-zA-Z][a-zA-Z-]*' | tr -d ' "'); do
  grep -qE -- "(^| )$option([ ,=]|$)" help || fail "--help does not name $option"
done
script -qec "'$program'" /dev/null </dev/null >tty
[ $? = 2 ] && grep -q "^kestrel-convert: no input: name a log, or pipe one in $usage" tty || fail "a terminal as input"
# Progress shows on the terminal of a slow run, unless the converted text goes there too.
script -qec "(echo a; sleep 1.5; echo b) | '$program' -o out" /dev/null </dev/null >tty
grep -q "standard input 0 lines" tty || fail "no progress on the terminal"
script -qec "(echo a; sleep 1.5; echo b) | '$program'" /dev/null </dev/null >tty
grep -q "lines" tty && fail "progress among the converted text"

# Several logs are one table: the route head carries from each to the next,
# whether they go to standard output, in place or beside themselves, and a
# log that fails does not stop the others. The first ends just before a
# multipath route's second line.
first=$(($(grep -n '^ *\[' "$converted" | head -n 1 | cut -d: -f1) - 1))
head -n $first "$example" | tr -d '\r' >a.log
tail -n +$((first + 1)) "$example" >b.log
run 0 "$converted" "" /dev/null a.log b.log
run 1 /dev/null "none.log: No such file or directory" /dev/null --suffix=txt a.log none.log b.log
cat a.txt b.txt | cmp -s - "$converted" || fail "--suffix=txt"
run 0 /dev/null "" /dev/null -i a.log b.log
cat a.log b.log | cmp -s - "$converted" || fail "-i"
# Logs with outputs of their own: none is written over, none converted
# twice, and a log is its own output only when in place is asked for.
cp "$example" ix1.log && cp "$example" ix1.txt && cp "$example" r1.cfg && cp "$example" r1.log
run 1 /dev/null "ix1.log: not converted, its output ix1.txt is one of the logs to convert
ix1.txt: not converted, the output is the log itself (-i converts a log in place)" /dev/null --suffix=.txt ix1.log ix1.txt
run 1 /dev/null "r1.cfg: not converted, its output r1.txt holds the conversion of r1.log" /dev/null --suffix=.txt r1.log r1.cfg
run 1 /dev/null "./ix1.log: not converted, the same file as ix1.log, named before" /dev/null -i ix1.log ./ix1.log
cmp -s ix1.txt "$example" && cmp -s ix1.log "$converted" && cmp -s r1.txt "$converted" || fail "a log written over"
# Only a file can be converted in place; a pipe is refused at once.
mkfifo p.fifo
for args in "-i p.fifo" "-o p.fifo p.fifo"; do
  run 1 /dev/null "p.fifo: not a regular file, so it cannot be converted in place" /dev/null $args
done
# Where the user points the output, it goes: through /dev/stdout into a
# pipe, through a link to a file still to be made, and from a folder whose
# path is longer than the system's limit on paths.
"$program" -o /dev/stdout "$example" | cmp -s - "$converted" || fail "-o /dev/stdout into a pipe"
ln -s made.txt link.txt && run 0 /dev/null "" /dev/null -o link.txt "$example"
cmp -s made.txt "$converted" || fail "-o a dangling link"
(deep=$(printf 'd%.0s' {1..250}) && for _ in {1..17}; do mkdir "$deep" && cd "$deep" || exit 1; done &&
  cp "$example" a.log && "$program" -o out.txt a.log && "$program" -i a.log && cmp -s a.log out.txt &&
  cmp -s out.txt "$converted") || fail "a folder deeper than PATH_MAX"
# A write error that shows only when standard output is closed is reported.
# (LeakSanitizer cannot stop the threads of a process that strace traces.)
if strace -o /dev/null true 2>/dev/null; then
  ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 strace -f -o /dev/null -P "$PWD/out" -e trace=close -e inject=close:error=EIO "$program" "$example" >out 2>err
  [ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: standard output: Input/output error" ] || fail "closing standard output"
fi

# The log as its own standard output, named by -o or not, is refused, as cat
# refuses it; standard output is written where the shell opened it, and when
# it is closed nothing else passes for it.
cp "$example" a.log
for args in a.log "-o /dev/stdout a.log" "-o /dev/fd/1 a.log"; do
  "$program" $args >>a.log 2>err
  [ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: a.log: input file is output file" ] && cmp -s a.log "$example" ||
    fail "the log as its own standard output: $args"
  "$program" $args >&- 2>err
  [ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: standard output: closed; nothing can be written to it" ] &&
    cmp -s a.log "$example" || fail "standard output closed: $args"
done
echo old >archive && "$program" -o /dev/stdout a.log >>archive && (echo old && cat "$converted") | cmp -s - archive ||
  fail "-o /dev/stdout >>archive"

# A reader that goes away ends the program as it ends cat; a stop signal
# ends it whatever it waits on; a file size limit is a write error.
yes 'a, GigaEthernet0.0, 0:01:02' | head -n 1000000 >big.log
cp big.log big.orig
mkfifo fifo
"$program" fifo >out 2>err &  # a pipe whose writer comes late and writes slowly
(sleep 0.2 && printf 'a, Giga0, t\n' && sleep 0.3 && printf 'b, Giga1, t\n') >fifo
wait $!
[ $? = 0 ] && [ "$(cat out)" = $'a, t, Giga0\r\nb, t, Giga1\r' ] || fail "a slow writer: $(cat err)"
"$program" big.log >fifo 2>err &
head -c 1 fifo >/dev/null
wait $!
[ $? = 141 ] && [ ! -s err ] || fail "a reader that goes away: $(cat err)"
# Lines another program appends to a log converted in place stay in it.
cp big.orig grow.log
"$program" -i grow.log 2>err &
while [ -d /proc/$! ]; do printf 'x, Giga0, t\n' >>grow.log; done
wait $!
[ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: grow.log: changed by another program during the conversion; left as it is" ] &&
  [ "$(tail -n 1 grow.log)" = 'x, Giga0, t' ] && head -n 1000000 grow.log | cmp -s - big.orig ||
  fail "lines appended during a conversion in place: $(cat err)"
set -m  # programs started in the background take SIGINT, as from a terminal
# stop SIGNAL STATUS [thread]: stops the program started last, once it has
# had the time to reach where it waits, however slowly a loaded machine
# starts it; with `thread`, sent by way of a thread that reads or writes
# beside the run, which the system gives it to unless that thread keeps it
# away. A program still there after ten seconds is killed.
stop() {
  local pid=$! i=0 mask
  while ((i++ < 1000)); do
    [ "$(cat /proc/$pid/comm)" = kestrel-convert ] && mask=$(awk '/^SigCgt/ {print $2}' /proc/$pid/status) &&
      ((0x$mask >> ($1 - 1) & 1)) && break
    sleep 0.01
  done
  ((i > 1000)) && fail "signal $1 is not caught"
  sleep 0.2
  kill -$1 $([ $# = 3 ] && ls /proc/$pid/task | grep -vx $pid | head -n 1 || echo $pid)
  for ((i = 0; i < 100; i++)); do grep -qs '^State:.*Z' /proc/$pid/status || [ ! -d /proc/$pid ] && break; sleep 0.1; done
  kill -9 $pid 2>/dev/null
  wait $pid
  [ $? = $2 ] && cmp -s big.log big.orig || fail "signal $1: $(cat err)"
}
"$program" big.log >fifo 2>err &  # writing to a pipe nobody reads
exec 3<fifo
stop 2 130
exec 3<&-
exec 3<>fifo
"$program" -o out <fifo 2>err &  # standard input a pipe that keeps silent
stop 2 130 thread
exec 3<&-
"$program" -o fifo big.log 2>err &  # opening a pipe nobody reads
stop 15 143
"$program" fifo >out 2>err &  # waiting for a pipe's writer
stop 1 129
(ulimit -f 8 && exec "$program" -o out big.log) 2>err
[ $? = 1 ] && [ "$(cat err)" = "kestrel-convert: out: File too large" ] || fail "ulimit -f: $(cat err)"

ls -A | grep -q '\.tmp$' && fail "a replacement was left: $(ls -A)"
exit $failed
