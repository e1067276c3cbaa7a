"""Exchanges against modems that answer late, in pieces, with echo on, with
unsolicited lines, or not at all once detected: every answer is judged as its
own command's, and a modem that stopped answering costs one wait."""

import json
import time
import unittest

import harness
from harness import Bench

NUMBER = "13800000000"
STORED = {"from": "13912345678", "text": "hello there", "time": "23-05-17 08:30:00", "stat": 1}
REPORTED = {"from": "13912345678", "text": "hello there", "time": "23-05-17 08:30:00", "storage": "SIM"}
# The commands detection sends to a modem with a SIM card: ATE0, AT twice,
# ATI, the IMEI, the SIM number, the signal.
DETECTION_COMMANDS = 7


def modem(**extra):
    return dict({"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "storage": {"SM": [STORED]}}, **extra)


def document(result):
    if result.rc != 0:
        raise AssertionError("tarnel failed: %r" % result)
    return json.loads(result.out)


class MisbehavingModems(unittest.TestCase):
    # Each modem must read and send exactly like a well-behaved one.
    # name, time1, modem settings
    VARIANTS = [
        # Later than one read pass (time1=400: 200 ms), well within the next:
        # detection's "ATE0" is given up on and its late "OK" must not answer
        # the first "AT".
        ("late", 400, {"faults": {"delay_ms": 300}}),
        # Pauses between pieces much longer than the quiet gap.
        ("pieces", 100, {"faults": {"chunk": {"bytes": 6, "ms": 25}}}),
        # "ATE0" answered but ignored: every command comes back before its answer.
        ("echo", 100, {"answers": {"ATE0": "\r\nOK\r\n"}}),
        ("unsolicited", 100, {"faults": {"urc": {"text": "\r\n^RSSI: 20\r\n", "at": ["before", "inside"]}}}),
        # Every byte at 9600 baud.
        ("paced", 100, {"speeds": [9600], "faults": {"pace": True}}),
    ]

    def test_reads_and_sends_like_a_well_behaved_modem(self):
        for name, time1, extra in self.VARIANTS:
            with self.subTest(name), Bench([modem(**extra)], time1=time1) as bench:
                read = document(bench.run_tarnel(["sms", "read"]))
                self.assertEqual(read["portcount"], 1, read)
                self.assertEqual(read["ports"][0]["msgs"], [REPORTED])
                sent = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
                self.assertEqual([(r["code"], r["message"]) for r in sent["result"]], [(0, "Succeed")])
                self.assertEqual(len(bench.state("ttyUSB0")["sent"]), 1)


class StoppedModem(unittest.TestCase):
    def test_one_wait_then_every_number_fails_at_once(self):
        numbers = ["13800000001", "13800000002", "13800000003"]
        for variant in ("en", "zh"):
            with self.subTest(variant), \
                    Bench([modem(faults={"silent_after": DETECTION_COMMANDS})], time1=100) as bench:
                started = time.monotonic()
                doc = document(bench.run_tarnel(["USB0", ",".join(numbers), "Hello there"],
                                                binary=harness.tarnel_binary(variant)))
                took = time.monotonic() - started
                # The JSON document speaks English in both builds.
                self.assertEqual([(r["number"], r["code"], r["message"]) for r in doc["result"]],
                                 [(n, 1, "Modem stopped answering") for n in numbers])
                commands = [c for c, _, _ in bench.commands("ttyUSB0")]
                # Detection, then the first command that met silence, and nothing more.
                self.assertEqual(len(commands), DETECTION_COMMANDS + 1, commands)
                # Its bound is 5 passes of 50 ms; 1400 passes would be 70 s.
                self.assertLess(took, 30)


if __name__ == "__main__":
    harness.main()
