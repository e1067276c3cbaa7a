#!/usr/bin/python3
"""The figures of `tarnel sms watch`, beside their targets, for one build.

    sudo bench/watch_bench.py [--binary build/tarnel] [--messages 40] [--idle 20]

Every run uses tarnel's default timing (set.ini names only watchpoll) against
16 simulated modems in a private /dev. Figures:
- announced: from the simulator's +CMTI to the message's line on tarnel's
  standard output (worst and median of --messages, spread over the modems;
  target 1 s);
- unannounced (every indication dropped, watchpoll 5 s): from the message
  being stored to its line (worst; target watchpoll + 1 s);
- idle: the CPU time of the watch of 16 modems without traffic over --idle
  seconds, as a share of one core (target 0.5 %), at the default watchpoll;
- one-shot send: `tarnel USB0 <number> <text>` while a watch holds the 16
  modems (it borrows ttyUSB0 from the watch) against the same send with no
  watch, each the median of --sends (target: within 1 s).
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402
from results import print_table  # noqa: E402

MODEMS = 16
UNANNOUNCED_POLL = 5


def modem(n, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "imei": "86123456789%04d" % n,
                 "iccid": "898600123456789%05d" % n, "storage": {"SM": [], "ME": [], "SR": []}}, **extra)


class Watch:
    """tarnel sms watch with its lines timed as they arrive."""

    def __init__(self, bench, binary):
        self.proc = subprocess.Popen([binary, "sms", "watch"], cwd=bench.workdir, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=bench._env(None))
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            with self.changed:
                self.lines.append((time.time(), json.loads(raw)))
                self.changed.notify_all()

    def wait(self, predicate, timeout):
        end = time.time() + timeout
        with self.changed:
            while True:
                found = [(t, l) for t, l in self.lines if predicate(l)]
                if found:
                    return found[0]
                if time.time() >= end:
                    raise RuntimeError("timed out; lines: %r" % self.lines)
                self.changed.wait(0.05)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        self.proc.terminate()
        return self.proc.wait(10)


def watched_all(watch):
    watch.wait(lambda l: sum(1 for _, x in watch.lines if x.get("state") == "watched") == MODEMS, 60)


def latencies(binary, messages, watchpoll, drop, event):
    """Seconds from each message's simulator `event` ("indicated", "stored") to its line."""
    modems = [modem(n, drop_indications=drop) for n in range(MODEMS)]
    with Bench(modems, set_ini="[comm]\nwatchpoll=%d\n" % watchpoll, binary=binary) as bench:
        watch = Watch(bench, binary)
        watched_all(watch)
        delays = []
        for i in range(messages):
            name = "ttyUSB%d" % (i % MODEMS)
            text = "%s %d" % (event, i)
            seen = len(bench.events(name, event))
            bench.deliver(name, {"from": "+8613900000000", "text": text, "time": "26-12-08 10:00:00"})
            when, _ = watch.wait(lambda l: l.get("text") == text, watchpoll * 3)
            happened = harness.wait_for(lambda: bench.events(name, event)[seen:], 5, event)[0]
            delays.append(when - happened["t"])
        rc = watch.stop()
        return delays, rc


def idle(binary, seconds):
    """Share of one core the watch of 16 quiet modems takes."""
    with Bench([modem(n) for n in range(MODEMS)], set_ini="[comm]\n", binary=binary) as bench:
        watch = Watch(bench, binary)
        watched_all(watch)
        time.sleep(2)  # the catch-up of every modem is over
        before, start = watch.cpu_seconds(), time.monotonic()
        time.sleep(seconds)
        used, took = watch.cpu_seconds() - before, time.monotonic() - start
        watch.stop()
        return used / took


def one_shot_sends(binary, sends):
    """Median seconds of a send from ttyUSB0 with no watch, then while a watch holds every modem."""
    def send(bench, i):
        start = time.monotonic()
        result = bench.run_tarnel(["USB0", "10086", "one-shot %d" % i], binary=binary)
        took = time.monotonic() - start
        if result.rc != 0 or json.loads(result.out)["result"][0]["code"] != 0:
            raise RuntimeError("send failed: %r" % result)
        return took

    with Bench([modem(n) for n in range(MODEMS)], set_ini="[comm]\n", binary=binary) as bench:
        alone = [send(bench, i) for i in range(sends)]
        watch = Watch(bench, binary)
        watched_all(watch)
        watched = [send(bench, i) for i in range(sends)]
        lent = sum(1 for _, l in watch.lines if l.get("state") == "lent")
        rc = watch.stop()
    return statistics.median(alone), statistics.median(watched), lent, rc


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "tarnel"))
    parser.add_argument("--messages", type=int, default=40)
    parser.add_argument("--idle", type=float, default=20.0)
    parser.add_argument("--sends", type=int, default=5)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)

    told, rc1 = latencies(binary, args.messages, 60, 0.0, "indicated")
    silent, rc2 = latencies(binary, max(4, args.messages // 4), UNANNOUNCED_POLL, 1.0, "stored")
    share = idle(binary, args.idle)
    alone, watched, lent, rc3 = one_shot_sends(binary, args.sends)
    rows = [("announced: +CMTI to line, worst of %d" % len(told), "%.3f s" % max(told), "<= 1.0 s", max(told) <= 1.0),
            ("  median", "%.3f s" % statistics.median(told), "", True),
            ("unannounced: stored to line, worst of %d (watchpoll %d)" % (len(silent), UNANNOUNCED_POLL),
             "%.3f s" % max(silent), "<= %d.0 s" % (UNANNOUNCED_POLL + 1), max(silent) <= UNANNOUNCED_POLL + 1),
            ("idle: %d modems watched for %.0f s, CPU" % (MODEMS, args.idle), "%.3f %%" % (share * 100), "<= 0.5 %",
             share <= 0.005),
            ("one-shot send with no watch, median of %d" % args.sends, "%.3f s" % alone, "", True),
            ("  the same while a watch holds the modems (lent %d times)" % lent, "%.3f s" % watched,
             "<= %.3f s" % (alone + 1.0), watched <= alone + 1.0 and lent == args.sends),
            ("exit status after SIGTERM", "%d, %d, %d" % (rc1, rc2, rc3), "143", rc1 == rc2 == rc3 == 143)]
    return print_table(rows)


if __name__ == "__main__":
    sys.exit(main())
