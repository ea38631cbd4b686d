#!/usr/bin/env bash
# Builds the Debian package of a build tree, checks it with lintian and, for
# this machine's architecture, installs it with apt-get and removes it again.
# Usage: scripts/package.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/zelmo-flash_*.deb)
echo "-- $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --field "$deb" Architecture Depends

# Errors fail; warnings are shown. lintian leaves scratch files in its
# temporary folder, so it gets one of its own.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TMPDIR=$scratch lintian --fail-on error "$deb"

[ "$(dpkg-deb --field "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || exit 0
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "$(realpath "$deb")" >/dev/null
[ "$(/usr/bin/zelmo_flash -v || true)" = "0.0.0.2" ]
man -w zelmo_flash >/dev/null
dpkg -L zelmo-flash | grep -q /usr/bin/zelmo_flash_simboard
dpkg -L zelmo-flash | grep -qx /usr/share/bash-completion/completions/zelmo_flash
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y -qq zelmo-flash >/dev/null
if [ -e /usr/bin/zelmo_flash ] || [ -e /usr/share/man/man1/zelmo_flash.1.gz ] || [ -e /usr/share/doc/zelmo-flash ] ||
  [ -e /usr/share/bash-completion/completions/zelmo_flash ]; then
  echo "files left behind after removal" >&2
  exit 1
fi
echo "-- installed, run, removed cleanly"
