"""One device, one name: a second name of a modem's device under /dev/ttyUSB*
(a link) is neither listed nor locked as a port of its own; the modem keeps
its kernel name in the table, the documents and its lock file, and a port
item that is a link stands for the device it points to."""

import json
import os
import re
import subprocess
import unittest

import harness
from detect_support import CATALOGUES, parse_screen
from harness import LOCK_FOLDER, Bench

NUMBER = "13912345678"
STORED = {"SM": [{"from": "+8613800000000", "text": "kept", "time": "24-01-02 03:04:05", "stat": 1}]}
# The modem's kernel name comes from the link the simulator makes (no /sys
# entry for a pseudo-terminal), or from /sys/dev/char when it has a USB position.
VARIANTS = [
    ("plain", {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "storage": STORED}),
    # On the interface where this modem has its AT port: its others are never opened.
    ("usb", {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "storage": STORED, "interface": 2,
             "usb": {"position": "1-1.3", "vendor": "2c7c", "product": "0125"}}),
]
SETTINGS = "[comm]\ndef=1\ntime1=20\nbusywait=1\nfixedports=0\n"


def document(result, held_by=None):
    """The JSON document of a run that succeeded; with `held_by`, its standard error says the wait for ttyUSB0's
    holder and nothing else."""
    said = "" if held_by is None else (
        r"ttyUSB0: held by process %d, waiting up to 1 s\nttyUSB0: still held by process %d after 1\.\d s, given up\n"
        % (held_by, held_by))
    if result.rc != 0 or not re.fullmatch(said, result.err):
        raise AssertionError("tarnel failed: %r" % result)
    return json.loads(result.out)


def table_ports(bench):
    result = bench.run_tarnel([])
    if result.rc != 0:
        raise AssertionError("tarnel failed: %r" % result)
    return [row.split()[0].decode() for row in parse_screen(result.raw_out, CATALOGUES["en"])[2]]


class SecondName(unittest.TestCase):
    def test_a_link_to_a_modem_is_the_modem(self):
        for label, config in VARIANTS:
            with self.subTest(label), Bench([config], set_ini=SETTINGS) as bench:
                os.symlink("ttyUSB0", "/dev/ttyUSB9")
                self.assertEqual(table_ports(bench), ["ttyUSB0"])
                read = document(bench.run_tarnel(["sms", "sread"]))
                self.assertEqual([(p["name"], p["msgcount"]) for p in read["ports"]], [("ttyUSB0", 1)])
                # The link's name stands for the modem: one message, sent under its kernel name.
                sent = document(bench.run_tarnel(["USB9", NUMBER, "Hello there"]))
                self.assertEqual([(r["com"], r["code"]) for r in sent["result"]], [("ttyUSB0", 0)])
                self.assertEqual(len(bench.state("ttyUSB0")["sent"]), 1)

    def test_a_lock_file_on_the_kernel_name_guards_every_name(self):
        # Another program holds the modem by its lock file alone, under the kernel's name.
        sleeper = subprocess.Popen(["/bin/sleep", "60"])
        try:
            busy = "port busy: held by process %d" % sleeper.pid
            for label, config in VARIANTS:
                with self.subTest(label), Bench([config], set_ini=SETTINGS) as bench:
                    os.symlink("/dev/ttyUSB0", "/dev/ttyUSB9")
                    with open(os.path.join(LOCK_FOLDER, "LCK..ttyUSB0"), "w") as f:
                        f.write("%10d\n" % sleeper.pid)

                    self.assertEqual(table_ports(bench), ["ttyUSB0"])
                    read = document(bench.run_tarnel(["sms", "read"]), sleeper.pid)
                    # Who it is cannot be asked of a modem another program holds; where it sits can.
                    position = config.get("usb", {}).get("position", "")
                    self.assertEqual(read["ports"], [{"name": "ttyUSB0", "error": busy, "imei": "", "iccid": "",
                                                      "usb": position}])
                    for item in ("USB9", "USB0"):
                        sent = document(bench.run_tarnel([item, NUMBER, "Hello there"]), sleeper.pid)
                        self.assertEqual([(r["com"], r["code"], r["message"]) for r in sent["result"]],
                                         [("ttyUSB0", 1, busy)], item)
                    self.assertEqual(bench.rx("ttyUSB0"), b"")
                    self.assertEqual(sorted(os.listdir(LOCK_FOLDER)), ["LCK..ttyUSB0"])
        finally:
            sleeper.kill()
            sleeper.wait()


if __name__ == "__main__":
    harness.main()
