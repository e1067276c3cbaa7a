"""Port discovery and modem detection, seen in the device table and in what each simulated modem heard."""

import re
import time
import unittest

import harness
from detect_support import CATALOGUES, Menu, device_line, header_line, parse_screen, unrecognised_line
from harness import Bench

ICCID = "89860012345678901234"


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


def scans(bench, name):
    """How many detection passes modem `name` went through (each starts with ATE0)."""
    return sum(1 for cmd, _, _ in bench.commands(name) if cmd == "ATE0")


class DeviceTable(unittest.TestCase):
    # An answering modem, one without SIM card, a silent one; ttyS0 and ttyS1 do not exist here.
    MODEMS = [modem("/dev/ttyUSB0", csq="23,99"),
              modem("/dev/ttyUSB1", "CPhone_K2210_ME", sim=False),
              modem("/dev/ttyUSB2", "CPhone_M26", faults={"silent": True})]

    def test_table_bytes_follow_each_catalogues_widths(self):
        for variant in ("en", "zh"):
            with self.subTest(variant), Bench(self.MODEMS, time1=20) as bench:
                cat = CATALOGUES[variant]
                menu = Menu(bench, variant)
                screen = menu.wait_menu()
                self.assertEqual(menu.quit(), 0)

                title, header, rows, seconds = parse_screen(screen, cat)
                self.assertRegex(title, re.escape(cat["title"].encode().rjust(45) + b" ")
                                 + rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
                self.assertEqual(header, header_line(cat))
                self.assertEqual(rows, [
                    device_line(cat, "ttyUSB0", "9600", True, ICCID, "23,99", "861234567890123"),
                    # The simulator gives each modem of a bank its own IMEI: the second one's is one up.
                    device_line(cat, "ttyUSB1", "9600", True, "", "", "867223021234566"),
                    unrecognised_line(cat, "ttyUSB2"),
                    unrecognised_line(cat, "ttyS0"),
                    unrecognised_line(cat, "ttyS1"),
                ])
                self.assertGreaterEqual(seconds, 1)

    def test_answers_longer_than_their_column_are_cut_to_it(self):
        # A 5000-digit SIM number, a 100 000-character signal answer and a
        # serial number with an escape sequence in it.
        iccid = "8986" + "0123456789" * 499 + "9876"
        csq = "1" * 99997 + ",99"
        modems = [modem("/dev/ttyUSB0", iccid=iccid, csq=csq, imei="86123\x1b[2J4567890123"),
                  modem("/dev/ttyUSB1", csq="23,99")]
        for variant in ("en", "zh"):
            # Default timing: the 100 000 characters must all arrive within the answer's passes, however loaded
            # the machine; what is checked here is the table, not the time.
            with self.subTest(variant), Bench(modems, time1=None) as bench:
                cat = CATALOGUES[variant]
                menu = Menu(bench, variant)
                screen = menu.wait_menu()
                self.assertEqual(menu.quit(), 0)
                _, header, rows, _ = parse_screen(screen, cat)
                self.assertEqual(rows[:2], [
                    device_line(cat, "ttyUSB0", "9600", True, iccid[:cat["sim"] - 1], csq[:cat["rssi"] - 1],
                                "86123?[2J4567890123"),
                    # The simulator gives each modem of a bank its own IMEI.
                    device_line(cat, "ttyUSB1", "9600", True, ICCID, "23,99", "861234567890124"),
                ])

    def test_no_usb_ports_leaves_the_two_fixed_ones(self):
        # The simulated modem sits where no listing looks, so only ttyS0 and ttyS1 are examined.
        with Bench([modem("/dev/ttyACM0")], time1=20) as bench:
            result = bench.run_tarnel([])
            self.assertEqual(result.rc, 0, result)
            _, _, rows, _ = parse_screen(result.raw_out, CATALOGUES["en"])
            self.assertEqual(rows, [unrecognised_line(CATALOGUES["en"], "ttyS0"),
                                    unrecognised_line(CATALOGUES["en"], "ttyS1")])
            self.assertEqual(bench.rx("ttyACM0"), b"")


class DetectionDialogue(unittest.TestCase):
    def scan_once(self, modems, time1=20):
        """One scan: the menu with standard input at its end draws one table and leaves."""
        bench = self.enterContext(Bench(modems, time1=time1))
        result = bench.run_tarnel([])
        self.assertEqual(result.rc, 0, result)
        return bench, parse_screen(result.raw_out, CATALOGUES["en"])[2]

    def test_only_the_listed_commands_in_order(self):
        bench, rows = self.scan_once([modem("/dev/ttyUSB0"),
                                      modem("/dev/ttyUSB1", "CPhone_K2210_ME", sim=False),
                                      modem("/dev/ttyUSB2", "CPhone_M26", faults={"silent": True}),
                                      modem("/dev/ttyUSB3", "CPhone_MH5000", speeds=[115200])])
        self.assertEqual(len(rows), 6)
        self.assertEqual(bench.rx("ttyUSB0"), b"ATE0\r\nAT\r\nAT\r\nATI\r\nAT+CGSN\rAT+CCID\rat+csq\r")
        # Without a SIM card the signal is never asked for.
        self.assertEqual(bench.rx("ttyUSB1"), b"ATE0\r\nAT\r\nAT\r\nATI\r\nAT+CGSN\rAT^ICCID?\r\n")
        # Silence: one AT per rate, read ten times, then the next rate.
        self.assertEqual(bench.rx("ttyUSB2"), b"ATE0\r\nAT\r\n" * 2)
        self.assertEqual(bench.rx("ttyUSB3"),
                         b"ATE0\r\nAT\r\n" + b"ATE0\r\nAT\r\nAT\r\nATI\r\nAT+CGSN\rAT^ICCID?\r\nat+csq\r")

    def test_rates_tried_in_order_until_one_answers(self):
        bench, rows = self.scan_once([modem("/dev/ttyUSB0", speeds=[115200]),
                                      modem("/dev/ttyUSB1", speeds=[9600, 115200])])
        cat = CATALOGUES["en"]
        self.assertEqual(rows[:2], [
            device_line(cat, "ttyUSB0", "115200", True, ICCID, "23,99", "861234567890123"),
            device_line(cat, "ttyUSB1", "9600", True, ICCID, "23,99", "861234567890124"),
        ])
        fast = bench.commands("ttyUSB0")
        self.assertEqual([c[:2] for c in fast[:2]], [("ATE0", 9600), ("AT", 9600)])
        self.assertEqual({c[2] for c in fast[:2]}, {"wrong-speed"})
        self.assertEqual({c[1] for c in fast[2:]}, {115200})
        # Answering at 9600, it is never tried at 115200.
        self.assertEqual({c[1] for c in bench.commands("ttyUSB1")}, {9600})

    def test_unknown_model_counts_as_no_modem(self):
        bench, rows = self.scan_once([modem("/dev/ttyUSB0", ati="\r\nAcme\r\nRocket 9\r\n\r\nOK\r\n")])
        self.assertEqual(rows[0], unrecognised_line(CATALOGUES["en"], "ttyUSB0"))
        self.assertEqual(bench.rx("ttyUSB0"), b"ATE0\r\nAT\r\nAT\r\nATI\r\n" * 2)

    def test_quoted_sim_number_is_shown_without_quotes(self):
        # This model keeps the number as the modem wrote it after "^ICCID: ".
        bench, rows = self.scan_once([modem("/dev/ttyUSB0", "CPhone_K2210_ME", iccid='"8986 0012"')])
        # Quotes go from the ends only; the blank inside the number stays.
        self.assertEqual(rows[0], device_line(CATALOGUES["en"], "ttyUSB0", "9600", True, "8986 0012", "23,99",
                                              "867223021234565"))

    def test_default_timing(self):
        started = time.monotonic()
        bench, rows = self.scan_once([modem("/dev/ttyUSB0", "CPhone_TD_ME909")], time1=None)
        elapsed = time.monotonic() - started
        self.assertEqual(rows[0], device_line(CATALOGUES["en"], "ttyUSB0", "9600", True, ICCID, "23,99",
                                              "867223031234562"))
        # Each of the seven commands ends when its answer has come, long
        # before the 0.3 s a read waits when nothing arrives.
        self.assertLess(elapsed, 7 * 0.3)


if __name__ == "__main__":
    harness.main()
