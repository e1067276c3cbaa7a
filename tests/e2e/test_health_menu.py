"""Menu key 4: the health table of every modem, in both builds, asked of every modem at once; the
device table, the menu line and the detection commands stay as they were."""

import re
import time
import unittest

import harness
from detect_support import Menu
from harness import Bench, wait_for

TEXTS = {
    "en": {
        "title": "Modem health",
        "headers": ["Port No.", "IMEI", "SIM", "Registration", "Operator", "Tech", "Signal (dBm)"],
        "back": "Press any key to go back to the menu",
        "phone": "Input received phone number: ", "port": "Input port number(ex: /dev/ttyUSB0, input USB0):",
        "message": "Input message:", "time_used": "Time used: ",
        "locked": " failed, reason: SIM locked: SIM PIN", "denied": " failed, reason: Reg. denied",
        "rows": {
            "ttyUSB0": ["ready", "home", "Test Network", "lte", "-67 excellent"],
            "ttyUSB1": ["PIN needed", "not registered", "unknown", "unknown", "-67 excellent"],
            "ttyUSB2": ["ready", "roaming", "中国移动", "umts", "-93 fair"],
            "ttyUSB3": ["ready", "home", "unknown", "unknown", "unknown"],
            "ttyUSB4": ["ready", "denied", "unknown", "unknown", "-105 poor"],
            "ttyUSB5": ["ready", "radio off", "unknown", "unknown", "-67 excellent"],
        },
    },
    "zh": {
        "title": "设备健康状态",
        "headers": ["端口号", "设备序列号", "SIM卡", "网络注册", "运营商", "制式", "信号(dBm)"],
        "back": "按任意键返回主菜单",
        "phone": "请输入接收短信的号码: ", "port": "请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0):",
        "message": "请输入短信内容:", "time_used": "发送短信耗时: ",
        "locked": " 的短信发送失败,失败原因: SIM卡已锁: SIM PIN", "denied": " 的短信发送失败,失败原因: 网络拒绝注册",
        "rows": {
            "ttyUSB0": ["正常", "本地网", "Test Network", "lte", "-67 极好"],
            "ttyUSB1": ["需PIN码", "未注册", "未知", "未知", "-67 极好"],
            "ttyUSB2": ["正常", "漫游", "中国移动", "umts", "-93 一般"],
            "ttyUSB3": ["正常", "本地网", "未知", "未知", "未知"],
            "ttyUSB4": ["正常", "拒绝注册", "未知", "未知", "-105 差"],
            "ttyUSB5": ["正常", "射频关闭", "未知", "未知", "-67 极好"],
        },
    },
}

MODEMS = [
    {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "creg": 1, "cereg": 1, "act": 7},
    {"path": "/dev/ttyUSB1", "model": "CPhone_EC20F", "cpin": "SIM PIN"},
    # A modem left in the UCS2 character set gives the operator's name in hex.
    {"path": "/dev/ttyUSB2", "model": "CPhone_K2210_ME", "creg": 5, "cgreg": 5, "cscs": "UCS2", "act": 2,
     "csq": "10,99", "operator": {"long": "中国移动", "numeric": "46000"}},
    # CDMA: no +CGREG, +CEREG or +COPS; no signal.
    {"path": "/dev/ttyUSB3", "model": "CPhone_MC323_ON", "baud": 115200, "csq": "99,99"},
    {"path": "/dev/ttyUSB4", "model": "CPhone_EC20F", "creg": 3, "cgreg": 3, "csq": "4,99"},
    {"path": "/dev/ttyUSB5", "model": "CPhone_EC20F", "cfun": 4},
]

HEALTH_COMMANDS = re.compile(r"^AT\+(CPIN|CREG|CGREG|CEREG|COPS|CFUN|CSCS)")
COLUMN_WIDTHS = [13, 17, 12, 16, 18, 9]


def screen_width(text):
    return sum(2 if 0x1100 <= ord(c) <= 0x115F or 0x2E80 <= ord(c) <= 0xA4CF or 0xFF00 <= ord(c) <= 0xFF60
               else 1 for c in text)


def health_commands(bench, name):
    return [c[0] for c in bench.commands(name) if HEALTH_COMMANDS.match(c[0])]


class HealthKey(unittest.TestCase):
    def check(self, variant):
        t = TEXTS[variant]
        with Bench(MODEMS, binary=harness.tarnel_binary(variant)) as bench:
            menu = Menu(bench, variant)
            first = menu.wait_menu()
            # The detection asks nothing of the health.
            for n in range(len(MODEMS)):
                self.assertEqual(health_commands(bench, "ttyUSB%d" % n), [])
            menu.key("4")
            menu.child.expect_exact(t["back"])
            printed = menu.child.before
            lines = [line for line in printed.replace("\r", "").split("\n")]
            start = next(i for i, line in enumerate(lines) if line.startswith(t["title"]))
            self.assertEqual(lines[start + 1], "=" * 90)
            header = lines[start + 2]
            self.assertEqual(header.split(), [w for h in t["headers"] for w in h.split()])
            rows = {}
            for line in lines[start + 3:]:
                if line.startswith("="):
                    break
                if line.startswith("-"):
                    continue
                # Aligned: each column starts at the same screen column as its header.
                cells, at = [], 0
                for width in COLUMN_WIDTHS:
                    taken, used = "", 0
                    chars = iter(line[at:])
                    for c in chars:
                        if used + screen_width(c) > width:
                            break
                        taken += c
                        used += screen_width(c)
                    cells.append(taken.rstrip())
                    at += len(taken)
                    self.assertEqual(used, width, line)
                cells.append(line[at:].rstrip())
                rows[cells[0]] = cells
            self.assertEqual(sorted(rows), sorted(t["rows"]))
            for port, expected in t["rows"].items():
                self.assertEqual(rows[port][2:], expected, port)
                self.assertRegex(rows[port][1], r"^\d{15}$|^0x[0-9A-F]+$")
            # At most 7 exchanges each beyond detection (8 where the operator's name may be UCS-2
            # and the character set is asked), and never a PIN.
            for n in range(len(MODEMS)):
                name = "ttyUSB%d" % n
                asked = health_commands(bench, name)
                self.assertEqual([c[0] for c in bench.commands(name)].count("AT+CMEE=1"), 1)
                self.assertLessEqual(len(asked) + 1, 8 if n == 2 else 7, asked)  # +1: AT+CMEE=1
                self.assertFalse([c for c in asked if c.startswith("AT+CPIN=")])
            # The CDMA modem is asked only what applies to it.
            self.assertEqual(health_commands(bench, "ttyUSB3"), ["AT+CPIN?", "AT+CREG?"])
            menu.key("x")
            second = menu.wait_menu()
            # The device table is drawn as before: its header and lines, from its first rule on.
            def table(screen):
                lines = screen.split(b"\n")
                return lines[next(i for i, line in enumerate(lines) if line.startswith(b"=" * 90)):-2]
            self.assertEqual(table(first), table(second))

            # Key 1 through the locked SIM and the denied registration: each says why, in the catalogue.
            menu.key("1")
            menu.child.expect_exact(t["phone"])
            menu.child.sendline("13912345678")
            menu.child.expect_exact(t["port"])
            menu.child.sendline("USB1,USB4")
            menu.child.expect_exact(t["message"])
            menu.child.sendline("health")
            menu.child.expect_exact(t["time_used"])
            plain = re.sub(r"\x1b\[[0-9;]*m", "", menu.child.before)
            lines = {line.split()[1]: line for line in plain.replace("\r", "").split("\n") if line.startswith("(T)")}
            self.assertTrue(lines["ttyUSB1"].endswith(t["locked"]), lines)
            self.assertTrue(lines["ttyUSB4"].endswith(t["denied"]), lines)
            for name in ("ttyUSB1", "ttyUSB4"):
                self.assertFalse([c for c in bench.commands(name) if c[0].startswith("AT+CMGS")])
            menu.wait_menu()
            self.assertEqual(menu.quit(), 0)

    def test_english(self):
        self.check("en")

    def test_chinese(self):
        self.check("zh")


if __name__ == "__main__":
    harness.main()
