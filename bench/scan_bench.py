#!/usr/bin/python3
"""Wall and CPU time of one port scan against simulated modems, next to the floor
that the serial read passes imply.

    sudo bench/scan_bench.py [--binary build/tarnel] [--runs 3]

Each run starts the menu with standard input at its end, which draws one table
(one scan) and leaves; the private /dev holds the simulated modems only, so
ttyS0 and ttyS1 cannot be opened and cost nothing. The floor counts what the
scan must wait by construction: every read pass polls time1 cycles of 0.5 ms
(600 by default), and every write polls 5 cycles of 1 ms (a 0.5 ms pause after
the write and one after the cycle). Passes are counted from the commands each
modem heard: an answered command costs one pass; unanswered, ATE0 one and AT
its ten attempts (each followed by a 1 ms pause). Not in the floor: the 10
cycles a pass adds for each chunk of answer it receives (they weigh at a
small time1), the start-up and the two ls runs (the "no port" row).
"""

import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402

CYCLE_MS = 0.5
WRITE_PAUSES = 5 * 2  # five cycles of two 0.5 ms pauses
AT_ATTEMPTS = 10

SCENARIOS = [
    ("one modem, default timing", None, [{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]),
    ("one modem, time1=20", 20, [{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]),
    ("silent port, default timing", None, [{"path": "/dev/ttyUSB0", "faults": {"silent": True}}]),
    # Nothing listed: start-up, the two ls runs, ttyS0 and ttyS1 failing to open, the table.
    ("no port to examine", 20, [{"path": "/dev/ttyACM0"}]),
]


def floor_ms(bench, modems, time1, cycle_ms=CYCLE_MS):
    """(read passes, writes, floor of the reads, floor with writes and pauses) in ms,
    for pauses of cycle_ms where the port layer asks for 0.5 ms."""
    cycles = time1 or 600
    passes = writes = pauses = 0
    for m in modems:
        for cmd, _, outcome in bench.commands(os.path.basename(m["path"])):
            writes += 1
            if outcome in ("answered", "configured"):
                passes += 1
            elif cmd == "AT":
                passes += AT_ATTEMPTS
                pauses += AT_ATTEMPTS
            else:
                passes += 1
    reads = passes * (cycles + 1) * cycle_ms  # 0.5 ms before each pass as well
    late = cycle_ms - CYCLE_MS  # what each pause oversleeps
    return passes, writes, reads, reads + writes * WRITE_PAUSES * cycle_ms + pauses * (1.0 + late)


def pause_ms(count=2000):
    """How long one 0.5 ms pause (usleep(500), the port layer's cycle) really lasts here."""
    libc = ctypes.CDLL(None)
    started = time.monotonic()
    for _ in range(count):
        libc.usleep(500)
    return (time.monotonic() - started) * 1000.0 / count


def run_once(bench):
    """(wall ms, cpu ms) of one tarnel run whose menu meets the end of input."""
    started = time.monotonic()
    proc = subprocess.Popen([bench.binary], cwd=bench.workdir, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=bench._env(None))
    _, status, usage = os.wait4(proc.pid, 0)
    wall = (time.monotonic() - started) * 1000.0
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError("tarnel exited with %d" % proc.returncode)
    return wall, (usage.ru_utime + usage.ru_stime) * 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", default=harness.tarnel_binary())
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("scan_bench: run as root (the simulated modems need a private /dev)")
    binary = os.path.abspath(args.binary)

    pause = pause_ms()
    print("one 0.5 ms pause lasts %.3f ms on this machine now (load average %.1f)" % (pause, os.getloadavg()[0]))
    print("%-28s %6s %6s %10s %10s %10s %9s %10s %8s" % ("scenario", "passes", "writes", "floor(rd)", "floor(all)",
                                                         "wall", "over", "real-pause", "cpu"))
    for name, time1, modems in SCENARIOS:
        walls, cpus, floor, real = [], [], None, None
        for _ in range(args.runs):
            with Bench(modems, time1=time1, binary=binary) as bench:
                wall, cpu = run_once(bench)
                floor = floor_ms(bench, modems, time1)
                real = floor_ms(bench, modems, time1, pause)[3]
            walls.append(wall)
            cpus.append(cpu)
        wall = statistics.median(walls)
        cpu = statistics.median(cpus)
        passes, writes, reads, full = floor
        def above(base):
            return "%+8.1f%%" % (100.0 * (wall - base) / base) if base else "%9s" % "-"
        print("%-28s %6d %6d %8.0fms %8.0fms %8.0fms %s %s %7.2f%%"
              % (name, passes, writes, reads, full, wall, above(full), above(real).rjust(10), 100.0 * cpu / wall))
    print("floor(rd): read passes x (time1 + 1) x 0.5 ms; floor(all): with 5 ms a write and 1 ms after an"
          " undecided read;")
    print("real-pause: wall above floor(all) recomputed with the measured length of a 0.5 ms pause;")
    print("over: wall above floor(all); cpu: user+system time of tarnel as a share of its wall time;"
          " medians of %d runs" % args.runs)


if __name__ == "__main__":
    main()
