#!/usr/bin/env bash
# Cross-builds for the board's computer (armhf and arm64) and runs the unit
# and end-to-end tests under qemu-user with the simulated board running
# natively. (The packages for the board come from scripts/package.sh.)
# Usage: scripts/cross.sh NATIVE_BUILD_DIR [ARCH...]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(realpath "$1")
shift
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(armhf arm64)

for arch in "${arches[@]}"; do
  [ -f "cmake/toolchains/$arch.cmake" ] || { echo "unknown architecture $arch" >&2; exit 2; }
  echo "-- $arch"
  scripts/build.sh "build-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake" -DZELMO_TESTS=ON
  # The toolchain's emulator runs the cross-built programs; the board runs natively.
  (cd "build-$arch" &&
    ZELMO_SIMBOARD="$native/tools/simboard/zelmo_flash_simboard" \
    ctest --output-on-failure --parallel 8)
done
