"""Detection is bounded: a modem that answers AT but never ATI, or one that
answers only at 9600 and later than a probe waits, costs a scan about what a
silent port costs, and the late answers of one line speed are never taken for
the answers of the next."""

import json
import time
import unittest

import harness
from harness import Bench

NUMBER = "13800000000"
# time1=20: 10 ms passes, so an AT probe waits 100 ms for its answer.
TIME1 = 20
# Where each kind of port sits on the bench.
SILENT, NO_ATI, LATE, SLOW = 0, 1, 2, 3
MODEMS = [
    {"path": "/dev/ttyUSB%d" % SILENT, "faults": {"silent": True}},
    {"path": "/dev/ttyUSB%d" % NO_ATI, "answers": {"ATI": None}},
    # Later than the AT probe waits: every probe at 9600 goes unanswered in
    # time, and the answers arrive once the scan has moved on to 115200.
    {"path": "/dev/ttyUSB%d" % LATE, "speeds": [9600], "faults": {"delay_ms": 150}},
    # Late for the echo-off command (one pass), in time for the AT probes:
    # each answer comes one command late, and the ATI answer after the scan
    # has given up on 9600.
    {"path": "/dev/ttyUSB%d" % SLOW, "speeds": [9600], "faults": {"delay_ms": 60}},
]


def scan_seconds(bench, n, runs=3):
    """Seconds of the fastest of `runs` runs that examine only ttyUSB<n>,
    with the send document each gave."""
    best, doc = None, None
    for _ in range(runs):
        started = time.monotonic()
        result = bench.run_tarnel(["USB%d" % n, NUMBER, "Hello there"])
        took = time.monotonic() - started
        if result.rc != 0 or result.err:
            raise AssertionError("tarnel failed: %r" % result)
        doc = json.loads(result.out)
        best = took if best is None else min(best, took)
    return best, doc


class BoundedDetection(unittest.TestCase):
    def test_no_port_costs_more_than_twice_a_silent_one(self):
        with Bench(MODEMS, time1=TIME1) as bench:
            silent, _ = scan_seconds(bench, SILENT)
            for n in (NO_ATI, LATE, SLOW):
                name = "ttyUSB%d" % n
                with self.subTest(name):
                    took, doc = scan_seconds(bench, n)
                    self.assertLessEqual(took, 2 * silent, "%.2f s against %.2f s for a silent port" % (took, silent))
                    # Not recognised, so nothing is sent: the modem is reported as not answering AT.
                    self.assertEqual([(r["com"], r["code"]) for r in doc["result"]], [(name, 2)])

    def test_late_answers_of_9600_are_not_taken_at_115200(self):
        # A modem that only speaks 9600 is silent at 115200: whatever the
        # scan sent there must be what a silent port gets, one AT and no more.
        for n in (LATE, SLOW):
            name = "ttyUSB%d" % n
            with self.subTest(name), Bench([MODEMS[n]], time1=TIME1) as bench:
                bench.run_tarnel(["USB%d" % n, NUMBER, "Hello there"])
                fast = [(cmd, outcome) for cmd, speed, outcome in bench.commands(name) if speed == 115200]
                self.assertEqual(fast, [("ATE0", "wrong-speed"), ("AT", "wrong-speed")])

    def test_a_modem_without_ati_is_tried_at_both_rates_with_one_ati_each(self):
        with Bench([MODEMS[NO_ATI]], time1=TIME1) as bench:
            bench.run_tarnel(["USB%d" % NO_ATI, NUMBER, "Hello there"])
            probe = ["ATE0", "AT", "AT", "ATI"]
            self.assertEqual([(cmd, speed) for cmd, speed, _ in bench.commands("ttyUSB%d" % NO_ATI)],
                             [(cmd, 9600) for cmd in probe] + [(cmd, 115200) for cmd in probe])


if __name__ == "__main__":
    harness.main()
