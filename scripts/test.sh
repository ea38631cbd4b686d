#!/usr/bin/env bash
# Sets up and runs the whole test suite: the unit and end-to-end tests of a
# normal build and of a sanitizer build (AddressSanitizer and
# UndefinedBehaviorSanitizer), static analysis, the source release built
# and tested on its own, bounded fuzzing, the end-to-end tests under
# valgrind, the Debian packages built by dpkg-buildpackage (natively, with
# lintian and the autopkgtest of the installed package, and cross-built for
# armhf and arm64), the armhf and arm64 builds tested under qemu-user, and
# the Ansible collection's playbook against four simulated boards. Needs no
# git: a release tarball runs it as a clone does.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything the stages below use, installed at once.
scripts/setup.sh clang-format clang-tidy cppcheck clang libclang-rt-14-dev valgrind \
  srecord dpkg-dev debhelper lintian autopkgtest file man-db groff-base qemu-user crossbuild-essential-armhf crossbuild-essential-arm64 \
  libi2c-dev:armhf libi2c-dev:arm64 libgtest-dev:armhf libgtest-dev:arm64 \
  libmd-dev:armhf libmd-dev:arm64 \
  libstdc++6:armhf libstdc++6:arm64 ansible-core ansible-lint

stage() { printf '\n==== %s\n' "$*"; }

stage "Build and test"
scripts/build.sh build -DZELMO_TESTS=ON
(cd build && ctest --output-on-failure --parallel 8)

stage "Sanitizer build and test"
scripts/build.sh build-asan -DZELMO_TESTS=ON -DZELMO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure --parallel 8)

stage "Static analysis"
scripts/lint.sh build

stage "Source release: built, tested and analysed outside this tree"
scripts/release.sh build
tarball=$(ls build/zelmo-flash-*.tar.gz)
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Exactly the tracked files, under one top folder.
  diff <(git ls-files | LC_ALL=C sort) \
    <(tar -tzf "$tarball" | sed 's|^[^/]*/||' | LC_ALL=C sort)
fi
release=$(mktemp -d)
tar -xzf "$tarball" -C "$release"
(cd "$release"/zelmo-flash-* &&
  scripts/build.sh build -DZELMO_TESTS=ON &&
  (cd build && ctest -L unit --output-on-failure --parallel 8) &&
  scripts/lint.sh build)
rm -rf "$release"

stage "Fuzzing (libFuzzer, bounded)"
scripts/fuzz.sh "${ZELMO_FUZZ_SECONDS:-60}"

stage "End-to-end tests under valgrind memcheck"
(cd build && ZELMO_FLASH_WRAPPER="valgrind --error-exitcode=99 -q --leak-check=full --vgdb=no" \
  ctest -L e2e --output-on-failure --parallel 8)

stage "Debian packages: native (tests, lintian, install, autopkgtest, remove), armhf and arm64"
scripts/package.sh build/packages armhf arm64

stage "Cross builds for the board (armhf, arm64), tested under qemu-user"
scripts/cross.sh build armhf arm64

stage "Fleet: the Ansible collection's playbook against four simulated boards"
tests/ansible/fleet_test.sh build

stage "All stages passed"
