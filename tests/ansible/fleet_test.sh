#!/usr/bin/env bash
# The collection's example playbook against four simulated boards, one per
# host on the local connection: the first run writes three boards, which then
# hold their files; a second run writes none, while the fourth host, whose
# board never answers, fails alone; check mode with another file finds all
# three different, sends them no erase and no write and leaves them running.
# Usage: tests/ansible/fleet_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
# Ansible refuses to run in a locale that is not UTF-8.
export PATH="$build:$PATH" ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_NOCOLOR=1 LC_ALL=C.UTF-8
fail() { cat "$work/play.out" 2>/dev/null; echo "FAIL: $*" >&2; exit 1; }

ansible-galaxy collection build "$root/ansible" --output-path "$work" >/dev/null
ansible-galaxy collection install -p "$work/collections" "$work"/zelmo-tnc-*.tar.gz >/dev/null
ansible-doc zelmo.tnc.flash | grep -q "in_bootloader" || fail "ansible-doc shows no RETURN"

# Each node its own file: the demo firmware with another first letter.
variant() {
  python3 - "$root/examples/demo_firmware.hex" "$work/$1.hex" "$2" <<'EOF'
import sys
lines = open(sys.argv[1]).read().splitlines()
record = bytearray.fromhex(lines[3][1:-2])
record[4] = int(sys.argv[3])
lines[3] = ":" + (record + bytes([-sum(record) & 0xFF])).hex().upper()
open(sys.argv[2], "w").write("\n".join(lines) + "\n")
EOF
}
{
  echo "[tnc_nodes]"
  silent=()
  for node in 1 2 3 4; do
    [ "$node" -lt 4 ] || { echo "[silent]"; silent=(--silent c0); }
    variant "node$node" $((0x40 + node))
    "$build/tools/simboard/zelmo_flash_simboard" --trace "$work/board$node.trace" "${silent[@]}" >"$work/board$node.pty" &
    until [ -s "$work/board$node.pty" ]; do sleep 0.1; done
    echo "node$node zelmo_port=$(head -1 "$work/board$node.pty") zelmo_hex=$work/node$node.hex"
  done
  printf '[all:vars]\nansible_connection=local\nansible_python_interpreter={{ ansible_playbook_python }}\n'
} >"$work/inventory.ini"

# Runs the playbook; PLAY RECAP lines squeezed to "node1 ok=5 changed=3 ...".
play() {
  local status=0
  ansible-playbook -i "$work/inventory.ini" "$root/ansible/playbooks/update_fleet.yml" \
    -e zelmo_fetch_dir="$work/fetched" -e zelmo_node_dir="$work/nodes/{{ inventory_hostname }}" \
    "$@" >"$work/play.out" 2>&1 || status=$?
  recap=$(sed -n '/^PLAY RECAP/,$p' "$work/play.out" | tr -s ' ' | sed 's/ : / /')
  flashed=$(sed -n '/^TASK \[Flash the TNC firmware\]/,/^TASK/p' "$work/play.out" |
    grep -Eo '^(ok|changed|fatal): \[node[0-9]\]' | sort | tr '\n' ' ')
  echo "$recap" | grep -q "^node" || fail "no recap"
  return "$status"
}
expect() { # what the flash task said per host, recap lines that must be there
  [ "$flashed" = "$1" ] || fail "flash task: '$flashed', not '$1'"
  shift
  for line in "$@"; do
    echo "$recap" | grep -q "^$line" || fail "no recap line '$line'"
  done
}
erases_and_writes() { cut -d' ' -f2 "$work"/board[123].trace | grep -cE '^(01|04|20)$' || true; }

play || fail "first run: status $?"
expect "changed: [node1] changed: [node2] changed: [node3] " \
  "node1 ok=[0-9]* changed=3 unreachable=0 failed=0" "node2 ok=[0-9]* changed=3" "node3 ok=[0-9]* changed=3"
checks=()
for node in 1 2 3; do
  zelmo_flash --check --start --attempts 1 "$(head -1 "$work/board$node.pty")" 0 "$work/node$node.hex" \
    >/dev/null &
  checks+=($!)
done
for node in 1 2 3; do
  wait "${checks[node - 1]}" || fail "board $node does not hold its file after the first run"
  for fetched in wire.log backup.hex; do
    [ -s "$work/fetched/node$node/$fetched" ] || fail "node $node: $fetched was not fetched"
  done
done

if play -e zelmo_hosts=all; then fail "a silent board did not fail its host"; fi
expect "fatal: [node4] ok: [node1] ok: [node2] ok: [node3] " \
  "node1 ok=[0-9]* changed=0 unreachable=0 failed=0" "node2 ok=[0-9]* changed=0 unreachable=0 failed=0" \
  "node3 ok=[0-9]* changed=0 unreachable=0 failed=0" "node4 ok=[0-9]* changed=2 unreachable=0 failed=1"
grep -q '"msg": "No answer from the bootloader after 3 attempts"' "$work/play.out" ||
  fail "the silent host's message"

before=$(erases_and_writes)
play -v --check -e zelmo_hex="$work/node4.hex" || fail "check mode: status $?"
expect "changed: [node1] changed: [node2] changed: [node3] " "node1 ok=[0-9]* changed=2 unreachable=0 failed=0"
grep -q '"msg": "The board differs from .*; its firmware was started"' "$work/play.out" || fail "check mode's message"
[ "$(erases_and_writes)" = "$before" ] || fail "check mode erased or wrote a board"
echo "fleet test passed"
