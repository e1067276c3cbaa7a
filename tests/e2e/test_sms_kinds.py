"""Stored status reports, national-language texts and 8-bit data, read with
"tarnel sms read" and menu key 2 against a simulated modem."""

import json
import re
import unittest

import pexpect

import harness
from harness import Bench
from test_sms_subcommands import expected, modem, port_of, sms, stored

# Status reports as modems store them: the recipient 31641600986, reference
# 0x2A, sent 23-05-17 08:30:00, discharged 08:34:59, status 0x00 (delivered);
# and one for 33612345678, reference 7, discharged 09:00:00, status 0x46
# (validity period expired). The second carries no centre address.
DELIVERED = "0891683108100005F0" "06" "2A" "0B911346610089F6" "32507180030000" "32507180439500" "00"
EXPIRED = "00" "06" "07" "0B913316325476F8" "32507180030000" "32507190000000" "46"
# A Turkish text: header 25 01 01 / 24 01 01, then septets 07 1C 1B-47 41
# (ı Ş Ğ A) from the next septet boundary.
TURKISH = "0044" "0B911346610089F6" "0000" "32507180030000" "0D" "06250101240101" "07CEE61804"
# A WAP push (class-1 8-bit data) to port 2948.
PUSH = "0044" "0B911346610089F6" "00F5" "32507180030000" "0A" "0605040B8423F0" "0006C4"


def report(to, time, status, reference, text, storage):
    return {"from": to, "time": time, "text": text, "storage": storage, "kind": "status-report",
            "status": status, "reference": reference}


MENU_LINE = {"en": "q quit", "zh": "q退出"}
READ_USED = {"en": r"Read sms used: \d+", "zh": r"读取短信耗时: \d+"}


def menu_read_lines(bench, variant):
    """The lines menu key 2 prints for USB0 in the `variant` build, colours
    taken out; the menu is then left with q."""
    menu = bench.spawn_tarnel([], binary=harness.tarnel_binary(variant), timeout=60)
    menu.expect_exact(MENU_LINE[variant])
    menu.send("2")
    menu.expect_exact("USB0):")
    menu.sendline("USB0")
    menu.expect(READ_USED[variant])
    lines = re.sub(r"\x1b\[[0-9;]*m", "", menu.before).replace("\r\n", "\n").split("\n")
    menu.expect_exact(MENU_LINE[variant])
    menu.send("q")
    menu.expect(pexpect.EOF)
    return lines


class StoredKinds(unittest.TestCase):
    def test_sms_read_reports_each_kind_as_what_it_is(self):
        storage = {"SM": [{"pdu": DELIVERED, "stat": 1}, {"pdu": TURKISH, "stat": 1}, stored("Gsm7Ascii")],
                   "ME": [{"pdu": PUSH, "stat": 1}, {"pdu": EXPIRED, "stat": 0}]}
        want = [report("31641600986", "23-05-17 08:34:59", 0, 42, "Status report: delivered", "SIM"),
                {"from": "31641600986", "time": "23-05-17 08:30:00", "text": "ıŞĞA", "storage": "SIM"},
                expected("Gsm7Ascii", "SIM"),
                {"from": "31641600986", "time": "23-05-17 08:30:00",
                 "text": "[binary data, 3 bytes, port 2948] 0006C4", "storage": "DEV"},
                report("33612345678", "23-05-17 09:00:00", 0x46, 7, "Status report: delivery failed", "DEV")]
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            self.assertEqual(port_of(sms(bench, "read"), "ttyUSB0")["msgs"], want)
            # The report is data for other programs: the same in the Chinese build.
            result = bench.run_tarnel(["sms", "read"], binary=harness.tarnel_binary("zh"))
            self.assertEqual(result.rc, 0, result)
            self.assertEqual(port_of(json.loads(result.out), "ttyUSB0")["msgs"], want)

    def test_menu_prints_the_catalogue_text_of_a_status_report(self):
        storage = {"SM": [{"pdu": DELIVERED, "stat": 1}, {"pdu": EXPIRED, "stat": 1}]}
        texts = {"en": ("Message: Status report: delivered", "Message: Status report: delivery failed"),
                 "zh": ("短信内容: 状态报告：已送达", "短信内容: 状态报告：发送失败")}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            for variant in ("en", "zh"):
                lines = menu_read_lines(bench, variant)
                delivered, failed = texts[variant]
                self.assertIn(delivered, lines, variant)
                self.assertIn(failed, lines, variant)
                self.assertLess(lines.index(delivered), lines.index(failed))


if __name__ == "__main__":
    harness.main()
