#!/usr/bin/env bash
# Sets up and runs the whole test suite: the unit and end-to-end tests of a
# normal build and of a sanitizer build (AddressSanitizer and
# UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

stage() { printf '\n==== %s\n' "$*"; }

stage "Build and test"
scripts/build.sh build -DZELMO_TESTS=ON
(cd build && ctest --output-on-failure --parallel 8)

stage "Sanitizer build and test"
scripts/build.sh build-asan -DZELMO_TESTS=ON -DZELMO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure --parallel 8)

stage "Static analysis"
scripts/setup.sh clang-format clang-tidy cppcheck
scripts/lint.sh build

stage "Fuzzing (libFuzzer, bounded)"
scripts/setup.sh clang libclang-rt-14-dev
scripts/fuzz.sh "${ZELMO_FUZZ_SECONDS:-60}"

stage "End-to-end tests under valgrind memcheck"
scripts/setup.sh valgrind
(cd build && ZELMO_FLASH_WRAPPER="valgrind --error-exitcode=99 -q --leak-check=full" \
  ctest -L e2e --output-on-failure --parallel 8)
