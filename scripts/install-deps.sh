#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrel needs, skipping those already
# installed. Uses sudo only when not run as root.
#
#   install-deps.sh [PACKAGE...]          to build and to test (scripts/test.sh)
#   install-deps.sh --build [PACKAGE...]  to build the programs, the window
#                                         included, without the tests
#   install-deps.sh --only PACKAGE...     just the packages named
#
# Extra packages may be named as arguments.
set -euo pipefail

# Building the programs: kestrel (Qt), kestrel-convert and kestrel-compare.
build=(
  g++ cmake ninja-build pkg-config   # compiler and build
  libsimpleini-dev                   # settings file
  libfmt-dev libcli11-dev            # kestrel-compare's reports and options
  qt6-base-dev                       # the window program
)
# Testing them, besides: scripts/test.sh.
tests=(
  googletest libgtest-dev            # the unit tests
  chromium python3                   # kestrel-compare's HTML report in a browser, its JSON Lines read back
  qt6-translations-l10n              # the standard dialogs in Japanese
  fonts-ipafont-gothic fonts-noto-cjk  # Japanese captions, fitted in either face
  libc-l10n locales-all                # the C library's Japanese texts for the window's reasons, as the .deb has them
  clang-14 libclang-rt-14-dev        # fuzzing
  strace                             # a failing close, in the command-line tests
  dpkg-dev file nsis zip             # the packages (package.sh): Debian's, the Windows zip and installer
  lintian man-db unzip               # and their checks
  desktop-file-utils                 # the desktop entry's
)

case "${1:-}" in
  --only) shift; packages=("$@") ;;
  --build) shift; packages=("${build[@]}" "$@") ;;
  *) packages=("${build[@]}" "${tests[@]}" "$@") ;;
esac

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
