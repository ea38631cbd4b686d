#!/usr/bin/env bash
# Static analysis: clang-format, clang-tidy and cppcheck, all clean or failing.
# Works on the tree as it stands, a clone or an unpacked release alike.
# Usage: scripts/lint.sh [BUILD_DIR]   (a configured build for clang-tidy)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

# The tree's own C++ files under the given folders; build folders, which
# hold generated and downloaded-by-CMake files, are left out.
sources() {
  find "$@" \( -name .git -o -path './build*' -o -name 'build-*' \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | LC_ALL=C sort
}

echo "-- clang-format"
sources . | xargs clang-format --dry-run --Werror

echo "-- clang-tidy"
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
sources src tools fuzz | grep '\.cpp$' \
  | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2> >(grep -v 'warnings generated' >&2)

echo "-- cppcheck"
cppcheck --library=googletest --enable=warning,style,performance,portability --std=c++20 \
  --inline-suppr --error-exitcode=1 -q -I src -I . -I tests/support \
  --suppress=missingIncludeSystem src tools tests

echo "-- manual pages"
for page in man/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
