#!/usr/bin/env bash
# Static analysis: clang-format, clang-tidy, cppcheck, ansible-lint and the
# manual pages, all clean or failing.
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

echo "-- ansible-lint: the collection, its role and its playbook (offline)"
# The playbook names the role by the collection's name: lint an installed copy's view.
collections=$(mktemp -d)
trap 'rm -rf "$collections"' EXIT
ansible-galaxy collection build ansible --output-path "$collections" >/dev/null
ansible-galaxy collection install -p "$collections" "$collections"/zelmo-tnc-*.tar.gz >/dev/null 2>&1
(cd ansible && LC_ALL=C.UTF-8 ANSIBLE_COLLECTIONS_PATH=$collections ansible-lint --offline --nocolor -q)

echo "-- manual pages"
for page in man/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
