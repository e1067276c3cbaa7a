#!/usr/bin/python3
"""Wall and CPU time of whole tarnel runs against simulated modems, for one or two
builds side by side, next to the physical floor where the line is paced.

    sudo bench/scan_bench.py [--binary build/tarnel] [--before build-before/tarnel] [--runs 3]

Every scenario runs with tarnel's default timing (no set.ini). A scan is the menu
with standard input at its end, which draws one table and leaves; the private
/dev holds the simulated modems only, so ttyS0 and ttyS1 cannot be opened and
cost nothing. Scenarios:

- scan, one modem: a modem that answers at once;
- send, one SMS: "tarnel USB0 <number> <text>", the scan included;
- scan, silent port: a port that never answers, at both speeds (its whole time bound);
- scan, paced 9600: a modem that answers only at 9600 and moves every byte at
  the line speed (10 bits a byte, both ways); "floor" is the line time of the
  bytes exchanged, the least any program could take;
- scan, bank of 16: sixteen modems that answer at once.

cpu is tarnel's user + system time as a share of its wall time. Medians of
--runs runs (the silent port runs once: its time is fixed by construction).
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402

NUMBER = "13800000000"
BITS_PER_BYTE = 10


def ec20(n=0, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F"}, **extra)


# name, modems, tarnel arguments (None: the menu, one scan), runs (None: --runs), paced rate
SCENARIOS = [
    ("scan, one modem", [ec20()], None, None, None),
    ("send, one SMS (scan included)", [ec20()], ["USB0", NUMBER, "Hello there"], None, None),
    ("scan, silent port", [ec20(faults={"silent": True})], None, 1, None),
    ("scan, paced 9600", [ec20(speeds=[9600], faults={"pace": True})], None, None, 9600),
    ("scan, bank of 16", [ec20(n) for n in range(16)], None, None, None),
]


def run_once(bench, binary, args):
    """(wall s, cpu s, standard output) of one tarnel run."""
    started = time.monotonic()
    proc = subprocess.Popen([binary] + (args or []), cwd=bench.workdir, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=bench._env(None))
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - started
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s %s exited with %d" % (binary, args, os.waitstatus_to_exitcode(status)))
    return wall, usage.ru_utime + usage.ru_stime, out


def line_time(bench, modems, rate):
    """Seconds the bytes of the run need on a line of `rate` baud: what tarnel
    wrote, the echo of what it wrote before echo was off, and every answer."""
    total = 0
    for m in modems:
        name = os.path.basename(m["path"])
        rx = bench.rx(name)
        echo_end = rx.find(b"ATE0\r")
        total += len(rx) + (echo_end + 5 if echo_end >= 0 else len(rx))
        for event in bench.events(name, "command"):
            total += len((event.get("answer") or "").encode("latin-1"))
    return total * BITS_PER_BYTE / rate


def measure(binary, modems, args, runs, rate):
    walls, cpus, floors = [], [], []
    for _ in range(runs):
        # A fresh simulator each run: the logs hold this run's bytes only.
        with Bench(modems, time1=None, binary=binary) as bench:
            wall, cpu, _ = run_once(bench, binary, args)
            if rate:
                floors.append(line_time(bench, modems, rate))
        walls.append(wall)
        cpus.append(cpu)
    return statistics.median(walls), statistics.median(cpus), (statistics.median(floors) if floors else None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", default=harness.tarnel_binary(), help="the build to measure")
    parser.add_argument("--before", help="a second build to measure beside it, e.g. the start of a branch")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("scan_bench: run as root (the simulated modems need a private /dev)")
    builds = [("after", os.path.abspath(args.binary))]
    if args.before:
        builds.insert(0, ("before", os.path.abspath(args.before)))

    print("load average %.1f; default timing (no set.ini)" % os.getloadavg()[0])
    print("%-32s %-7s %9s %8s %9s %9s" % ("scenario", "build", "wall", "cpu", "floor", "wall/floor"))
    for name, modems, targs, runs, rate in SCENARIOS:
        for label, binary in builds:
            wall, cpu, floor = measure(binary, modems, targs, runs or args.runs, rate)
            extra = ("%8.3fs %9.2f" % (floor, wall / floor)) if floor else "%9s %9s" % ("-", "-")
            print("%-32s %-7s %8.3fs %7.2f%% %s" % (name, label, wall, 100.0 * cpu / wall, extra))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
