#!/usr/bin/env bash
# Builds the Debian packages as Debian builds them, with dpkg-buildpackage
# from the source release unpacked in a folder of its own (so no build
# folder of this tree enters the source package): natively with the unit
# tests, then lintian on the source and binary packages (no error, no
# warning), the package installed, its autopkgtest run against it and the
# package removed again, leaving nothing behind; then cross-built for each
# ARCH given. The packages end up in OUTPUT_DIR.
# Usage: scripts/package.sh OUTPUT_DIR [ARCH...]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "$1" && realpath "$1")
shift
arches=("$@")

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt_get() { DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -y -qq "$@" >/dev/null; }

version=$(sed -n '1s/^zelmo-flash (\([0-9.]*\)).*/\1/p' debian/changelog)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/release.sh "$work" >/dev/null
tar -xzf "$work/zelmo-flash-$version.tar.gz" -C "$work"
src=$work/zelmo-flash-$version

# Quiet when it works; the whole log when it does not.
logged() {
  local log=$work/$1.log
  shift
  "$@" >"$log" 2>&1 || { tail -n 80 "$log"; echo "failed: $*" >&2; return 1; }
}

echo "-- native build (source and binary packages)"
(cd "$src" && apt_get build-dep ./)
(cd "$src" && logged native dpkg-buildpackage -us -uc)
native=$(dpkg --print-architecture)
deb=$work/zelmo-flash_${version}_$native.deb

echo "-- lintian: source and binary packages"
# lintian leaves scratch files in its temporary folder: it gets one of its own.
mkdir "$work/lintian"
TMPDIR=$work/lintian lintian --fail-on error,warning "$work/zelmo-flash_${version}_$native.changes"

echo "-- installed, tested as autopkgtest does, removed"
apt_get install "$deb"
dpkg -L zelmo-flash | sort >"$work/files"
(cd "$src" && logged autopkgtest autopkgtest --no-built-binaries --output-dir "$work/autopkgtest" . -- null)
cat "$work/autopkgtest/summary"
apt_get remove zelmo-flash
while read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then echo "left behind after removal: $path" >&2; exit 1; fi
done <"$work/files"

for arch in "${arches[@]}"; do
  echo "-- cross build for $arch"
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${as_root[@]}" dpkg --add-architecture "$arch"
    apt_get update
  fi
  # apt brings build-essential for a native build only; dpkg-shlibdeps
  # looks for the C++ runtime where dpkg installed it for that architecture.
  apt_get install "crossbuild-essential-$arch" "libstdc++6:$arch"
  (cd "$src" && apt_get build-dep -a "$arch" -P cross,nocheck ./)
  (cd "$src" && logged "cross-$arch" dpkg-buildpackage -us -uc -b -a "$arch" -Pcross,nocheck)
  TMPDIR=$work/lintian lintian --fail-on error,warning "$work/zelmo-flash_${version}_$arch.deb"
done

for built in "$work"/*.deb; do
  cp "$built" "$out/"
  echo "-- $(basename "$built"): $(stat -c %s "$built") bytes, depends on $(dpkg-deb --field "$built" Depends)"
done
