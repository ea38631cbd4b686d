#!/usr/bin/python
# Copyright: 2026 zelmo_flash maintainers
# GNU General Public License v2.0 or later (see COPYING or https://www.gnu.org/licenses/gpl-2.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: flash
short_description: Brings a TNC board's firmware in line with an Intel HEX file
version_added: "1.0.0"
description:
  - Runs C(zelmo_flash) on the managed node against one board, over a serial
    port or an I2C bus, and reads the JSON report it leaves (C(--report)).
  - The board is written only when it differs from the file, so running the
    task again changes nothing. Changed is reported only when the program
    wrote the board (its outcome C(updated)).
  - In check mode the program looks and changes nothing (C(--check --start));
    changed when the board differs from the file. A board that holds a whole
    firmware, the file's or another, is started again; only one whose last
    update was interrupted, or a blank one, waits in its bootloader (the TNC
    is off the air) until it is updated, and the result says so.
  - The program ends by itself. C(attempts) bounds the wait for a board that
    never answers, and C(retries) runs the whole update again after a passing
    fault on the link.
  - Stop whatever holds the port (a KISS daemon, a packet switch, a login
    prompt) before this task; see the example playbook
    C(playbooks/update_fleet.yml) of this collection.
options:
  port:
    description:
      - The serial port of the board, a device path such as C(/dev/ttyAMA0)
        or C(/dev/ttyUSB0), or a port number as C(zelmo_flash) takes it.
      - Exactly one of O(port) and O(i2c_bus) is given.
    type: str
  i2c_bus:
    description:
      - The number of the I2C bus, the text after C(/dev/i2c-).
      - Needs O(i2c_address).
    type: str
  i2c_address:
    description:
      - The board's 7-bit I2C slave address, 1 to 127, decimal or C(0x) hex.
    type: str
  hex_file:
    description:
      - The Intel HEX file of the firmware, on the managed node.
    type: path
    required: true
  keep_eeprom:
    description:
      - Never write the board's data EEPROM, so that the station's settings
        stay (C(--keep-eeprom)).
    type: bool
    default: false
  start:
    description:
      - Start the firmware also when the board is found up to date (C(--start)),
        so that a node whose board is current never stays off the air in the
        bootloader. A board that was written is always started.
    type: bool
    default: true
  retries:
    description:
      - After a passing fault, once the bootloader has answered, run the whole
        update again, up to this many more times (C(--retries), 0 to 100).
    type: int
    default: 2
  attempts:
    description:
      - Give up after this many unanswered handshakes on the serial link, about
        5.2 seconds each (C(--attempts)), so that a silent board ends the task.
    type: int
    default: 3
  backup:
    description:
      - Write what the board held before this run to this file on the node, as
        Intel HEX (C(--save)). Not written in check mode.
    type: path
  trace:
    description:
      - Write a log of every byte on the wire to this file on the node
        (C(--trace)). Not written in check mode.
    type: path
  executable:
    description:
      - The path of C(zelmo_flash) on the node. By default it is found on the
        PATH.
    type: path
notes:
  - Needs C(zelmo_flash) 0.0.0.2 or later on the node (with C(--report) and
    C(--retries)).
  - The user the task runs as must be allowed to open the port or the bus
    (root, or a member of its group such as C(dialout) or C(i2c)).
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
author:
  - zelmo_flash maintainers
"""

EXAMPLES = r"""
- name: Update the board on the node's UART
  zelmo.tnc.flash:
    port: /dev/ttyAMA0
    hex_file: /var/tmp/tnc.hex

- name: Update the board on I2C bus 1, keep its settings, keep a copy of it
  zelmo.tnc.flash:
    i2c_bus: "1"
    i2c_address: 0x20
    hex_file: /var/tmp/tnc.hex
    keep_eeprom: true
    backup: /var/tmp/tnc-before.hex
    trace: /var/tmp/tnc-wire.log
  register: tnc

- name: Show what the board holds now
  ansible.builtin.debug:
    msg: "{{ tnc.outcome }}: {{ tnc.board.code_sha256 }}"
"""

RETURN = r"""
status:
  description: The exit status of C(zelmo_flash) (0 the board holds the file, 1 failed, 2 a check found it different).
  returned: when the program ran
  type: int
  sample: 0
outcome:
  description:
    - How the run ended, C(updated), C(up to date), C(matches), C(differs),
      C(refused) (the HEX file was refused; no device opened) or C(failed).
  returned: when the program left a report
  type: str
  sample: updated
message:
  description: The text the run ended with, its first line; null when it ended well.
  returned: when the program left a report
  type: str
  sample: Timeout writing to Flash
tries:
  description: The handshakes begun, 1 plus the retries used.
  returned: when the program left a report
  type: int
  sample: 1
eeprom_bytes_written:
  description: EEPROM bytes written and acknowledged.
  returned: when the program left a report
  type: int
  sample: 5
blocks_written:
  description: Code blocks written and acknowledged.
  returned: when the program left a report
  type: int
  sample: 3
file:
  description: The HEX file, C(name) as given and C(code_sha256), the fingerprint of its application region.
  returned: when the program left a report
  type: dict
  sample: {"name": "/var/tmp/tnc.hex", "code_sha256": "d2d50766..."}
board:
  description:
    - C(code_sha256), the fingerprint of the board's application region as
      last read in full (null when no full read came); equal to the file's
      when the board holds its code.
  returned: when the program left a report
  type: dict
  sample: {"code_sha256": "d2d50766..."}
link:
  description: C(kind) (serial or i2c), C(device), C(address) (I2C) of the board.
  returned: when the program left a report
  type: dict
  sample: {"kind": "serial", "device": "/dev/ttyAMA0", "address": null}
seconds:
  description: The run's wall time.
  returned: when the program left a report
  type: float
  sample: 23.846
version:
  description: The version of C(zelmo_flash) that ran.
  returned: when the program left a report
  type: str
  sample: 0.0.0.2
in_bootloader:
  description:
    - True when the board was left waiting in its bootloader, off the air
      until it is updated or reset; after a failure, when the program had
      reached the bootloader.
  returned: when the program left a report
  type: bool
  sample: false
cmd:
  description: The command that ran.
  returned: always
  type: list
  elements: str
stdout:
  description: What the program printed.
  returned: when the program ran
  type: str
stderr:
  description: What the program printed on stderr.
  returned: when the program ran
  type: str
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

ARGUMENT_SPEC = dict(
    port=dict(type="str"),
    i2c_bus=dict(type="str"),
    i2c_address=dict(type="str"),
    hex_file=dict(type="path", required=True),
    keep_eeprom=dict(type="bool", default=False),
    start=dict(type="bool", default=True),
    retries=dict(type="int", default=2),
    attempts=dict(type="int", default=3),
    backup=dict(type="path"),
    trace=dict(type="path"),
    executable=dict(type="path"),
)


def link_arguments(module):
    """The three arguments that name the link, as the program takes them."""
    params = module.params
    if params["port"] is not None:
        return [params["port"], "0"]
    try:
        address = int(params["i2c_address"], 0)
    except ValueError:
        address = 0
    if not 1 <= address <= 127:
        module.fail_json(msg="i2c_address must be 1 to 127, not %s" % params["i2c_address"])
    return [params["i2c_bus"], str(address)]


def command(module, program, link, report):
    params = module.params
    args = [program, "--attempts", str(params["attempts"]),
            "--retries", str(params["retries"]), "--report", report]
    if module.check_mode:
        # A plain check would leave a matching board in its bootloader.
        args += ["--check", "--start"]
    else:
        # A check writes no file on the node; an update keeps what was asked.
        if params["start"]:
            args.append("--start")
        if params["backup"]:
            args += ["--save", params["backup"]]
        if params["trace"]:
            args += ["--trace", params["trace"]]
    if params["keep_eeprom"]:
        args.append("--keep-eeprom")
    # After "--" a file name or port that starts with a dash is not an option.
    return args + ["--"] + link + [params["hex_file"]]


def read_report(path):
    try:
        with open(path) as report:
            return json.load(report)
    except (OSError, ValueError):
        return None


def left_in_bootloader(report, start):
    outcome = report["outcome"]
    if outcome == "failed":
        # Whether the reset reached the bootloader, only the messages tell.
        return None
    if outcome == "differs":
        # --check --start restarts a board that holds a whole firmware.
        return not report["started"]
    if outcome == "updated" and report["blocks_written"] > 0:
        return False  # new code is always started after its verification
    return outcome != "refused" and not start


def summary(report, hex_file, bootloader):
    outcome = report["outcome"]
    if outcome == "differs":
        text = "The board differs from %s" % hex_file
        return text + (" and waits in its bootloader" if bootloader else "; its firmware was started")
    if outcome == "updated":
        return "The board now holds %s" % hex_file
    text = "The board holds %s" % hex_file
    return text + ("; it waits in its bootloader" if bootloader else "")


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        mutually_exclusive=[("port", "i2c_bus")],
        required_one_of=[("port", "i2c_bus")],
        required_together=[("i2c_bus", "i2c_address")],
        supports_check_mode=True,
    )
    link = link_arguments(module)
    program = module.params["executable"] or module.get_bin_path("zelmo_flash", required=True)
    report_path = os.path.join(module.tmpdir, "report.json")
    args = command(module, program, link, report_path)
    status, stdout, stderr = module.run_command(args)
    result = dict(cmd=args, status=status, stdout=stdout, stderr=stderr, changed=False)
    report = read_report(report_path)
    if report is None:
        last = (stderr.strip().splitlines() or ["no report was written"])[-1]
        module.fail_json(msg="zelmo_flash ended with status %d: %s" % (status, last), **result)
    result.update(report)
    result["status"] = status
    # A check always asks for the start of a board that matches.
    result["in_bootloader"] = left_in_bootloader(report, module.params["start"] or module.check_mode)
    if status != 0 and not (module.check_mode and status == 2):
        module.fail_json(msg=report["message"] or "zelmo_flash ended with status %d" % status, **result)
    result["changed"] = report["outcome"] in ("updated", "differs")
    module.exit_json(msg=summary(report, module.params["hex_file"], result["in_bootloader"]), **result)

if __name__ == "__main__":
    main()
