#!/usr/bin/env bash
# Makes Kestrel's packages in dist/, with the version CMakeLists.txt sets:
#
#   kestrel_VERSION_amd64.deb     the Debian package (CPack): the three
#                                 programs, manual pages, desktop entry, icons
#   Kestrel-VERSION-win64.zip     the Windows programs, a read-me, the licence
#   Kestrel-VERSION-setup.exe     the Windows installer (NSIS)
#   SHA256SUMS
#
# Same sources, same bytes: every time stored is the last commit's
# (SOURCE_DATE_EPOCH), the programs carry neither debug information nor the
# build's folders nor a link time, and the archives hold their files in
# order. Both builds start afresh: a file left by an earlier build (Qt's
# compiled-in resources keep the commit's time) would differ. With --check,
# everything is made a second time from the last commit in another folder
# (build-again/), and the two sets are compared byte for byte.
# scripts/test.sh checks what the packages install. Installs what is missing
# (through sudo when not root); KESTREL_JOBS sets the number of compile jobs
# (all processors by default).
set -euo pipefail
trap 'echo "package.sh: failed at line $LINENO" >&2' ERR
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --build dpkg-dev file g++-mingw-w64-x86-64-posix nsis zip

if [ "${1:-}" = --check ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "package.sh: --check compares with the last commit; commit the changes first" >&2
  exit 1
fi
root=$PWD
dist=$root/dist
jobs=${KESTREL_JOBS:-$(nproc)}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
umask 022
rm -rf "$dist" && mkdir -p "$dist"

echo "== Debian package =="
# Debian's build flags (hardening, and the source folder named '.'), without
# debug information.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
deb=$root/build-deb
rm -rf "$deb"
cmake -S . -B "$deb" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DKESTREL_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="${cxxflags//-g /}" -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$deb" -j"$jobs"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$deb/CPackConfig.cmake")
if ! head -n 1 packaging/debian/changelog | grep -qF "kestrel ($version)"; then
  echo "package.sh: packaging/debian/changelog has no entry for $version at the top" >&2
  exit 1
fi
rm -rf "$deb/package"
(cd "$deb" && cpack >/dev/null)
cp "$deb/package/kestrel_${version}_amd64.deb" "$dist/"

echo "== Windows programs =="
win=$root/build-windows-release
rm -rf "$win"
source scripts/windows-cross.sh
windows_cxxflags="-ffile-prefix-map=$root=." windows_configure "$win" -DCMAKE_BUILD_TYPE=Release \
  -DKESTREL_BUILD_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS_RELEASE="-s -Wl,--no-insert-timestamp"
cmake --build "$win" -j"$jobs"

echo "== Windows zip and installer =="
# The zip holds one folder; the installer installs the same files.
folder=Kestrel-$version
stage=$win/stage
rm -rf "$stage" && mkdir -p "$stage/$folder"
cp "$win/app/kestrel.exe" "$win/app/kestrel-compare-window.exe" "$win/cli/kestrel-convert.exe" "$win/cli/kestrel-compare.exe" "$stage/$folder/"
# Notepad of every Windows reads the read-me as UTF-8 by its byte order mark.
{ printf '\357\273\277'; sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/windows/README.txt; } >"$stage/$folder/README.txt"
sed 's/$/\r/' LICENSE >"$stage/$folder/LICENSE.txt"
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && find "$folder" -type f | sort | zip -X -D -9 -q "$dist/$folder-win64.zip" -@)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$stage/$folder" \
  -DICON="$root/app/resources/kestrel.ico" -DOUTFILE="$dist/$folder-setup.exe" packaging/windows/kestrel.nsi

(cd "$dist" && sha256sum "kestrel_${version}_amd64.deb" "$folder-win64.zip" "$folder-setup.exe" >SHA256SUMS)
echo "== packages in dist/ =="
(cd "$dist" && ls -l --time-style=+ kestrel_* Kestrel-* SHA256SUMS | awk '{print $5, $6}')

if [ "${1:-}" = --check ]; then
  echo "== the same packages, made again from the last commit =="
  again=$root/build-again
  rm -rf "$again" && mkdir -p "$again"
  git archive HEAD | tar -x -C "$again"
  KESTREL_JOBS=$jobs bash "$again/scripts/package.sh" >/dev/null
  (cd "$dist" && for file in *; do cmp "$file" "$again/dist/$file"; done)
  echo "made twice, the packages are the same byte for byte"
fi
