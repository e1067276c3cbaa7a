#!/usr/bin/python3
"""The figures of the modems' health, each beside its target, for one build.

    sudo bench/health_bench.py [--binary build/tarnel] [--runs 3]

Every run uses tarnel's default timing (no set.ini) against simulated modems in
a private /dev that answer at once. Figures (best of --runs):

- menu key 4 on 16 modems: from the key to the table (the scan before it is the
  menu's own), and the exchanges each modem got in that time, beyond detection;
- `tarnel scan` of 16 modems: the whole run (detection and health), its
  health part (from the first command after a modem's detection to the end),
  and the most exchanges one modem got beyond its detection;
- a send of two numbers through a modem whose SIM asks for its PIN, and through
  one whose registration is denied: the whole run (scan included) and its send
  part (from the first command after detection to the end), with the AT+CMGS
  each modem received.
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
from detect_support import Menu  # noqa: E402
from harness import Bench  # noqa: E402
from results import print_table  # noqa: E402

NUMBERS = "13800000000,13900000000"
HEALTH_BACK = "Press any key to go back to the menu"


def ec20(n=0, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F"}, **extra)


def health_key(binary):
    """(seconds from key 4 to the table, most exchanges of one modem in that time)."""
    modems = [ec20(n, cereg=1) for n in range(16)]
    with Bench(modems, time1=None, binary=binary) as bench:
        menu = Menu(bench)
        menu.wait_menu()
        before = {m["path"]: len(bench.commands(os.path.basename(m["path"]))) for m in modems}
        started = time.monotonic()
        menu.key("4")
        menu.child.expect_exact(HEALTH_BACK)
        seconds = time.monotonic() - started
        exchanges = max(len(bench.commands(os.path.basename(p))) - n for p, n in before.items())
        menu.key("x")
        menu.wait_menu()
        menu.quit()
        return seconds, exchanges


def health_scan(binary):
    """(whole run s, health part s, most exchanges of one modem beyond detection)."""
    modems = [ec20(n, cereg=1) for n in range(16)]
    with Bench(modems, time1=None, binary=binary) as bench:
        started = time.monotonic()
        proc = subprocess.run([binary, "sscan"], cwd=bench.workdir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=bench._env(None))
        ended_wall = time.time()
        whole = time.monotonic() - started
        # The fixed on-board ports are listed too, absent here.
        seen = [m["registration"] for m in json.loads(proc.stdout)["modems"] if m["name"].startswith("ttyUSB")]
        if seen != ["home"] * 16:
            raise RuntimeError("scan did not report 16 registered modems: %r" % seen)
        exchanges, first_health = 0, ended_wall
        for m in modems:
            events = bench.events(os.path.basename(m["path"]), "command")
            # Detection ends with the signal query; the health begins with the next command.
            last_csq = max(i for i, e in enumerate(events) if e["cmd"] == "AT+CSQ")
            exchanges = max(exchanges, len(events) - last_csq - 1)
            if last_csq + 1 < len(events):
                first_health = min(first_health, events[last_csq + 1]["t"])
        return whole, ended_wall - first_health, exchanges


def failing_send(binary, cfg):
    """(whole run s, send part s, AT+CMGS received, the result's code)."""
    with Bench([ec20(0, **cfg)], time1=None, binary=binary) as bench:
        started = time.monotonic()
        proc = subprocess.run([binary, "USB0", NUMBERS, "health bench"], cwd=bench.workdir,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              env=bench._env(None))
        ended_wall = time.time()
        whole = time.monotonic() - started
        events = bench.events("ttyUSB0", "command")
        # Detection ends with the signal query; the send begins with the next command.
        last_csq = max(i for i, e in enumerate(events) if e["cmd"] == "AT+CSQ")
        send_part = ended_wall - events[last_csq + 1]["t"]
        cmgs = sum(1 for e in events if e["cmd"].startswith("AT+CMGS"))
        codes = sorted({r["code"] for r in json.loads(proc.stdout)["result"]})
        return whole, send_part, cmgs, codes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "tarnel"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)

    rows = []
    seconds, exchanges = min(health_key(binary) for _ in range(args.runs))
    rows.append(("key 4, health of 16 modems", "%.3f s" % seconds, "<= 1.0 s", seconds <= 1.0))
    rows.append(("  exchanges per modem beyond detection", str(exchanges), "<= 7", exchanges <= 7))
    whole, part, exchanges = min(health_scan(binary) for _ in range(args.runs))
    rows.append(("tarnel scan, 16 modems with health", "%.3f s" % whole, "<= 1.0 s", whole <= 1.0))
    rows.append(("  its health part", "%.3f s" % part, "", None))
    rows.append(("  exchanges per modem beyond detection", str(exchanges), "<= 7", exchanges <= 7))
    for label, cfg in (("locked SIM (PIN)", {"cpin": "SIM PIN"}), ("denied registration", {"creg": 3, "cgreg": 3})):
        whole, part, cmgs, codes = min(failing_send(binary, cfg) for _ in range(args.runs))
        rows.append(("send, %s: whole run" % label, "%.3f s" % whole, "", None))
        rows.append(("  send part, codes %s" % codes, "%.3f s" % part, "<= 1 s", part <= 1.0))
        rows.append(("  AT+CMGS received", str(cmgs), "0", cmgs == 0))

    return print_table(rows)


if __name__ == "__main__":
    sys.exit(main())
