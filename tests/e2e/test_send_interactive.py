"""Menu key 1 on a real terminal: the number, port and message dialogues and the result lines."""

import re
import unittest

import pexpect

import harness
from harness import Bench

try:
    import gammu
except ImportError:  # pragma: no cover - reported as a skip
    gammu = None

RED = "\x1b[1m\x1b[31m"
GREEN = "\x1b[1m\x1b[32m"
RESET = "\x1b[0m"

TEXTS = {
    "en": {
        "phone": "Input received phone number: ",
        "bad_phone": "Invalid number, reinput",
        "too_many": "Too many times error, back to main",
        "port": "Input port number(ex: /dev/ttyUSB0, input USB0):",
        "message": "Input message:",
        "default": " Velta SMS ",
        "port_word": "(T)Port ",
        "send_to": " send to ",
        "success": " success.",
        "failed": " failed, reason: ",
        "time_used": "Time used: ",
        "seconds": " second(s)",
    },
    "zh": {
        "phone": "请输入接收短信的号码: ",
        "bad_phone": "您输入的号码有误，请重新输入",
        "too_many": "输入的错误次数过多，返回主界面",
        "port": "请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0):",
        "message": "请输入短信内容:",
        "default": " Velta短信为您服务 ",
        "port_word": "(T)端口 ",
        "send_to": " 发送到 ",
        "success": " 的短信发送成功",
        "failed": " 的短信发送失败,失败原因: ",
        "time_used": "发送短信耗时: ",
        "seconds": " 秒",
    },
}


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


def green(text):
    return GREEN + text + RESET


def red(text):
    return RED + text + RESET


class InteractiveSend(unittest.TestCase):
    def open_menu(self, bench, variant):
        menu = bench.spawn_tarnel([], timeout=60, binary=harness.tarnel_binary(variant))
        menu.expect_exact("ttyS1")
        return menu

    def quit(self, menu):
        """Waits for the table again, quits; returns what came before the table."""
        menu.expect_exact("ttyS1")
        before = menu.before
        menu.send("q")
        menu.expect(pexpect.EOF)
        menu.close()
        self.assertEqual(menu.exitstatus, 0)
        return before

    def test_three_invalid_number_lines_go_back_to_the_menu(self):
        t = TEXTS["en"]
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            menu = self.open_menu(bench, "en")
            menu.send("1")
            for line in ("1234", "13912345678,1391234567x", ""):
                menu.expect_exact(green(t["phone"]))
                menu.sendline(line)
                menu.expect_exact(red(t["bad_phone"]))
            menu.expect_exact(red(t["too_many"]) + "\r\n\r\n\r\n")
            # No port prompt and no time line: straight back to the menu.
            after = self.quit(menu)
            self.assertNotIn(t["port"], after)
            self.assertNotIn(t["time_used"], after)
            self.assertFalse(any(c[0].startswith("AT+CMGS") for c in bench.commands("ttyUSB0")))

    def run_send(self, variant, numbers, message, script=None):
        """Key 1 with an empty port line; returns (bench log helpers, output of the run)."""
        t = TEXTS[variant]
        modems = [modem("/dev/ttyUSB0", send=script or []), modem("/dev/ttyUSB1", "CPhone_M26", sim=False)]
        with Bench(modems) as bench:
            menu = self.open_menu(bench, variant)
            menu.send("1")
            menu.expect_exact(green(t["phone"]))
            menu.sendline(numbers)
            menu.expect_exact(green(t["port"]))
            menu.sendline("")
            menu.expect_exact(green(t["message"]))
            menu.sendline(message)
            menu.expect(re.escape(t["time_used"]) + r"(\d+)" + re.escape(t["seconds"]) + "\r\n")
            output = menu.before
            seconds = int(menu.match.group(1))
            self.quit(menu)
            self.assertNotIn(red("Invalid port"), output)
            return bench.events("ttyUSB0", "sms"), bench.commands("ttyUSB1"), output, seconds

    def test_port_prompt_takes_identity_items_and_says_what_is_wrong(self):
        t = TEXTS["en"]
        modems = [modem("/dev/ttyUSB0", iccid="8986001234567890123F"), modem("/dev/ttyUSB1")]
        with Bench(modems) as bench:
            menu = self.open_menu(bench, "en")
            menu.send("1")
            menu.expect_exact(green(t["phone"]))
            menu.sendline("13912345678")
            menu.expect_exact(green(t["port"]))
            # A bad item is named, and the prompt comes again.
            menu.sendline("imei:12x")
            menu.expect_exact(red('imei:12x: digits expected after "imei:"'))
            menu.expect_exact(green(t["port"]))
            menu.sendline("iccid:8986001234567890123")
            menu.expect_exact(green(t["message"]))
            menu.sendline("hello")
            menu.expect_exact(t["time_used"])
            self.quit(menu)
            self.assertEqual(len(bench.state("ttyUSB0")["sent"]), 1)
            self.assertEqual(len(bench.state("ttyUSB1")["sent"]), 0)

    @unittest.skipIf(gammu is None, "python3-gammu is not installed")
    def test_empty_port_line_and_empty_message(self):
        t = TEXTS["en"]
        sms, other, output, seconds = self.run_send("en", "10086 13912345678", "",
                                                    script=["ok", "+CMS ERROR: 330"])
        # Only the port with everything detected was chosen; the SIM-less one got no SMS commands.
        self.assertFalse(any(c[0].startswith(("AT+CMGS", "AT+CSCA")) for c in other))
        texts = [gammu.DecodePDU(bytes.fromhex(r["pdu"]), SMSC=True)["Text"] for r in sms]
        self.assertEqual(texts[0], t["default"])
        self.assertRegex(texts[1], "^" + re.escape(t["default"]) + r" \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        success = (green(t["port_word"]) + green("ttyUSB0") + green(t["send_to"]) + green("10086") +
                   green(t["success"]) + "\r\n")
        failure = (red(t["port_word"]) + green("ttyUSB0") + red(t["send_to"]) + red("13912345678") +
                   red(t["failed"]) + red("+CMS ERROR: 330") + "\r\n")
        self.assertIn(success + failure, output)
        self.assertGreaterEqual(seconds, 1)

    @unittest.skipIf(gammu is None, "python3-gammu is not installed")
    def test_chinese_build_texts_and_line_feed_marker(self):
        t = TEXTS["zh"]
        sms, _, output, _ = self.run_send("zh", "10010", "第一行\\n第二行")
        self.assertEqual(gammu.DecodePDU(bytes.fromhex(sms[0]["pdu"]), SMSC=True)["Text"], "第一行\n第二行")
        self.assertIn(green(t["port_word"]) + green("ttyUSB0") + green(t["send_to"]) + green("10010") +
                      green(t["success"]) + "\r\n", output)

    def test_chinese_build_gives_up_in_chinese(self):
        t = TEXTS["zh"]
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            menu = self.open_menu(bench, "zh")
            menu.send("1")
            for _ in range(3):
                menu.expect_exact(green(t["phone"]))
                menu.sendline("12")
                menu.expect_exact(red(t["bad_phone"]))
            menu.expect_exact(red(t["too_many"]))
            self.quit(menu)


if __name__ == "__main__":
    harness.main()
