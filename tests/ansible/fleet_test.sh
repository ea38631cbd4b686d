#!/usr/bin/env bash
# The collection's example playbook (its role, with become) against four
# simulated boards holding the example firmware, one per host on the local
# connection. node1's port is also held by a stand-in service, named in the
# inventory, that reads it as a KISS daemon would. The first run writes
# three boards, backs each up as it was and leaves the service running; a
# second run changes nothing, while the fourth host, whose board never
# answers, fails alone; check mode with another file finds all three
# different, sends them no erase and no write and leaves them running; a
# file the program refuses stops the play after the first node.
# Usage: tests/ansible/fleet_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; [ -s "$work/units/kiss.service.pid" ] && kill "$(cat "$work/units/kiss.service.pid")"; rm -rf "$work"' EXIT
# Ansible refuses to run in a locale that is not UTF-8.
export PATH="$work/bin:$build:$PATH" ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_NOCOLOR=1 LC_ALL=C.UTF-8
export ZELMO_UNITS=$work/units
fail() { cat "$work/play.out" 2>/dev/null; echo "FAIL: $*" >&2; exit 1; }

ansible-galaxy collection build "$root/ansible" --output-path "$work" >/dev/null
ansible-galaxy collection install -p "$work/collections" "$work"/zelmo-tnc-*.tar.gz >/dev/null
ansible-doc zelmo.tnc.flash >"$work/doc" 2>&1 || fail "ansible-doc: $(cat "$work/doc")"
grep -q "started" "$work/doc" || fail "ansible-doc shows no RETURN"
if grep -q 'O(' "$work/doc"; then fail "ansible-doc shows raw markup"; fi

# systemctl as the module calls it, for units whose process reads a port.
mkdir -p "$work/bin" "$work/units"
cat >"$work/bin/systemctl" <<'EOF'
#!/bin/sh
unit=$ZELMO_UNITS/$2
case $1 in
is-active) [ -s "$unit.pid" ] && kill -0 "$(cat "$unit.pid")" 2>/dev/null ;;
stop) kill "$(cat "$unit.pid")" && : >"$unit.pid" && echo stop >>"$unit.log" ;;
start) cat <"$(cat "$unit.port")" >/dev/null 2>&1 & echo $! >"$unit.pid" && echo start >>"$unit.log" ;;
*) exit 1 ;;
esac
EOF
chmod +x "$work/bin/systemctl"
running() { systemctl is-active kiss.service || fail "the service is not running $1"; }

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
    "$build/tools/simboard/zelmo_flash_simboard" --hex "$root/examples/demo_firmware.hex" \
      --trace "$work/board$node.trace" "${silent[@]}" >"$work/board$node.pty" &
    until [ -s "$work/board$node.pty" ]; do sleep 0.1; done
    echo "node$node zelmo_port=$(head -1 "$work/board$node.pty") zelmo_hex=$work/node$node.hex" \
      "zelmo_node_dir=$work/nodes/node$node zelmo_backup_dir=$work/nodes/node$node/backups" \
      "$([ "$node" -eq 1 ] && echo "zelmo_services='[\"kiss.service\"]'")"
  done
  # Root already: su becomes root without a password, as sudo would on a node.
  printf '[all:vars]\nansible_connection=local\nansible_python_interpreter={{ ansible_playbook_python }}\n'
  printf 'ansible_become_method=ansible.builtin.su\nzelmo_fetch_dir=%s\n' "$work/fetched"
} >"$work/inventory.ini"
head -1 "$work/board1.pty" >"$work/units/kiss.service.port"
systemctl start kiss.service

# Runs the playbook; PLAY RECAP lines squeezed to "node1 ok=5 changed=3 ...".
play() {
  local status=0
  ansible-playbook -i "$work/inventory.ini" "$root/ansible/playbooks/update_fleet.yml" "$@" \
    >"$work/play.out" 2>&1 || status=$?
  recap=$(sed -n '/^PLAY RECAP/,$p' "$work/play.out" | tr -s ' ' | sed 's/ : / /')
  flashed=$(sed -n '/^TASK \[zelmo.tnc.firmware : Flash the TNC firmware\]/,/^TASK/p' "$work/play.out" |
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
backups() { find "$work/nodes" -path '*/backups/*.hex' | wc -l; }
# The application region and EEPROM of a HEX file, blank where it holds nothing.
regions() {
  python3 - "$1" <<'EOF'
import sys
memory, base = {}, 0
for line in open(sys.argv[1]):
    record = bytes.fromhex(line.strip()[1:])
    count, kind = record[0], record[3]
    if kind == 4:
        base = int.from_bytes(record[4:6], "big") << 16
    for i in range(count if kind == 0 else 0):
        memory[base + int.from_bytes(record[1:3], "big") + i] = record[4 + i]
code = [memory.get(a, 0x3F if a % 2 else 0xFF) for a in range(0x400, 0x2000)]
print(bytes(code + [memory.get(0x1E000 + 2 * k, 0xFF) for k in range(64)]).hex())
EOF
}

play || fail "first run: status $?"
expect "changed: [node1] changed: [node2] changed: [node3] " \
  "node1 ok=[0-9]* changed=3 unreachable=0 failed=0" "node2 ok=[0-9]* changed=3" "node3 ok=[0-9]* changed=3"
[ "$(cat "$work/units/kiss.service.log")" = "$(printf 'start\nstop\nstart')" ] || fail "node1's service: not paused for its flash"
running "after the first run"
grep -q "node2: updated, 1 tries, file [0-9a-f]\{64\}, board [0-9a-f]\{64\}" "$work/play.out" || fail "no summary line"
before=$(regions "$root/examples/demo_firmware.hex")
for node in 1 2 3; do
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
sys.exit(not (r["started"] and r["board"]["code_sha256"] == r["file"]["code_sha256"]))' \
    "$work/fetched/node$node"/report-*Z.json || fail "node $node: its report tells no verified update"
  kept=("$work/nodes/node$node"/backups/*.hex)
  [ ${#kept[@]} -eq 1 ] && [ "$(regions "${kept[0]}")" = "$before" ] || fail "node $node: no backup of the board before"
  cmp -s "${kept[0]}" "$work/fetched/node$node/$(basename "${kept[0]}")" || fail "node $node: backup not fetched"
done

if play -e zelmo_hosts=all; then fail "a silent board did not fail its host"; fi
expect "fatal: [node4] ok: [node1] ok: [node2] ok: [node3] " \
  "node1 ok=[0-9]* changed=0 unreachable=0 failed=0" "node2 ok=[0-9]* changed=0 unreachable=0 failed=0" \
  "node3 ok=[0-9]* changed=0 unreachable=0 failed=0" "node4 ok=[0-9]* changed=[0-9]* unreachable=0 failed=1"
grep -q '"msg": "No answer from the bootloader after 3 attempts"' "$work/play.out" ||
  fail "the silent host's message"
[ "$(backups)" -eq 3 ] || fail "an unchanged run kept a backup"
running "after the second run"

before=$(erases_and_writes)
play -v --check -e zelmo_hex="$work/node4.hex" || fail "check mode: status $?"
expect "changed: [node1] changed: [node2] changed: [node3] " "node1 ok=[0-9]* changed=2 unreachable=0 failed=0"
grep -q '"msg": "The board differs from .*; its firmware was started"' "$work/play.out" || fail "check mode's message"
[ "$(erases_and_writes)" = "$before" ] || fail "check mode erased or wrote a board"
for node in 1 2 3; do
  [ "$(tail -1 "$work/board$node.trace" | cut -d' ' -f2-)" = "08" ] || fail "check mode left board $node in its bootloader"
done
running "after check mode"

printf ':02040000FF3FBD\n:00000001FF\n' >"$work/bad.hex"
if play -e zelmo_hex="$work/bad.hex"; then fail "a refused file did not fail"; fi
expect "fatal: [node1] "
echo "$recap" | grep -q "^node2" && fail "the play went on after the first node failed"
echo "fleet test passed"
