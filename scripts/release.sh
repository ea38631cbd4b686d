#!/usr/bin/env bash
# Makes the source release zelmo-flash-VERSION.tar.gz: the tracked files
# under one top folder, nothing from build folders. From a clone the list
# is git's; from a tree without git (an unpacked release) it is the tree
# itself, less build folders, which is the same set.
# Usage: scripts/release.sh [OUTPUT_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-build}" && realpath "${1:-build}")
version=$(sed -n '1s/^zelmo-flash (\([0-9.]*\)).*/\1/p' debian/changelog)
name=zelmo-flash-$version

files() {
  if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files
  else
    find . \( -name .git -o -path './build*' -o -name 'build-*' \) -prune -o \( -type f -o -type l \) -print |
      sed 's|^\./||'
  fi
}

list=$(mktemp)
trap 'rm -f "$list"' EXIT
files | LC_ALL=C sort >"$list"
# Owner, order and times fixed, so the same tree gives the same archive.
tar --create --gzip --file "$out/$name.tar.gz" --no-recursion --files-from "$list" --transform "s,^,$name/," \
  --owner=0 --group=0 --numeric-owner --sort=name --mtime="2026-01-01 00:00Z"
echo "$out/$name.tar.gz: $(stat -c %s "$out/$name.tar.gz") bytes, $(wc -l <"$list") files"
