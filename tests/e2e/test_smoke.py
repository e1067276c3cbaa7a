"""The bench itself: tarnel runs inside the private /dev, which leaves no trace."""

import json
import os
import subprocess
import tempfile
import unittest

import pexpect

import harness
from harness import Bench

# Names no real machine is likely to have, so the "no trace" checks mean something.
ODD = ["/dev/ttyUSB97", "/dev/ttyUSB98"]


class BenchSmoke(unittest.TestCase):
    def test_tarnel_help_runs_inside_at_default_timing(self):
        for variant in ("en", "zh"):
            with self.subTest(variant):
                with Bench([{"path": "/dev/ttyUSB0"}], time1=None,
                           binary=harness.tarnel_binary(variant)) as bench:
                    # No timing key: tarnel's own timing; only the bench's journal is named.
                    with open(os.path.join(bench.workdir, "set.ini")) as f:
                        self.assertEqual(f.read(), "\n[comm]\njournaldir=%s\n" % bench.journal)
                    result = bench.run_tarnel(["help"], timeout=30)
                    self.assertEqual(result.rc, 0, result)

    def test_detection_at_default_timing_finds_the_modem(self):
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}], time1=None) as bench:
            result = bench.run_tarnel(["sms", "sread"], timeout=120)
            self.assertEqual(result.rc, 0, result)
            self.assertEqual(json.loads(result.out)["portcount"], 1, result)
            heard = bench.commands("ttyUSB0")
            self.assertEqual([c[:2] for c in heard[:4]],
                             [("ATE0", 9600), ("AT", 9600), ("AT", 9600), ("ATI", 9600)])
            self.assertTrue(bench.rx("ttyUSB0").startswith(b"ATE0\r\nAT\r\nAT\r\nATI\r\n"))

    def test_private_dev_holds_only_the_simulated_ports(self):
        for path in ODD:
            self.assertFalse(os.path.lexists(path), "%s exists on this machine" % path)
        modems = [{"path": ODD[0]}, {"path": ODD[1], "model": "CPhone_M26"}, {"path": "/dev/ttyS0"}]
        with Bench(modems, time1=20) as bench:
            with open(os.path.join(bench.workdir, "set.ini")) as f:
                self.assertEqual(f.read(), "[comm]\ndef=1\ntime1=20\n\n[comm]\njournaldir=%s\n" % bench.journal)
            listing = bench.run(["/bin/sh", "-c", "ls /dev/ttyUSB* /dev/ttyAMA* /dev/ttyS* 2> /dev/null"])
            self.assertEqual(listing.out.split(), ["/dev/ttyS0"] + ODD)
            for name in ("null", "zero", "tty", "random", "urandom", "full", "ptmx"):
                self.assertTrue(os.path.exists("/dev/" + name), name)
        for path in ODD:
            self.assertFalse(os.path.lexists(path))
        self.assertFalse(os.path.lexists("/dev/ttyS0") and os.path.islink("/dev/ttyS0"))

    def test_simulator_refusing_a_start_part_way_says_why(self):
        # The modems after the refused one have no pty yet; stopping must not trip on them.
        with tempfile.TemporaryDirectory() as folder:
            taken = os.path.join(folder, "ttyUSB1")
            open(taken, "w").close()
            config = os.path.join(folder, "modems.json")
            with open(config, "w") as f:
                json.dump([{"path": os.path.join(folder, "ttyUSB%d" % n)} for n in range(3)], f)
            proc = subprocess.run([harness.PYTHON, harness.MODEMSIM, "--config", config, "--logdir", folder],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
            self.assertEqual((proc.returncode, proc.stderr),
                             (2, ("modemsim: %s already exists; not replacing it\n" % taken).encode()))

    def test_simulator_runs_a_command_in_its_own_dev_and_passes_its_status(self):
        if os.geteuid() != 0:
            self.skipTest("needs root")
        with tempfile.TemporaryDirectory() as folder:
            config = os.path.join(folder, "modems.json")
            with open(config, "w") as f:
                json.dump([{"path": ODD[0], "speeds": [115200]}], f)
            script = ("ls /dev/ttyUSB*; printf 'AT\\r' > %s; exit 3" % ODD[0])
            proc = subprocess.run([harness.PYTHON, harness.MODEMSIM, "--config", config, "--logdir", folder,
                                   "--isolate", "--", "/bin/sh", "-c", script],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
            if proc.returncode == harness.SKIP_EXIT:
                self.skipTest(proc.stderr.decode())
            self.assertEqual((proc.returncode, proc.stdout, proc.stderr), (3, (ODD[0] + "\n").encode(), b""))
            with open(os.path.join(folder, "ttyUSB97.rx"), "rb") as f:
                self.assertEqual(f.read(), b"AT\r")
        self.assertFalse(os.path.lexists(ODD[0]))

    def test_menu_runs_on_a_terminal_and_quits_on_q(self):
        with Bench([{"path": "/dev/ttyUSB0"}], time1=20) as bench:
            menu = bench.spawn_tarnel([], timeout=60)
            menu.expect_exact("ttyUSB0")
            menu.expect_exact("ttyS1")
            menu.send("q")
            menu.expect(pexpect.EOF)
            menu.close()
            self.assertEqual(menu.exitstatus, 0)

    def test_interactive_programs_get_a_terminal_inside(self):
        with Bench([{"path": "/dev/ttyUSB0"}]) as bench:
            child = bench.spawn(["/bin/sh", "-c", "test -t 0 && ls /dev/ttyUSB*; read answer; echo got $answer"])
            child.expect_exact("/dev/ttyUSB0")
            child.sendline("yes")
            child.expect_exact("got yes")
            child.expect(pexpect.EOF)
            child.close()
            self.assertEqual(child.exitstatus, 0)


if __name__ == "__main__":
    harness.main()
