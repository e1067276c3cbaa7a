"""What the packages install beside the programs: bash completion, examples."""

import json
import os
import unittest

import harness
from harness import Bench

PACKAGING = os.path.join(harness.SOURCE_ROOT, "packaging")
COMPLETION = os.path.join(PACKAGING, "bash-completion", "tarnel")


def complete(bench, words):
    """The candidates bash completion offers for the last of `words`."""
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tarnel; '
              'printf "%s\\n" "${COMPREPLY[@]}"')
    result = bench.run(["/bin/bash", "-c", script, "complete", COMPLETION] + list(words))
    if result.rc != 0 or result.err:
        raise AssertionError(result)
    return sorted(line for line in result.out.split("\n") if line)


class Completion(unittest.TestCase):
    def test_words_sub_commands_and_the_ports_there_are(self):
        modems = [{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB3"}, {"path": "/dev/ttyAMA1"}]
        with Bench(modems) as bench:
            # (words typed, candidates)
            rows = [(["tarnel", ""], ["AMA1", "S0", "S1", "USB0", "USB3", "help", "pdu", "sms", "version"]),
                    (["tarnel", "U"], ["USB0", "USB3"]),
                    (["tarnel-zh", "USB0,U"], ["USB0,USB0", "USB0,USB3"]),
                    (["tarnel", "USB0;S"], []),
                    (["tarnel", "sms", "s"], ["sclear", "sread", "sreadclear"]),
                    (["tarnel", "SMS", "read"], ["read", "readclear"]),
                    (["tarnel", "sms", "w"], ["watch"]),
                    (["tarnel", "pdu", "1"], []),
                    (["tarnel", "USB0", "1391234", "Hel"], [])]
            for words, expected in rows:
                with self.subTest(words=words):
                    self.assertEqual(complete(bench, words), expected)


class Examples(unittest.TestCase):
    def test_example_settings_are_understood(self):
        with open(os.path.join(PACKAGING, "examples", "set.ini"), encoding="utf-8") as f:
            ini = f.read().replace("time1=600", "time1=100")
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}], set_ini=ini) as bench:
            # The example's journal directory, moved into the bench: the machine's is not the test's to read.
            self.assertIn("journaldir=/var/lib/tarnel\n", ini)
            bench.write_file("set.ini", ini.replace("journaldir=/var/lib/tarnel", "journaldir=" + bench.journal))
            result = bench.run_tarnel(["sms", "sread"])
            self.assertEqual((result.rc, result.err), (0, ""), result)
            self.assertEqual(json.loads(result.out)["portcount"], 1)

    def test_simulator_example_serves(self):
        with open(os.path.join(PACKAGING, "examples-modemsim", "modems.json"), encoding="utf-8") as f:
            modems = json.load(f)
        with Bench(modems) as bench:
            doc = json.loads(bench.run_tarnel(["sms", "sread"]).out)
            self.assertEqual([p["name"] for p in doc["ports"]], ["ttyUSB0"])
            self.assertEqual(doc["ports"][0]["msgs"][0]["text"], "Hello from the simulated SIM card")


if __name__ == "__main__":
    harness.main()
