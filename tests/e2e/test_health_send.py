"""Sends that fail fast and say why: the SIM state and the registration are asked before the first
number of a port, and a locked SIM, a SIM failure or a denied registration fail every number at once
without AT+CMGS; a busy SIM and a registration still searching are waited for. No PIN is ever sent."""

import json
import signal
import subprocess
import time
import unittest

import harness
from harness import Bench, wait_for

NUMBERS = "13912345678,13812345678"


def modem(n, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F"}, **extra)


def document(result):
    if result.rc != 0 or result.err:
        raise AssertionError("exit status 0 and nothing on standard error expected: %r" % result)
    return json.loads(result.out)


def results(doc):
    """(port, code, message) per element, in order."""
    return [(e["com"], e["code"], e["message"]) for e in doc.get("result", [])]


def cmgs_count(bench, name):
    return sum(1 for c in bench.commands(name) if c[0].startswith("AT+CMGS"))


def pin_sent(bench, name):
    return [c[0] for c in bench.commands(name) if c[0].upper().startswith(("AT+CPIN=", "AT+CPWD", "AT+CLCK"))]


class FailingFast(unittest.TestCase):
    def test_each_sim_and_registration_state_gives_its_own_code(self):
        # configuration, expected code and message of both numbers, whether anything was sent
        rows = [
            ({"sim": False}, 4, "No SIM CARD In Device", False),
            ({"cpin": "SIM PIN"}, 8, "SIM locked: SIM PIN", False),
            ({"cpin": "SIM PUK"}, 8, "SIM locked: SIM PUK", False),
            ({"cpin": "PH-NET PIN"}, 8, "SIM locked: PH-NET PIN", False),
            ({"cpin": 13}, 12, "SIM failure", False),
            ({"cpin": "NOT READY"}, 4, "No SIM CARD In Device", False),
            ({"creg": 3, "cgreg": 3}, 10, "Registration denied", False),
            ({"creg": 0, "cgreg": 0, "cfun": 4}, 9, "Not registered: radio off", False),
            # LTE-only and data SIMs: +CREG says denied, +CEREG registered.
            ({"creg": 3, "cgreg": 3, "cereg": 1}, 0, "Succeed", True),
            # A modem refusing +CGREG and +CEREG, and one refusing all three: sent from as before
            # (this one has no network, and the modem's own answer says so).
            ({"creg": 1, "cgreg": "error", "cereg": "error"}, 0, "Succeed", True),
            ({"creg": "error", "cgreg": "error", "cereg": "error"}, 1, "+CMS ERROR: 331", True),
            # Unsolicited registration lines inside the answers change nothing.
            ({"creg": 5, "cgreg": 5, "registration_urc": True}, 0, "Succeed", True),
        ]
        with Bench([modem(n, **row[0]) for n, row in enumerate(rows)]) as bench:
            ports = ",".join("USB%d" % n for n in range(len(rows)))
            started = time.monotonic()
            doc = document(bench.run_tarnel([ports, NUMBERS, "health check"]))
            elapsed = time.monotonic() - started
            expected = []
            for n, (_, code, message, _) in enumerate(rows):
                expected += [("ttyUSB%d" % n, code, message)] * 2
            self.assertEqual(results(doc), expected)
            for n, (cfg, _, _, sends) in enumerate(rows):
                name = "ttyUSB%d" % n
                self.assertEqual(cmgs_count(bench, name), 2 if sends else 0, cfg)
                self.assertEqual(pin_sent(bench, name), [], cfg)
            # No port waited: neither for a SIM nor for a registration.
            self.assertLess(elapsed, 10, elapsed)

    def test_a_locked_sim_fails_within_a_second_at_the_default_timing(self):
        for cfg in ({"cpin": "SIM PIN"}, {"creg": 3, "cgreg": 3}):
            with Bench([modem(0, **cfg)], time1=None) as bench:
                scan = document(bench.run_tarnel(["USB0", "13912345678", "warm up"]))
                self.assertEqual(len(scan["result"]), 1)
                started = time.monotonic()
                doc = document(bench.run_tarnel(["USB0", NUMBERS, "health check"]))
                elapsed = time.monotonic() - started
                self.assertIn(results(doc)[0][1], (8, 10))
                self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)
                # The whole run, detection included, stays under what one SMS costs.
                self.assertLess(elapsed, 5.0, cfg)


class Waiting(unittest.TestCase):
    def test_a_registration_still_searching_is_waited_for(self):
        with Bench([modem(0, searching_s=2.5)]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBERS, "after the search"]))
            self.assertEqual(results(doc), [("ttyUSB0", 0, "Succeed")] * 2)
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 2)
            # Asked again until it registered, never sent meanwhile.
            asked = [c[0] for c in bench.commands("ttyUSB0") if c[0] == "AT+CREG?"]
            self.assertGreater(len(asked), 1)

    def test_regwait_bounds_the_wait_and_says_why(self):
        with Bench([modem(0, creg=2, cgreg=2)], set_ini="[comm]\ndef=1\ntime1=100\nregwait=1\n") as bench:
            started = time.monotonic()
            doc = document(bench.run_tarnel(["USB0", NUMBERS, "never registered"]))
            elapsed = time.monotonic() - started
            self.assertEqual(results(doc), [("ttyUSB0", 9, "Not registered: searching")] * 2)
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)
            self.assertLess(elapsed, 8, elapsed)

    def test_a_busy_sim_is_waited_for_then_sent_from(self):
        with Bench([modem(0, sim_busy_s=3)]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBERS, "after the SIM woke"]))
            self.assertEqual(results(doc), [("ttyUSB0", 0, "Succeed")] * 2)
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 2)
            # The SIM number was read again once the SIM served.
            self.assertGreater(sum(1 for c in bench.commands("ttyUSB0") if c[0] == "AT+CCID"), 1)

    def test_a_stop_ends_each_wait_at_once(self):
        # configuration, the query repeated while waiting, what the document then holds
        rows = [({"creg": 2, "cgreg": 2}, "AT+CREG?", [("ttyUSB0", 1, "Interrupted")], signal.SIGTERM),
                ({"creg": 2, "cgreg": 2}, "AT+CREG?", [("ttyUSB0", 1, "Interrupted")], signal.SIGINT),
                ({"creg": 2, "cgreg": 2}, "AT+CREG?", [("ttyUSB0", 1, "Interrupted")], signal.SIGHUP),
                # The SIM-busy wait comes before the first number: nothing was begun.
                ({"sim_busy_s": 600}, "AT+CPIN?", [], signal.SIGTERM)]
        for cfg, query, expected, signo in rows:
            with Bench([modem(0, **cfg)]) as bench:
                run = subprocess.Popen(bench.tarnel_argv(["USB0", NUMBERS, "waiting"]), cwd=bench.workdir,
                                       env=bench._env(None), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
                # Waiting once the query has been asked again within the wait.
                wait_for(lambda: sum(1 for c in bench.commands("ttyUSB0") if c[0] == query) >= 2, 20,
                         "the wait of %s" % cfg)
                started = time.monotonic()
                run.send_signal(signo)
                out, err = run.communicate(timeout=20)
                self.assertLess(time.monotonic() - started, 3)
                self.assertEqual((run.returncode, err), (128 + signo, b""))
                self.assertEqual(results(json.loads(out)), expected)
                self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)


if __name__ == "__main__":
    harness.main()
