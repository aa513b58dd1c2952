# Sourced by test-windows.sh and package.sh: windows_configure BUILD [CMAKE-ARGUMENT...]
# configures a cross-build of Kestrel for 64-bit Windows with MinGW-w64 in
# BUILD (toolchain cmake/mingw-w64-x86_64.cmake). SimpleIni, fmt (used header
# only) and CLI11 come from Debian's packages, each copied into a folder of
# its own in BUILD: the cross compiler must not see the rest of /usr/include.
# They are system folders to the compiler, as /usr/include is, so that the
# headers' own warnings stay quiet. $windows_cxxflags, when set, is added to the
# compiler's flags.
windows_configure() {
  local build=$1 source
  shift
  source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  mkdir -p "$build/simpleini" "$build/fmt/fmt" "$build/cli11/CLI"
  cp /usr/include/SimpleIni.h "$build/simpleini/"
  cp /usr/include/fmt/*.h "$build/fmt/fmt/"
  cp -r /usr/include/CLI/. "$build/cli11/CLI/"
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
    -DSIMPLEINI_INCLUDE_DIR="$build/simpleini" -DFMT_INCLUDE_DIR="$build/fmt" -DCLI11_INCLUDE_DIR="$build/cli11" \
    -DCMAKE_CXX_FLAGS="-isystem $build/simpleini -isystem $build/fmt -isystem $build/cli11 ${windows_cxxflags:-}" \
    "$@" >/dev/null
}
