#!/usr/bin/python3
"""The figures of a bank of modems, each beside its target, for one build or two
side by side (the second, --before, e.g. the start of a branch).

    sudo bench/bank_bench.py [--binary build/tarnel] [--before other-build/tarnel] [--runs 1]
                             [--armhf build-armhf/tarnel]

Every run uses tarnel's default timing (no set.ini) against simulated modems in
a private /dev. A scan is the menu with standard input at its end (one table).
"Silent UARTs" are simulated ports at /dev/ttyS0 and /dev/ttyS1 that never
answer, as on-board serial ports with nothing attached. "Network time" delays
each send's answer by 3 s. Figures:

- scan of 16 and of 64 answering modems;
- 16 modems + 2 silent UARTs against one silent UART alone (ratio), with CPU share;
- one SMS from each of 16 ports, scan included, without and with 3 s of network
  time per send, the latter against one port's time (ratio);
- sms readclear of 16 SIM cards holding 10 messages each, scan included (all
  160 must be reported);
- peak RSS of the 64-port scan; with --armhf, the stripped size of that program.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402
from scan_bench import NUMBER, ec20, run_once  # noqa: E402


def silent_uart(name):
    return {"path": "/dev/" + name, "model": "CPhone_EC20F", "faults": {"silent": True}}


def network(n):
    return ec20(n, send=[{"pdu": "ok", "delay_ms": 3000}])


def sim_messages(n):
    return ec20(n, storage={"SM": [{"from": "+8613800000000", "text": "m%d-%d" % (n, i),
                                    "time": "24-01-02 03:04:05", "stat": 1} for i in range(10)]})


def peak_rss(modems, binary, set_ini=None):
    """Peak resident memory (KiB) of the menu's scan: VmHWM once the table is drawn and the
    menu waits for a key. (wait4's ru_maxrss would count the forking Python's pages too.)"""
    with Bench(modems, time1=None, binary=binary, set_ini=set_ini) as bench:
        proc = subprocess.Popen([binary], cwd=bench.workdir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, env=bench._env(None))
        seen = b""
        while b"q quit" not in seen:
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError("the menu ended before its table")
            seen += chunk
        with open("/proc/%d/status" % proc.pid) as f:
            hwm = int([line for line in f if line.startswith("VmHWM:")][0].split()[1])
        proc.stdin.close()
        proc.stdout.read()
        proc.wait()
        return hwm


def measure(binary, modems, args, runs, check=None):
    best = None
    for _ in range(runs):
        with Bench(modems, time1=None, binary=binary) as bench:
            wall, cpu, out = run_once(bench, binary, args)
            if check:
                check(out)
        if best is None or wall < best[0]:
            best = (wall, cpu)
    return best


def all_sent(count):
    def check(out):
        doc = json.loads(out)
        codes = [e["code"] for e in doc.get("result", [])]
        if codes != [0] * count:
            raise RuntimeError("not every send succeeded: %r" % doc)
    return check


def all_read(count):
    def check(out):
        doc = json.loads(out)
        texts = [m["text"] for p in doc.get("ports", []) for m in p.get("msgs", [])]
        if len(set(texts)) != count or len(texts) != count:
            raise RuntimeError("%d of %d messages reported" % (len(texts), count))
    return check


SCAN = []
SEND = [NUMBER, "Hello there"]
# name, modems, arguments, check
RUNS = {
    "scan16": ([ec20(n) for n in range(16)], SCAN, None),
    "scan64": ([ec20(n) for n in range(64)], SCAN, None),
    "uarts": ([ec20(n) for n in range(16)] + [silent_uart("ttyS0"), silent_uart("ttyS1")], SCAN, None),
    "uart1": ([silent_uart("ttyS0")], SCAN, None),
    "send16": ([ec20(n) for n in range(16)], SEND, all_sent(16)),
    "net16": ([network(n) for n in range(16)], SEND, all_sent(16)),
    "net1": ([network(0)], SEND, all_sent(1)),
    "readclear16": ([sim_messages(n) for n in range(16)], ["sms", "readclear"], all_read(160)),
}

# figure, how it is computed from the runs, target, unit
FIGURES = [
    ("scan, 16 modems", lambda r: r["scan16"][0], "<= 1.0 s", "s"),
    ("scan, 64 modems", lambda r: r["scan64"][0], "<= 2.0 s", "s"),
    ("16 modems + 2 silent UARTs / 1 silent UART", lambda r: r["uarts"][0] / r["uart1"][0], "<= 1.10 x", "x"),
    ("  CPU share of that scan", lambda r: 100.0 * r["uarts"][1] / r["uarts"][0], "<= 2 %", "%"),
    ("one SMS from each of 16 ports, scan included", lambda r: r["send16"][0], "<= 2.0 s", "s"),
    ("  with 3 s network time, / one port's time", lambda r: r["net16"][0] / r["net1"][0], "<= 1.3 x", "x"),
    ("sms readclear, 16 SIMs x 10 messages", lambda r: r["readclear16"][0], "<= 2.0 s", "s"),
    ("peak RSS, 64 ports", lambda r: r["rss64"] / 1024.0, "<= 12 MB", "MB"),
]


def stripped_size(binary):
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "tarnel")
        shutil.copy(binary, copy)
        subprocess.run(["arm-linux-gnueabihf-strip", copy], check=True)
        return os.path.getsize(copy)


def bench_arguments(doc, name, armhf=False):
    """The options every bench takes; (options, [(label, program)]) to measure."""
    parser = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    parser.add_argument("--binary", default=harness.tarnel_binary(), help="the build to measure")
    parser.add_argument("--before", help="a second build to measure beside it")
    parser.add_argument("--runs", type=int, default=1, help="runs of each scenario; the fastest counts")
    if armhf:
        parser.add_argument("--armhf", help="the cross-built program whose stripped size to report")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("%s: run as root (the simulated modems need a private /dev)" % name)
    builds = [("after", os.path.abspath(args.binary))]
    if args.before:
        builds.append(("before", os.path.abspath(args.before)))
    return args, builds


def print_figures(figures, results, heading):
    """One line per figure: its value for each build beside its target."""
    print(heading)
    print("%-46s %12s %12s %10s" % ("figure", "after", "before", "target"))
    for name, compute, target, unit in figures:
        values = ["%9.2f %-2s" % (compute(results[label]), unit) if label in results else "%12s" % "-"
                  for label in ("after", "before")]
        print("%-46s %12s %12s %10s" % (name, values[0], values[1], target))


def main():
    args, builds = bench_arguments(__doc__, "bank_bench", armhf=True)
    results = {}
    for label, binary in builds:
        runs = {}
        for name, (modems, targs, check) in RUNS.items():
            runs[name] = measure(binary, modems, targs, args.runs, check)
            sys.stderr.write("%s %s: %.2f s\n" % (label, name, runs[name][0]))
        runs["rss64"] = peak_rss(RUNS["scan64"][0], binary)
        results[label] = runs

    print_figures(FIGURES, results, "load average %.1f; default timing (no set.ini); fastest of %d run(s)"
                  % (os.getloadavg()[0], args.runs))
    if args.armhf:
        print("%-46s %9.0f KB %12s %10s" % ("armhf program, stripped", stripped_size(args.armhf) / 1024.0, "",
                                            "< 1 MB"))

if __name__ == "__main__":
    main()
