#!/usr/bin/python3
"""Scans of modems with several ttys each, beside the same modems with one tty,
each figure beside its target, for one build or two side by side.

    sudo bench/identity_bench.py [--binary build/tarnel] [--before other-build/tarnel] [--runs 1]

Default timing (no timing keys in set.ini; fixedports=0 so that no absent
on-board port is listed). A scan is the menu with standard input at its end
(one table). A modem with 4 ttys has a diagnostics-like and a GPS-like tty
that never answer AT, an AT tty and a second AT tty, on one USB device that
is either in the role table (vendor 2c7c, product 0125: the silent ttys are
never opened) or not (vendor 2c7d: every tty is tried, the silent ones give
up when their modem's AT tty answers). Figures:

- 16 modems x 4 ttys, device not in the role table, against 16 x 1 tty;
- the same with the device in the role table, and how many non-AT ttys were opened;
- 64 modems x 4 ttys (256 ttys), both kinds, and the peak RSS of that scan.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from harness import Bench  # noqa: E402
from bank_bench import bench_arguments, peak_rss, print_figures  # noqa: E402
from scan_bench import ec20, run_once  # noqa: E402

SET_INI = "[comm]\nfixedports=0\n"


def four_ttys(n, vendor):
    return {"usb": {"position": "1-%d" % (n + 1), "vendor": vendor, "product": "0125"}, "model": "CPhone_EC20F",
            "imei": "8600000000%05d" % n, "iccid": "898600000000000%05d" % n,
            "ttys": [{"role": "silent"}, {"role": "silent"}, {"role": "at"}, {"role": "at2"}]}


KNOWN, UNKNOWN = "2c7c", "2c7d"
RUNS = {
    "one16": [ec20(n, imei="8600000000%05d" % n) for n in range(16)],
    "unknown16": [four_ttys(n, UNKNOWN) for n in range(16)],
    "known16": [four_ttys(n, KNOWN) for n in range(16)],
    "unknown64": [four_ttys(n, UNKNOWN) for n in range(64)],
    "known64": [four_ttys(n, KNOWN) for n in range(64)],
}


def opened_silent(bench, modems):
    """How many of the silent ttys were written to."""
    count = 0
    for n in range(len(modems)):
        for tty in (4 * n, 4 * n + 1):
            path = os.path.join(bench.logdir, "ttyUSB%d.rx" % tty)
            count += 1 if os.path.exists(path) and os.path.getsize(path) > 0 else 0
    return count


def rows_of(out, expected):
    rows = out.count(b"\n" + b"-" * 90 + b"\n")
    if rows != expected:
        raise RuntimeError("%d table rows, %d expected" % (rows, expected))


def measure(binary, modems, runs, grouped):
    best = None
    for _ in range(runs):
        with Bench(modems, time1=None, binary=binary, set_ini=SET_INI) as bench:
            wall, _, out = run_once(bench, binary, [])
            if grouped:  # a build that groups lists one row per modem
                rows_of(out, len(modems))
            silent = opened_silent(bench, modems) if "ttys" in modems[0] else 0
        if best is None or wall < best[0]:
            best = (wall, silent)
    return best


# figure, how it is computed from the runs, target, unit
FIGURES = [
    ("scan 16 x 1 tty", lambda r: r["one16"][0], "", "s"),
    ("scan 16 x 4 ttys, not in role table", lambda r: r["unknown16"][0], "", "s"),
    ("  minus 16 x 1 tty", lambda r: r["unknown16"][0] - r["one16"][0], "<= 0.1 s", "s"),
    ("scan 16 x 4 ttys, in role table", lambda r: r["known16"][0], "", "s"),
    ("  minus 16 x 1 tty", lambda r: r["known16"][0] - r["one16"][0], "<= 0.1 s", "s"),
    ("  non-AT ttys opened", lambda r: r["known16"][1], "0", ""),
    ("scan 64 x 4 ttys, not in role table", lambda r: r["unknown64"][0], "<= 2.0 s", "s"),
    ("scan 64 x 4 ttys, in role table", lambda r: r["known64"][0], "<= 2.0 s", "s"),
    ("peak RSS, 64 x 4 ttys not in role table", lambda r: r["rss64"] / 1024.0, "<= 12 MB", "MB"),
]


def main():
    args, builds = bench_arguments(__doc__, "identity_bench")
    results = {}
    for label, binary in builds:
        runs = {}
        for name, modems in RUNS.items():
            runs[name] = measure(binary, modems, args.runs, label == "after")
            sys.stderr.write("%s %s: %.2f s\n" % (label, name, runs[name][0]))
        runs["rss64"] = peak_rss(RUNS["unknown64"], binary, SET_INI)
        results[label] = runs
    print_figures(FIGURES, results, "load average %.1f; default timing; fastest of %d run(s)"
                  % (os.getloadavg()[0], args.runs))

if __name__ == "__main__":
    main()
