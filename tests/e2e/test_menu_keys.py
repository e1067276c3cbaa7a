"""Every key of the menu in one session on a real terminal, in both builds: the terminal switches between
single keys and typed lines, and each workflow hands a working menu back to the next."""

import re
import unittest

import harness
from detect_support import Menu
from harness import Bench
from test_terminal import TEXTS as TERMINAL

GREEN = "\x1b[1m\x1b[32m"
RED = "\x1b[1m\x1b[31m"
RESET = "\x1b[0m"

NUMBER = "13912345678"

TEXTS = {
    "en": {
        "phone": "Input received phone number: ",
        "bad_phone": "Invalid number, reinput",
        "port": "Input port number(ex: /dev/ttyUSB0, input USB0):",
        "message": "Input message:",
        "result_port": "(T)Port ", "send_to": " send to ", "success": " success.", "failed": " failed, reason: ",
        "no_card": "No card",
        "time_used": r"Time used: (\d+) second\(s\)",
        "read_ok": "Port ttyUSB0 ok, total 1 items",
        "sim_count": "Message count 1 item(s)",
        "dev_count": "Message account 0 item(s)",
        "read_text": "Message: ",
        "read_used": r"Read sms used: (\d+) second\(s\)",
    },
    "zh": {
        "phone": "请输入接收短信的号码: ",
        "bad_phone": "您输入的号码有误，请重新输入",
        "port": "请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0):",
        "message": "请输入短信内容:",
        "result_port": "(T)端口 ", "send_to": " 发送到 ", "success": " 的短信发送成功",
        "failed": " 的短信发送失败,失败原因: ",
        "no_card": "设备未插卡",
        "time_used": r"发送短信耗时: (\d+) 秒",
        "read_ok": "端口 ttyUSB0 接收短信成功 共 1 条短信",
        "sim_count": "SIM卡中的短信共 1 条",
        "dev_count": "设备中的短信共 0 条",
        "read_text": "短信内容: ",
        "read_used": r"读取短信耗时: (\d+) 秒",
    },
}

MODEMS = [
    {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F",
     "storage": {"SM": [{"from": "+8613800138000", "text": "menu keys", "time": "24-05-01 10:20:30"}]}},
    {"path": "/dev/ttyUSB1", "model": "CPhone_M26", "sim": False},
]


def green(text):
    return GREEN + text + RESET


def red(text):
    return RED + text + RESET


def scans(bench):
    """Detection passes so far (each begins with ATE0 on every port)."""
    return sum(1 for cmd, _, _ in bench.commands("ttyUSB0") if cmd == "ATE0")


class EveryKey(unittest.TestCase):
    def walk(self, variant):
        t = TEXTS[variant]
        term = TERMINAL[variant]
        with Bench(MODEMS, binary=harness.tarnel_binary(variant)) as bench:
            menu = Menu(bench, variant)
            child = menu.child
            menu.wait_menu()
            self.assertEqual(scans(bench), 1)

            # Enter: one scan, for the drawing that follows.
            menu.key("\r")
            menu.wait_menu()
            self.assertEqual(scans(bench), 2)

            # An unknown key swallows the next one: the "1" starts nothing.
            menu.key("x")
            menu.key("1")
            screen = menu.wait_menu()
            self.assertNotIn(t["phone"].encode(), screen)
            self.assertEqual(scans(bench), 3)

            # 1: numbers (one rejected line first), typed ports, message; one result line per port.
            menu.key("1")
            child.expect_exact(green(t["phone"]))
            child.sendline("12345678901x")
            child.expect_exact(red(t["bad_phone"]))
            child.expect_exact(green(t["phone"]))
            child.sendline(NUMBER)
            child.expect_exact(green(t["port"]))
            child.sendline("USB0,USB1")
            child.expect_exact(green(t["message"]))
            child.sendline("keys")
            child.expect(t["time_used"])
            self.assertGreaterEqual(int(child.match.group(1)), 1)
            printed = child.before
            self.assertIn(green(t["result_port"]) + green("ttyUSB0") + green(t["send_to"]) + green(NUMBER) +
                          green(t["success"]) + "\r\n", printed)
            self.assertIn(red(t["result_port"]) + green("ttyUSB1") + red(t["send_to"]) + red(NUMBER) +
                          red(t["failed"]) + red(t["no_card"]) + "\r\n", printed)
            sent = bench.events("ttyUSB0", "sms")
            # Shorter than 5 bytes: no time stamp is added.
            self.assertEqual([(r["outcome"], r["decoded"]["to"], r["decoded"]["text"]) for r in sent],
                             [("ok", NUMBER, "keys")])
            self.assertFalse(any(c[0].startswith("AT+CMGS") for c in bench.commands("ttyUSB1")))
            menu.wait_menu()

            # 2: the same port dialogue, then the SIM card's message and the time used.
            menu.key("2")
            child.expect_exact(green(t["port"]))
            child.sendline("USB0")
            child.expect(t["read_used"])
            self.assertGreaterEqual(int(child.match.group(1)), 1)
            printed = child.before
            for text in (t["read_ok"], t["sim_count"], t["dev_count"]):
                self.assertIn(green(text), printed)
            self.assertIn(t["read_text"] + "menu keys\r\n", printed)
            menu.wait_menu()

            # 3: the terminal, one command and back.
            menu.key("3")
            child.expect_exact(term["port"])
            child.sendline("USB0")
            child.expect_exact(term["path"] % "/dev/ttyUSB0" + term["baud"] % 9600 + term["success"] +
                               term["prompt"])
            since = len(bench.rx("ttyUSB0"))
            child.sendline("AT+CSQ")
            child.expect_exact(term["prompt"])
            self.assertIn("- AT+CSQ\r\n\r\r\n+CSQ: 23,99\r\r\n\r\r\nOK\r\r\n\r\n", child.before)
            self.assertEqual(bench.rx("ttyUSB0")[since:], b"AT+CSQ\r")
            child.sendline("exit")
            menu.wait_menu()

            # d: asks for ports and a confirmation; Enter says no, and the
            # storages stay untouched.
            since = len(bench.rx("ttyUSB0"))
            scanned = scans(bench)
            menu.key("d")
            child.expect_exact(green(t["port"]))
            child.sendline("USB0")
            child.expect_exact("(y/N): ")
            child.sendline("")
            menu.wait_menu()
            self.assertEqual(scans(bench), scanned + 1)
            after = bench.rx("ttyUSB0")[since:]
            for command in (b"CMGD", b"CPMS", b"CMGL"):
                self.assertNotIn(command, after)

            # q: the end, with status 0; one message still on the SIM card.
            self.assertEqual(menu.quit(), 0)
            self.assertEqual(len(bench.state("ttyUSB0")["storage"]["SM"]), 1)

    def test_every_key_in_one_session(self):
        self.walk("en")

    def test_every_key_in_one_session_chinese_build(self):
        self.walk("zh")


if __name__ == "__main__":
    harness.main()
