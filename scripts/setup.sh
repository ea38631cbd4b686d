#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test zelmo_flash.
# Usage: scripts/setup.sh [extra Debian packages...]
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libi2c-dev libmd-dev nlohmann-json3-dev "$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
# Packages named PACKAGE:ARCH come from another architecture (multiarch).
for package in "${missing[@]}"; do
  arch=${package##*:}
  [ "$arch" != "$package" ] || continue
  dpkg --print-foreign-architectures | grep -qx "$arch" || "${as_root[@]}" dpkg --add-architecture "$arch"
done
echo "Installing: ${missing[*]}"
# A mirror in the middle of a sync fails an index now and then: try again,
# and if it still fails, let the install decide with the lists there are.
for attempt in 1 2 3; do
  "${as_root[@]}" apt-get update -qq && break
  echo "apt-get update failed (attempt $attempt); trying again" >&2
  sleep $((attempt * 10))
done
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
