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
    firmware, the file's or another, is started again, so the TNC stays on
    the air; only one whose last update was interrupted, or a blank one,
    waits in its bootloader until it is updated (C(started) is false).
  - The program ends by itself. C(attempts) bounds the wait for a board that
    never answers, and C(retries) runs the whole update again after a passing
    fault.
  - The units named in C(service) (a KISS daemon, a packet switch, a serial
    login prompt) are stopped right before the program runs and started
    again right after it, whatever its outcome, each only if it was active;
    in check mode too, since a check needs the port. Pausing them is no
    change. Only C(systemctl is-active), C(stop) and C(start) are used.
options:
  port:
    description:
      - The serial port of the board, a device path such as C(/dev/ttyAMA0)
        or C(/dev/ttyUSB0), or a port number as C(zelmo_flash) takes it.
      - Exactly one of I(port) and I(i2c_bus) is given.
    type: str
  i2c_bus:
    description:
      - The number of the I2C bus, the text after C(/dev/i2c-).
      - Needs I(i2c_address).
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
      - After a passing fault, run the whole update again, up to this many
        more times (C(--retries)), 0 to 100.
    type: int
    default: 2
  attempts:
    description:
      - Give up after this many unanswered handshakes on the serial link, about
        5.2 seconds each (C(--attempts)), 1 to 2147483647, so that a silent
        board ends the task.
    type: int
    default: 3
  service:
    description:
      - The systemd units that may hold the board's port, paused for the run.
    type: list
    elements: str
    default: []
  backup:
    description:
      - Keep what the board held before this run in I(backup_dir) as
        C(PORT-YYYYmmddTHHMMSS.hex) (the port's last name, or
        C(i2c-BUS-ADDRESS); the time in UTC), when the board was written or
        a failed run may have written it. An earlier backup is never
        replaced. Never in check mode.
    type: bool
    default: false
  backup_dir:
    description:
      - The folder on the node for the backups; made when missing.
    type: path
    default: /var/lib/zelmo_flash/backups
  report:
    description:
      - Also keep the run's JSON report in this file on the node.
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
  - Needs C(zelmo_flash) 0.0.0.2 or later on the node (with C(--report),
    C(--retries) and the report's C(started) and C(time)).
  - The user the task runs as must be allowed to open the port or the bus
    and to stop and start the units (root, through C(become)).
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
author:
  - zelmo_flash maintainers
"""

EXAMPLES = r"""
- name: Update the board on the node's UART, its KISS daemon paused
  zelmo.tnc.flash:
    port: /dev/ttyAMA0
    hex_file: /var/tmp/tnc.hex
    service: [ax25-kiss.service]
    backup: true
  register: tnc

- name: Update the board on I2C bus 1 and keep its settings
  zelmo.tnc.flash:
    i2c_bus: "1"
    i2c_address: 0x20
    hex_file: /var/tmp/tnc.hex
    keep_eeprom: true

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
differs:
  description: True when the board did not hold the file as the run found it (C(updated) or C(differs)).
  returned: when the program left a report
  type: bool
  sample: false
started:
  description:
    - True when the run request was sent, so the board runs its firmware;
      false leaves it waiting in its bootloader, off the air.
  returned: when the program left a report
  type: bool
  sample: true
message:
  description: The text the run ended with, its first line; null when it ended well.
  returned: when the program left a report
  type: str
  sample: Timeout writing to Flash
time:
  description: When the run began, UTC, ISO 8601.
  returned: when the program left a report
  type: str
  sample: "2026-12-11T17:02:03Z"
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
      last read in full, null when it is not known (no full read came, or
      the board changed after it); equal to the file's when the board holds
      its code.
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
backup_file:
  description: The backup kept on the node, when one was.
  returned: when I(backup) kept one
  type: str
  sample: /var/lib/zelmo_flash/backups/ttyAMA0-20261211T170203.hex
paused:
  description: The units that were stopped for the run and started again.
  returned: always
  type: list
  elements: str
  sample: [ax25-kiss.service]
cmd:
  description: The command that ran.
  returned: when the program ran
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
import shutil

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
    service=dict(type="list", elements="str", default=[]),
    backup=dict(type="bool", default=False),
    backup_dir=dict(type="path", default="/var/lib/zelmo_flash/backups"),
    report=dict(type="path"),
    trace=dict(type="path"),
    executable=dict(type="path"),
)

# The program's own ranges, checked before anything runs.
RANGES = dict(retries=(0, 100), attempts=(1, 2147483647))


def check_ranges(module):
    for name, (low, high) in RANGES.items():
        if not low <= module.params[name] <= high:
            module.fail_json(msg="%s must be %d to %d, not %d" % (name, low, high, module.params[name]))


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


def command(module, program, link, report, save):
    params = module.params
    args = [program, "--attempts", str(params["attempts"]),
            "--retries", str(params["retries"]), "--report", report]
    if module.check_mode:
        # Looks, and leaves the board running whatever whole firmware it holds.
        args += ["--check", "--start"]
    else:
        # A check writes no file on the node; an update keeps what was asked.
        if params["start"]:
            args.append("--start")
        if save:
            args += ["--save", save]
        if params["trace"]:
            args += ["--trace", params["trace"]]
    if params["keep_eeprom"]:
        args.append("--keep-eeprom")
    # After "--" a file name or port that starts with a dash is not an option.
    return args + ["--"] + link + [params["hex_file"]]


class Services(object):
    """The units that hold the port: paused for the run, each only if active."""

    def __init__(self, module):
        self.module = module
        self.units = module.params["service"]
        self.systemctl = module.get_bin_path("systemctl", required=True) if self.units else None
        self.paused = []

    def systemctl_run(self, verb, unit):
        return self.module.run_command([self.systemctl, verb, unit])

    def pause(self):
        for unit in self.units:
            if self.systemctl_run("is-active", unit)[0] != 0:
                continue
            status, out, err = self.systemctl_run("stop", unit)
            if status != 0:
                self.resume()
                self.module.fail_json(msg="systemctl stop %s failed: %s" % (unit, (err or out).strip()),
                                      paused=[])
            self.paused.append(unit)

    def resume(self):
        """Starts every paused unit; the failures, as text."""
        failures = []
        for unit in self.paused:
            status, out, err = self.systemctl_run("start", unit)
            if status != 0:
                failures.append("systemctl start %s failed: %s" % (unit, (err or out).strip()))
        return failures


def read_report(path):
    try:
        with open(path) as report:
            return json.load(report)
    except (OSError, ValueError):
        return None


def backup_name(params, report):
    """PORT-YYYYmmddTHHMMSS.hex, from the port's last name and the run's time."""
    if params["port"] is not None:
        link = os.path.basename(params["port"].rstrip("/")) or params["port"]
    else:
        link = "i2c-%s-0x%02x" % (params["i2c_bus"], report["link"]["address"])
    stamp = report["time"].replace("-", "").replace(":", "").rstrip("Z")
    return "%s-%s.hex" % (link, stamp)


def keep_backup(module, report, save):
    """Moves the run's backup into backup_dir, never over an earlier one."""
    if not save or not os.path.exists(save) or report["outcome"] not in ("updated", "failed"):
        return None
    folder = module.params["backup_dir"]
    try:
        os.makedirs(folder, mode=0o750, exist_ok=True)
        base = os.path.join(folder, backup_name(module.params, report))
        path, number = base, 1
        while os.path.exists(path):
            path = "%s-%d.hex" % (base[:-len(".hex")], number)
            number += 1
        shutil.move(save, path)
    except OSError as error:
        module.fail_json(msg="the backup could not be kept in %s: %s" % (folder, error))
    return path


def hints(stderr):
    """The program's hint lines: who else holds the port, and its unit."""
    return [line for line in stderr.splitlines() if line.startswith("zelmo_flash: ")]


def summary(report, hex_file):
    outcome = report["outcome"]
    if outcome == "differs":
        text = "The board differs from %s" % hex_file
    elif outcome == "updated":
        text = "The board now holds %s" % hex_file
    else:
        text = "The board holds %s" % hex_file
    return text + ("; its firmware was started" if report["started"] else "; it waits in its bootloader")


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        mutually_exclusive=[("port", "i2c_bus")],
        required_one_of=[("port", "i2c_bus")],
        required_together=[("i2c_bus", "i2c_address")],
        supports_check_mode=True,
    )
    check_ranges(module)
    link = link_arguments(module)
    program = module.params["executable"] or module.get_bin_path("zelmo_flash", required=True)
    # Always a new file: a report left by an earlier run must not be read as this one's.
    report_path = os.path.join(module.tmpdir, "report.json")
    save = None
    if module.params["backup"] and not module.check_mode:
        save = os.path.join(module.tmpdir, "backup.hex")
    args = command(module, program, link, report_path, save)
    services = Services(module)
    services.pause()
    try:
        status, stdout, stderr = module.run_command(args)
    finally:
        not_resumed = services.resume()
    result = dict(cmd=args, status=status, stdout=stdout, stderr=stderr, changed=False,
                  paused=services.paused)
    report = read_report(report_path)
    if report is not None and module.params["report"]:
        shutil.copyfile(report_path, module.params["report"])
    if report is None:
        first = (stderr.strip().splitlines() or stdout.strip().splitlines() or ["no report"])[0]
        module.fail_json(msg=first, **result)
    result.update(report)
    result["status"] = status
    result["differs"] = report["outcome"] in ("updated", "differs")
    backup = keep_backup(module, report, save)
    if backup:
        result["backup_file"] = backup
    if status != 0 and not (module.check_mode and status == 2):
        message = report["message"] or "zelmo_flash ended with status %d" % status
        module.fail_json(msg="\n".join([message] + hints(stderr) + not_resumed), **result)
    if not_resumed:
        module.fail_json(msg="\n".join(not_resumed), **result)
    result["changed"] = result["differs"]
    module.exit_json(msg=summary(report, module.params["hex_file"]), **result)


if __name__ == "__main__":
    main()
