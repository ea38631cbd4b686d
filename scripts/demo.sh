#!/usr/bin/env bash
# Builds zelmo_flash and flashes the example firmware onto a simulated board
# on a pseudo-terminal: a full update, then a second run that finds the
# board up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== Installing what this machine lacks to build (Debian packages, once)"
scripts/setup.sh
echo "== Building zelmo_flash and the simulated board in build/"
scripts/build.sh build -DZELMO_TESTS=OFF >/dev/null

trace=$(mktemp)
build/tools/simboard/zelmo_flash_simboard --trace "$trace" > "$trace.port" &
board=$!
trap 'kill $board 2>/dev/null; rm -f "$trace" "$trace.port"' EXIT
# The board prints its port at once; a board that cannot start must not
# leave the demo waiting for ever.
for _ in $(seq 100); do
  [ -s "$trace.port" ] && break
  kill -0 "$board" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$trace.port" ]; then
  if kill -0 "$board" 2>/dev/null; then
    echo "demo: the simulated board has not said its pseudo-terminal within 5 seconds" >&2
  else
    echo "demo: the simulated board ended without saying its pseudo-terminal" >&2
  fi
  exit 1
fi
port=$(head -n 1 "$trace.port")

flash() {
  local status=0
  build/zelmo_flash "$port" 0 examples/demo_firmware.hex || status=$?
  echo "== Exit status $status; the board has received $(wc -l < "$trace") frames in all"
  [ "$status" -eq 0 ]
}

echo "== Simulated board on $port; flashing examples/demo_firmware.hex"
flash
echo "== Second run: the board already holds the image"
flash
echo "== The programs are build/zelmo_flash and build/tools/simboard/zelmo_flash_simboard;"
echo "   'sudo cmake --install build' puts them on the PATH (in /usr/local/bin)"
