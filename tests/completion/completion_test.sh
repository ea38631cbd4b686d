#!/usr/bin/env bash
# Runs the bash completion for zelmo_flash on prepared command lines, as
# bash itself would call it, and checks what it offers.
# Usage: completion_test.sh COMPLETION_SCRIPT
set -uo pipefail
script=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/dev" "$work/files/sub"
touch "$work/dev/ttyAMA0" "$work/dev/ttyUSB0" "$work/dev/ttyACM1" "$work/dev/ttyS0" \
    "$work/dev/i2c-1" "$work/dev/i2c-10"
touch "$work/files/fw.hex" "$work/files/OLD.HEX" "$work/files/notes.txt" "$work/files/fwlog"
cd "$work/files" || exit 2

_zelmo_flash_devices=$work/dev
# shellcheck source=/dev/null
source "$script"

passed=0
failed=0
# expect "WORD WORD ..." "OFFER OFFER ..." : the words typed (the last one
# being completed) and the offers, in any order.
expect() {
    local -a COMP_WORDS COMPREPLY=()
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _zelmo_flash
    local got wanted
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ')
    wanted=$(printf '%s\n' $2 | sed '/^$/d' | sort | tr '\n' ' ')
    if [[ $got == "$wanted" ]]; then
        ((passed++))
    else
        ((failed++))
        echo "FAILED: '$1' offered [$got], wanted [$wanted]"
    fi
}

expect "zelmo_flash --s" "--save --start"
expect "zelmo_flash --" "--check --save --keep-eeprom --start --ignore-checksums --attempts --retries --trace --report --help"
expect "zelmo_flash -" "-v --check --save --keep-eeprom --start --ignore-checksums --attempts --retries --trace --report --help"
expect "zelmo_flash --k" "--keep-eeprom"
expect "zelmo_flash " "$work/dev/ttyAMA0 $work/dev/ttyUSB0 $work/dev/ttyACM1 1 10"
expect "zelmo_flash 1" "1 10"
expect "zelmo_flash --check $work/dev/ttyU" "$work/dev/ttyUSB0"
expect "zelmo_flash /dev/ttyUSB0 0 " "fw.hex OLD.HEX sub"
expect "zelmo_flash --trace wire.log 1 0x20 f" "fw.hex"
expect "zelmo_flash -- 0 -1 " "fw.hex OLD.HEX sub"
expect "zelmo_flash --save fw" "fw.hex fwlog"
expect "zelmo_flash --save = fw" "fw.hex fwlog"
expect "zelmo_flash --trace n" "notes.txt"
expect "zelmo_flash --report n" "notes.txt"
expect "zelmo_flash --attempts " ""
expect "zelmo_flash --retries 2 1 0x20 f" "fw.hex"
expect "zelmo_flash --save old.hex 0 " ""
expect "zelmo_flash 1 0 fw.hex " ""

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
