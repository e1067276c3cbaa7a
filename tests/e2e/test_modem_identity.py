"""One modem, one identity: the ttys of a modem share one row, one send and
one read; modems are chosen by name, path, link, IMEI, ICCID or USB position,
also after their ttys were renumbered."""

import json
import os
import unittest

import harness
from detect_support import CATALOGUES, parse_screen
from harness import Bench

NUMBER = "13912345678"
NO_FIXED = "[comm]\nfixedports=0\n"


def imei(n):
    return "8600000000%05d" % n


def iccid(n):
    return "898600000000000%05d" % n


def usb_modem(n, vendor="2c7c", silent=("diag", "nmea"), **extra):
    """A modem on USB at 1-<n+1> with two non-AT ttys and two AT ttys."""
    roles = [{"role": role} for role in silent] + [{"role": "at"}, {"role": "at2"}]
    return dict({"usb": {"position": "1-%d" % (n + 1), "vendor": vendor, "product": "0125",
                         "serial": "SN%04d" % n},
                 "model": "CPhone_EC20F", "imei": imei(n), "iccid": iccid(n), "ttys": roles}, **extra)


def document(result):
    if result.err or not result.out.endswith("}\n\n") and not result.out.endswith("}\n"):
        raise AssertionError("one JSON document and nothing on standard error expected: %r" % result)
    return json.loads(result.out)


def sent(bench, name):
    """The messages the simulated modem behind tty `name` accepted."""
    return [e for e in bench.events(name) if e.get("cmd", "").startswith("AT+CMGS")]


def wrote_to(bench, name):
    path = os.path.join(bench.logdir, name + ".rx")
    return os.path.exists(path) and os.path.getsize(path) > 0


class Grouping(unittest.TestCase):
    def test_bank_of_modems_with_four_ttys_each(self):
        modems = [usb_modem(n) for n in range(16)]
        with Bench(modems, time1=None, set_ini=NO_FIXED) as bench:
            menu = bench.run_tarnel([])
            rows = parse_screen(menu.raw_out, CATALOGUES["en"])[2]
            self.assertEqual(len(rows), 16, menu)
            self.assertIn("\t16 modems on 64 ports\n", menu.out)
            # Each row is the modem's AT port (the third tty); the others get none.
            self.assertEqual(sorted(row.split()[0].decode() for row in rows),
                             sorted("ttyUSB%d" % (4 * n + 2) for n in range(16)))
            # The diagnostics and GPS ports of a modem in the role table are never opened.
            for n in range(16):
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % (4 * n)))
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % (4 * n + 1)))
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(sorted(r["com"] for r in result["result"]),
                             sorted("ttyUSB%d" % (4 * n + 2) for n in range(16)))
            self.assertTrue(all(r["code"] == 0 for r in result["result"]), result)
            report = document(bench.run_tarnel(["sms", "read"]))
            self.assertEqual(report["portcount"], 16)
            self.assertEqual(len(report["ports"]), 16)

    def test_two_at_ttys_without_sysfs_send_once(self):
        modem = {"model": "CPhone_EC20F", "imei": imei(1), "iccid": iccid(1),
                 "ttys": [{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1", "role": "at2"}]}
        with Bench([modem, {"path": "/dev/ttyUSB2", "model": "CPhone_EC20F", "imei": imei(2), "iccid": iccid(2)}],
                   set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual([r["com"] for r in result["result"]], ["ttyUSB0", "ttyUSB2"])
            self.assertEqual(len(sent(bench, "ttyUSB0")) + len(sent(bench, "ttyUSB1")), 1)
            report = document(bench.run_tarnel(["sms", "read"]))
            self.assertEqual(report["portcount"], 2)

    def test_same_imei_with_other_sims_stays_two_modems(self):
        modems = [{"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "imei": imei(7), "iccid": iccid(n)}
                  for n in range(2)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual([r["com"] for r in result["result"]], ["ttyUSB0", "ttyUSB1"])

    def test_bridge_ports_are_modems_of_their_own(self):
        modems = [{"usb": {"position": "2-1", "driver": "ch341", "vendor": "1a86", "product": "55d7"},
                   "path": "/dev/ttyUSB%d" % n, "interface": n, "model": "CPhone_EC20F",
                   "imei": imei(n), "iccid": iccid(n)} for n in range(4)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            menu = bench.run_tarnel([])
            self.assertEqual(len(parse_screen(menu.raw_out, CATALOGUES["en"])[2]), 4)
            self.assertNotIn("modems on", menu.out)
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(len(result["result"]), 4)
            # A usb: item for the bridge names four modems: refused, nothing sent.
            refused = document(bench.run_tarnel(["usb:2-1", NUMBER, "hello"]))
            self.assertEqual((refused["code"], refused["error"]), (1, "usb:2-1: names 4 modems"))
            self.assertEqual(sum(len(sent(bench, "ttyUSB%d" % n)) for n in range(4)), 4)

    def test_unknown_device_silent_ttys_give_up_once_one_answers(self):
        modems = [usb_modem(n, vendor="2c7d", silent=("silent", "silent")) for n in range(2)]
        with Bench(modems, time1=None, set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(sorted(r["com"] for r in result["result"]), ["ttyUSB2", "ttyUSB6"])


class Choosing(unittest.TestCase):
    def test_every_form_of_item_chooses_the_modem(self):
        modems = [usb_modem(0), usb_modem(1, iccid="8986000000000000001F")]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            by_id = "/dev/serial/by-id/" + sorted(n for n in os.listdir("/dev/serial/by-id") if "SN0001" in n
                                                   and "if03" in n)[0]
            rows = [("USB6", "ttyUSB6"), ("USB5", "ttyUSB6"), ("/dev/ttyUSB7", "ttyUSB6"), (by_id, "ttyUSB6"),
                    ("imei:" + imei(1), "ttyUSB6"), ("iccid:8986000000000000001", "ttyUSB6"),
                    ("iccid:8986000000000000001F", "ttyUSB6"), ("usb:1-2", "ttyUSB6"), ("usb:1-1", "ttyUSB2"),
                    ("USB2,usb:1-1,imei:" + imei(0), "ttyUSB2")]
            for item, com in rows:
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual([r["com"] for r in result["result"]], [com], result)
                    self.assertEqual(result["result"][0]["code"], 0, result)

    def test_items_follow_the_modem_after_renumbering(self):
        with Bench([usb_modem(0), usb_modem(1)], set_ini=NO_FIXED) as bench:
            moved = os.path.basename(bench.replug("ttyUSB6"))
            self.assertNotEqual(moved, "ttyUSB6")
            for item in ("imei:" + imei(1), "iccid:" + iccid(1), "usb:1-2"):
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual([r["com"] for r in result["result"]], [moved], result)

    def test_bad_items_touch_nothing(self):
        rows = ["imei:", "imei:12a", "iccid:", "usb:", "usb:1-", "foo:1", "/tmp/x", "/dev/null", "USB2,imei:"]
        with Bench([usb_modem(0)], set_ini=NO_FIXED) as bench:
            for item in rows:
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual((result["code"], result["message"], result["result"]),
                                     (1, "com port error", []))
                    self.assertTrue(result["error"].startswith(item.split(",")[-1]), result)
            for n in range(4):
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % n))


if __name__ == "__main__":
    harness.main()
