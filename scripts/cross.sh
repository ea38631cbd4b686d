#!/usr/bin/env bash
# Cross-builds for the board's computer (armhf and arm64), runs the unit and
# end-to-end tests under qemu-user with the simulated board running natively,
# and builds and checks each Debian package.
# Usage: scripts/cross.sh NATIVE_BUILD_DIR [ARCH...]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(realpath "$1")
shift
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(armhf arm64)

for arch in "${arches[@]}"; do
  case $arch in
    armhf) triplet=arm-linux-gnueabihf qemu=qemu-arm ;;
    arm64) triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
  esac
  echo "-- $arch"
  scripts/build.sh "build-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake" -DZELMO_TESTS=ON
  (cd "build-$arch" &&
    ZELMO_FLASH_WRAPPER="$qemu -L /usr/$triplet" \
    ZELMO_SIMBOARD="$native/tools/simboard/zelmo_flash_simboard" \
    ZELMO_PRELOAD_ENV=QEMU_SET_ENV \
    ctest --output-on-failure --parallel 8)
  scripts/package.sh "build-$arch"
done
