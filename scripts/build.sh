#!/usr/bin/env bash
# Configures and builds Callvane for 32-bit Windows (the build that runs and
# is tested) and, unless CALLVANE_ARCHS says otherwise, for x86_64 too.
# CALLVANE_TARGET builds one target instead of everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archs=${CALLVANE_ARCHS:-"i686 x86_64"}
for arch in $archs; do
  dir="$root/build/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    # Only the 32-bit build runs (the maker's control is 32-bit); the 64-bit
    # one proves that the program and the stand-ins compile, without tests.
    tests=ON
    [ "$arch" = i686 ] || tests=OFF
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALLVANE_BUILD_TESTS=$tests \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake" >/dev/null
  fi
  echo "build: $arch"
  cmake --build "$dir" ${CALLVANE_TARGET:+--target "$CALLVANE_TARGET"}
done
