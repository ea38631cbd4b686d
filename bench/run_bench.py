#!/usr/bin/env python3
"""Measures a full serial update of the example firmware against the
simulated board on a pseudo-terminal.

Prints the wall time, the floor that the protocol's fixed pauses force for
that run (two 100 ms pauses per handshake attempt, plus 100 ms before the
first poll of every wait, counted from the board's trace), their ratio, the
CPU time and the peak resident set size of zelmo_flash; each run is done
four times, plain, with --trace, with --save and with --report, and the
costs of the wire log, of the backup and of the report are reported (a
--save update must make exactly as many exchanges as a plain one: its reads
stand in for the update's first; a --report update must wait exactly as
often).

Then the HEX reader: a full 128 KiB image of random data (8,195 records of
16 bytes, written by srec_cat) is loaded with a port that does not exist,
and the median of 25 whole-process runs is compared with srec_cat's own
reading of the same file into a binary, the two interleaved.

Usage: bench/run_bench.py [--build DIR] [--runs N]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLE = os.path.join(ROOT, "examples", "demo_firmware.hex")
TARGETS = {"wall/floor": 1.03, "cpu/wall": 0.02, "rss_mib": 4.0, "traced/plain": 1.01,
           "saved/plain": 1.01, "frames saved-plain": 0, "reported/plain": 1.01,
           "waits reported-plain": 0, "reader/srec_cat": 0.5}
VARIANTS = ("plain", "traced", "saved", "reported")
# Requests that are followed by a response wait (first byte of the frame).
WAITED = {0x10, 0x20, 0x02, 0x04, 0x01}


def floor_seconds(trace_path):
    handshakes = waits = 0
    with open(trace_path) as trace:
        for line in trace:
            frame = [int(field, 16) for field in line.split()[1:]]
            if frame[:1] == [0xC0] and frame[-2:] == [0x0F, 0x02]:
                handshakes += 1
            elif frame == [0xC0, 0x55, 0xAA] or (frame and frame[0] in WAITED):
                waits += 1
    return 0.2 * handshakes + 0.1 * waits, handshakes, waits


def high_water_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def one_run(build, variant):
    simboard = os.path.join(build, "tools", "simboard", "zelmo_flash_simboard")
    flash = os.path.join(build, "zelmo_flash")
    with tempfile.TemporaryDirectory() as work:
        trace = os.path.join(work, "trace")
        board = subprocess.Popen([simboard, "--trace", trace], stdout=subprocess.PIPE, text=True)
        try:
            port = board.stdout.readline().strip()
            started = time.monotonic()
            options = {"plain": [], "traced": ["--trace", os.path.join(work, "wire.log")],
                       "saved": ["--save", os.path.join(work, "board.hex")],
                       "reported": ["--report", os.path.join(work, "report.json")]}[variant]
            run = subprocess.Popen([flash] + options + [port, "0", EXAMPLE], stdout=subprocess.DEVNULL)
            peak_kib = 0
            while True:
                # The rusage of a child also counts the forked interpreter
                # before exec; the process's own high-water mark does not.
                peak_kib = max(peak_kib, high_water_kib(run.pid))
                finished, status, usage = os.wait4(run.pid, os.WNOHANG)
                if finished:
                    break
                time.sleep(0.02)
            wall = time.monotonic() - started
        finally:
            board.terminate()
            board.wait()
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("zelmo_flash failed: status %d" % os.waitstatus_to_exitcode(status))
        floor, handshakes, waits = floor_seconds(trace)
        with open(trace) as frames:
            sent = sum(1 for _ in frames)
    return {
        "frames": sent,
        "wall": wall,
        "floor": floor,
        "handshakes": handshakes,
        "waits": waits,
        "cpu": usage.ru_utime + usage.ru_stime,
        "rss_mib": peak_kib / 1024.0,
    }


def timed(command):
    started = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - started


def reader_ratio(build, runs=25):
    """The reader's time over srec_cat's for the same full image."""
    flash = os.path.join(build, "zelmo_flash")
    with tempfile.TemporaryDirectory() as work:
        hex_file = os.path.join(work, "full.hex")
        subprocess.check_call(["srec_cat", "-generate", "0", "0x20000", "-random", "-o", hex_file,
                               "-Intel", "-Output_Block_Size", "16"])
        ours, theirs = [], []
        for _ in range(runs):
            ours.append(timed([flash, "/dev/zelmo-no-such-port", "0", hex_file]))
            theirs.append(timed(["srec_cat", hex_file, "-Intel", "-o",
                                 os.path.join(work, "full.bin"), "-Binary"]))
    ours_ms, theirs_ms = 1000 * statistics.median(ours), 1000 * statistics.median(theirs)
    print("HEX reader: %.2f ms, srec_cat %.2f ms (medians of %d)" % (ours_ms, theirs_ms, runs))
    return ours_ms / theirs_ms


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    if not os.path.exists(os.path.join(args.build, "zelmo_flash")):
        subprocess.check_call([os.path.join(ROOT, "scripts", "build.sh"), args.build, "-DZELMO_TESTS=OFF"])

    print("%-4s %-7s %8s %8s %8s %6s %6s %9s %8s %8s"
          % ("run", "options", "wall s", "floor s", "ratio", "frames", "waits", "cpu s", "cpu %",
             "rss MiB"))
    worst = {name: 0.0 for name in TARGETS}
    walls = {variant: 0.0 for variant in VARIANTS}
    frames = {variant: 0 for variant in VARIANTS}
    waits = {variant: 0 for variant in VARIANTS}
    for index in range(args.runs):
        for variant in VARIANTS:
            r = one_run(args.build, variant)
            ratio = r["wall"] / r["floor"]
            share = r["cpu"] / r["wall"]
            walls[variant] += r["wall"]
            frames[variant] = max(frames[variant], r["frames"])
            waits[variant] = max(waits[variant], r["waits"])
            print("%-4d %-7s %8.3f %8.3f %8.4f %6d %6d %9.4f %8.3f %8.2f"
                  % (index + 1, variant, r["wall"], r["floor"], ratio, r["frames"], r["waits"],
                     r["cpu"], 100 * share, r["rss_mib"]))
            worst["wall/floor"] = max(worst["wall/floor"], ratio)
            worst["cpu/wall"] = max(worst["cpu/wall"], share)
            worst["rss_mib"] = max(worst["rss_mib"], r["rss_mib"])
    # The costs of the wire log and of the backup: total wall time with
    # each over total without; the backup must add no exchange.
    worst["traced/plain"] = walls["traced"] / walls["plain"]
    worst["saved/plain"] = walls["saved"] / walls["plain"]
    worst["frames saved-plain"] = abs(frames["saved"] - frames["plain"])
    # The report is written once the run has ended: no wait may change.
    worst["reported/plain"] = walls["reported"] / walls["plain"]
    worst["waits reported-plain"] = abs(waits["reported"] - waits["plain"])
    print()
    worst["reader/srec_cat"] = reader_ratio(args.build)
    met = True
    for name, limit in TARGETS.items():
        ok = worst[name] <= limit
        met = met and ok
        print("%-12s worst %.4f  target <= %s  %s" % (name, worst[name], limit, "met" if ok else "MISSED"))
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
