#!/usr/bin/env bash
# Renders the kestrel window on a virtual X display (Xvfb) under a window
# manager, so that its frame and icon show, and saves the pictures of README.md and docs/:
# docs/kestrel-window.png, the Qt window as it opens (Noto Sans CJK JP its
# only Japanese face),
# docs/kestrel-window-running.png, the window converting a log of a million
# routes, docs/kestrel-compare-window.png, the comparison window on the two
# example logs without their local routes (Noto too),
# docs/kestrel-window-win32.png, the native Windows window under Wine, and
# docs/kestrel-compare-window-win32.png, the Windows comparison window on the
# example logs as Send to starts it, local routes left out (both from the
# build of scripts/test-windows.sh, made first when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh xvfb xauth x11-utils imagemagick openbox xdotool pv fonts-noto-cjk
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target kestrel kestrel-compare-window kestrel-generate-log
[ -f build-windows/app/kestrel-compare-window.exe ] || bash scripts/test-windows.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/app/kestrel build/app/kestrel-compare-window build-windows/app/kestrel.exe \
  build-windows/app/kestrel-compare-window.exe "$work/"
cp examples/ix-show-ip-route.log examples/cisco-show-ip-route.log "$work/"
printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n[Compare]\r\nNoLocal=TRUE\r\n' > "$work/Kestrel.ini"
build/bench/kestrel-generate-log 1000000 >"$work/ix-full-table.log"
# The converted log goes into a pipe read at a steady pace, so that the run
# lasts long enough to be pictured while its lines are rewritten.
mkfifo "$work/ix-full-table.txt"
# The window's title carries the version CMake sets: major, then minor as two
# digits.
version() { sed -n "s/^#define KESTREL_VERSION_$1 //p" build/generated/kestrel_version.h; }
title=$(printf 'Kestrel Ver.%d.%02d' "$(version MAJOR)" "$(version MINOR)")

xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  set -e
  cd "$1"
  openbox >/dev/null 2>&1 &
  sleep 1
  title="$2"
  # shot DELAY FILE [TITLE]: waits for the window (the converter'"'"'s unless
  # titled otherwise), then DELAY seconds, and saves the window with its frame.
  shot() {
    local name=${3:-$title}
    for _ in $(seq 100); do xdotool search --name "$name" >/dev/null 2>&1 && break; sleep 0.02; done
    sleep "$1"
    import -frame -window "$(xdotool search --name "$name" | head -n 1)" "$2"
  }
  # The Qt window with Noto Sans CJK JP alone, as on a desktop without the
  # IPA faces.
  export FONTCONFIG_FILE="$3"
  QT_QPA_PLATFORM=xcb ./kestrel &
  pid=$!
  shot 0.5 window.png
  kill "$pid"
  wait "$pid" || true
  # A batch of one log, pictured while its lines are rewritten.
  pv -q -L 25m ix-full-table.txt >/dev/null &
  QT_QPA_PLATFORM=xcb ./kestrel ix-full-table.log &
  pid=$!
  shot 1.5 running.png
  wait "$pid"
  # The comparison window given the two example logs, which it compares at
  # once, the local routes left out as the settings say.
  QT_QPA_PLATFORM=xcb ./kestrel-compare-window ix-show-ip-route.log cisco-show-ip-route.log &
  pid=$!
  shot 1.5 compare.png 経路表の比較
  kill "$pid"
  wait "$pid" || true
  unset FONTCONFIG_FILE
  # The native window under a Wine of its own, with IPA'"'"'s faces standing in
  # for the Japanese Windows ones.
  export WINEPREFIX=$PWD/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
  wine wineboot --init >/dev/null 2>&1
  for face in "MS UI Gothic" "ＭＳ Ｐゴシック" "MS PGothic"; do
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "$face" /d IPAPGothic /f >/dev/null 2>&1
  done
  wine ./kestrel.exe &
  shot 2 win32.png
  wineserver -k
  wineserver -w
  # The comparison window started with two logs, as Send to starts it.
  title="経路表の比較"
  wine ./kestrel-compare-window.exe ix-show-ip-route.log cisco-show-ip-route.log &
  shot 3 compare-win32.png
  wineserver -k
' _ "$work" "$title" "$PWD/tests/frontend/qt/fonts-noto.conf"
cp "$work/window.png" docs/kestrel-window.png
cp "$work/running.png" docs/kestrel-window-running.png
cp "$work/compare.png" docs/kestrel-compare-window.png
cp "$work/win32.png" docs/kestrel-window-win32.png
cp "$work/compare-win32.png" docs/kestrel-compare-window-win32.png
echo "Saved docs/kestrel-window.png, docs/kestrel-window-running.png, docs/kestrel-compare-window.png," \
  "docs/kestrel-window-win32.png and docs/kestrel-compare-window-win32.png"
