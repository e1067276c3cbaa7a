"""Two runs started together on the same modems: each lets go of a port right
after its last command there, so neither waits out its busywait for the
other, and each does all its work."""

import json
import subprocess
import time
import unittest

import harness
from harness import Bench

COUNT = 8
NUMBER = "13912345678"
BUSYWAIT = 40
ROUNDS = 3


def modem(n):
    storage = {"SM": [{"from": "+8613800000000", "text": "m%d-%d" % (n, i), "time": "24-01-02 03:04:05",
                       "stat": 1} for i in range(2)]}
    return {"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "storage": storage}


class RunsTogether(unittest.TestCase):
    def test_a_readclear_and_a_send_on_the_same_modems(self):
        ports = ",".join("USB%d" % n for n in range(COUNT))
        names = ["ttyUSB%d" % n for n in range(COUNT)]
        for round_ in range(ROUNDS):
            # Default timing: reads end when the answers are in, however loaded the machine.
            with self.subTest(round=round_), Bench([modem(n) for n in range(COUNT)], time1=None,
                                                   set_ini="[comm]\nbusywait=%d\n" % BUSYWAIT) as bench:
                started = time.monotonic()
                runs = [subprocess.Popen(bench.tarnel_argv(argv), cwd=bench.workdir, env=bench._env(None),
                                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                        for argv in (["sms", "readclear"], [ports, NUMBER, "Hello there"])]
                docs = []
                for run in runs:
                    out, err = run.communicate(timeout=3 * BUSYWAIT)
                    took = time.monotonic() - started
                    result = harness.Result(run.returncode, out, err)
                    self.assertEqual(run.returncode, 0, result)
                    # Where one waits for the other it says so on standard error, and nothing else.
                    for line in result.err.splitlines():
                        self.assertRegex(line, r"^ttyUSB\d: (held by process \d+, waiting up to %d s|free after [\d.]+ s)$"
                                         % BUSYWAIT)
                    self.assertNotIn("busy", result.out)
                    # Each waits at most for the other's work on a port, never its busywait.
                    self.assertLess(took, BUSYWAIT / 2, result)
                    docs.append(json.loads(result.out))
                read, sent = docs

                self.assertEqual([p["name"] for p in read["ports"]], names)
                for port in read["ports"]:
                    n = int(port["name"][len("ttyUSB"):])
                    self.assertEqual([m["text"] for m in port["msgs"]], ["m%d-0" % n, "m%d-1" % n])
                    self.assertTrue(port["clear"])
                    self.assertEqual(bench.state(port["name"])["storage"]["SM"], [])

                self.assertEqual([(r["com"], r["code"]) for r in sent["result"]], [(name, 0) for name in names])
                for name in names:
                    self.assertEqual(len(bench.state(name)["sent"]), 1, name)


if __name__ == "__main__":
    harness.main()
