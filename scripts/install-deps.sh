#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrel needs to build and test, skipping
# those already installed. Uses sudo only when not run as root. Extra packages
# may be named as arguments; with --only, just those are installed.
set -euo pipefail

if [ "${1:-}" = --only ]; then
  shift
  packages=("$@")
else
  packages=(
    g++ cmake ninja-build pkg-config   # compiler and build
    googletest libgtest-dev            # engine and settings tests
    libsimpleini-dev                   # settings file
    libfmt-dev libcli11-dev            # kestrel-compare's reports and options
    chromium python3                   # kestrel-compare's HTML report in a browser, its JSON Lines read back
    qt6-base-dev                       # the window program
    qt6-translations-l10n              # the standard dialogs in Japanese
    fonts-ipafont-gothic               # Japanese captions
    clang-14 libclang-rt-14-dev        # fuzzing
    strace                             # a failing close, in the command-line tests
    dpkg-dev file nsis zip             # the packages (package.sh): Debian's, the Windows zip and installer
    lintian man-db unzip               # and their checks
    "$@"
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
