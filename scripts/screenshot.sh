#!/usr/bin/env bash
# Renders the kestrel window on a virtual X display (Xvfb) and saves it as
# docs/kestrel-window.png, the picture the README shows.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh xvfb xauth x11-utils imagemagick
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)" --target kestrel

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/app/kestrel "$work/"
printf '[Kestrel]\r\nFileExt=.txt\r\nOverWrite=FALSE\r\n' > "$work/Kestrel.ini"

xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash -c '
  set -e
  cd "$1"
  QT_QPA_PLATFORM=xcb ./kestrel &
  pid=$!
  for _ in $(seq 50); do
    xwininfo -name "Kestrel Ver.0.20" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 0.5
  import -window "Kestrel Ver.0.20" window.png
  kill "$pid"
' _ "$work"
cp "$work/window.png" docs/kestrel-window.png
echo "Saved docs/kestrel-window.png"
