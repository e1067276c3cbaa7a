"""tools/demo.sh hands tarnel's VT-* switches on to the program.

Their names hold a "-", which no shell can assign and dash drops from the
environment it passes on; the demo must still deliver them.
"""

import os
import subprocess
import unittest

import harness

DEMO = os.path.join(harness.SOURCE_ROOT, "tools", "demo.sh")


def run_demo(env_extra, args, timeout=120):
    env = dict(os.environ)
    env.update(env_extra)
    env["DEMO_TIME1"] = "20"  # short reads: the demo's silent modem costs little
    return subprocess.run([DEMO, harness.tarnel_binary()] + args, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)


class DemoEnvironment(unittest.TestCase):
    # (switch, command line, text it makes the program print)
    CASES = [
        ("VT-MC323", ["pdu", "13800000000", "hello"], b"MC323:"),
        ("VT-OUT", ["pdu", "13800000000", "hello"], b"string len: 5"),
        ("VT-DEBUG", ["USB0", "13800000000", "hello"], b"to send pdu start"),
    ]

    def test_switches_reach_the_program(self):
        for name, args, printed in self.CASES:
            with self.subTest(name):
                without = run_demo({}, args)
                self.assertEqual(without.returncode, 0, without)
                self.assertNotIn(printed, without.stdout)
                result = run_demo({name: "1"}, args)
                self.assertEqual(result.returncode, 0, result)
                self.assertIn(printed, result.stdout)


if __name__ == "__main__":
    harness.main()
