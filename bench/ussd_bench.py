#!/usr/bin/python3
"""The figure of USSD across a bank, beside its target, for one build.

    sudo bench/ussd_bench.py [--binary build/tarnel] [--runs 3]

Every run uses tarnel's default timing (no set.ini) against 16 simulated modems
in a private /dev, each of which the network answers 3 s after the request.
Figures (best of --runs): the whole `tarnel ussd '*100#'` run (scan included),
and its USSD part (from the first AT+CUSD any modem received to the end), the
target being one modem's time, not sixteen: 3 s + 1 s.
"""

import argparse
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402
from results import print_table  # noqa: E402

MODEMS = 16
NETWORK_MS = 3000


def modem(n):
    replies = {"*100#": {"text": "Balance %d.00" % n, "delay_ms": NETWORK_MS}}
    return {"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "ussd": {"replies": replies}}


def ussd_run(binary):
    """(whole run s, USSD part s, replies decoded)."""
    with Bench([modem(n) for n in range(MODEMS)], time1=None, binary=binary) as bench:
        started = time.monotonic()
        proc = subprocess.run([binary, "ussd", "*100#"], cwd=bench.workdir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=bench._env(None))
        ended_wall = time.time()
        whole = time.monotonic() - started
        first = min(e["t"] for n in range(MODEMS) for e in bench.events("ttyUSB%d" % n, "command")
                    if e["cmd"].startswith("AT+CUSD=1"))
        doc = json.loads(proc.stdout)
        good = sum(1 for m in doc["modems"] if m["code"] == 0 and m["text"].startswith("Balance"))
        return whole, ended_wall - first, good


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "tarnel"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)

    whole, part, good = min(ussd_run(binary) for _ in range(args.runs))
    rows = [("ussd on %d modems, 3 s network each: whole run" % MODEMS, "%.3f s" % whole, "<= 4.0 s", whole <= 4.0),
            ("  USSD part (first AT+CUSD to the end)", "%.3f s" % part, "<= 4.0 s", part <= 4.0),
            ("  replies decoded", str(good), str(MODEMS), good == MODEMS)]
    return print_table(rows)


if __name__ == "__main__":
    sys.exit(main())
