"""Menu key 2 (read the stored SMS of chosen ports) and the hidden key "d",
on a real terminal against simulated modems, in both catalogues."""

import re
import unittest

import pexpect

import harness
from harness import Bench
from test_sms_subcommands import PDUS, modem, storage_pdus, stored

ANSI = re.compile(r"\x1b\[[0-9;]*m")
GREEN = "\x1b[1m\x1b[32m"
RED = "\x1b[1m\x1b[31m"
RESET = "\x1b[0m"
RULE = "-" * 50

TEXTS = {
    "en": {"menu": "q quit", "prompt": "input USB0):", "used": r"Read sms used: (\d+) second\(s\)",
           "port": "Port %s ok, total %d items", "sim": "Message count %d item(s)",
           "dev": "Message account %d item(s)", "no": " no. %d items", "from": "Send to: ",
           "time": "Send time: ", "text": "Message: ", "failed": "Port %s failed.", "reason": "\treason: ",
           "invalid": "Invalid port, reinput", "too_many": "Too many times error, back to main"},
    "zh": {"menu": "q退出", "prompt": "请输入USB0):", "used": r"读取短信耗时: (\d+) 秒",
           "port": "端口 %s 接收短信成功 共 %d 条短信", "sim": "SIM卡中的短信共 %d 条",
           "dev": "设备中的短信共 %d 条", "no": " 第 %d 条短信", "from": "发送号码: ",
           "time": "发送时间: ", "text": "短信内容: ", "failed": "端口 %s 接收短信失败",
           "reason": "\t 失败原因: ", "invalid": "您输入的设备端口号有误，请重新输入",
           "too_many": "输入的错误次数过多，返回主界面"},
}


def block_lines(texts, names):
    """The printed blocks of the PDUs `names`, as lines."""
    lines = []
    for i, name in enumerate(names, 1):
        p = PDUS[name]
        lines += [RULE, texts["no"] % i, texts["from"] + p["from"], texts["time"] + p["time"],
                  texts["text"] + p["text"]]
    return lines + [RULE]


class ReadMenu(unittest.TestCase):
    def open_menu(self, bench, variant="en"):
        menu = bench.spawn_tarnel([], binary=harness.tarnel_binary(variant), timeout=60)
        menu.expect_exact(TEXTS[variant]["menu"])
        return menu

    def read(self, menu, variant, typed):
        """Key 2 with one typed port line; returns what was printed up to the time used."""
        t = TEXTS[variant]
        menu.send("2")
        menu.expect_exact(t["prompt"])
        menu.sendline(typed)
        menu.expect(t["used"])
        self.assertGreaterEqual(int(menu.match.group(1)), 1)
        return menu.before

    def quit(self, menu, variant="en"):
        """Waits for the menu, leaves it; returns what was printed before the menu."""
        menu.expect_exact(TEXTS[variant]["menu"])
        printed = menu.before
        menu.send("q")
        menu.expect(pexpect.EOF)
        return printed

    def check_read_blocks(self, variant):
        t = TEXTS[variant]
        storage = {"SM": [stored("Gsm7Ascii"), stored("Ucs2Chinese")], "ME": [stored("NationalSender")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            menu = self.open_menu(bench, variant)
            printed = self.read(menu, variant, "USB0")
            self.assertIn(GREEN + t["port"] % ("ttyUSB0", 3) + RESET, printed)
            self.assertIn(GREEN + t["sim"] % 2 + RESET, printed)
            self.assertIn(GREEN + t["dev"] % 1 + RESET, printed)
            lines = ANSI.sub("", printed).replace("\r\n", "\n").split("\n")
            start = lines.index(t["port"] % ("ttyUSB0", 3))
            # The SIM card's messages come first although the memory is read first.
            self.assertEqual(lines[start + 1:],
                             [t["sim"] % 2] + block_lines(t, ["Gsm7Ascii", "Ucs2Chinese"]) +
                             [t["dev"] % 1] + block_lines(t, ["NationalSender"]) + [""])
            self.quit(menu, variant)
            # Reading leaves the messages where they were.
            self.assertEqual(len(storage_pdus(bench, "ttyUSB0", "SM")), 2)
            self.assertNotIn(b"CMGD=0", bench.rx("ttyUSB0"))

    def test_key_2_prints_sim_messages_then_memory_and_the_time_used(self):
        self.check_read_blocks("en")

    def test_key_2_in_the_chinese_build(self):
        self.check_read_blocks("zh")

    def test_key_2_with_an_empty_storage_and_a_port_without_sim_card(self):
        t = TEXTS["en"]
        modems = [modem("/dev/ttyUSB0", storage={"ME": [stored("ShortCode")]}),
                  modem("/dev/ttyUSB1", sim=False)]
        with Bench(modems) as bench:
            menu = self.open_menu(bench)
            printed = self.read(menu, "en", "USB0,USB1")
            lines = ANSI.sub("", printed).replace("\r\n", "\n").split("\n")
            start = lines.index(t["port"] % ("ttyUSB0", 1))
            # An empty SIM card still shows its count and the closing rule.
            self.assertEqual(lines[start + 1:start + 10],
                             [t["sim"] % 0, RULE, t["dev"] % 1] + block_lines(t, ["ShortCode"]))
            self.assertIn(RED + t["failed"] % "ttyUSB1" + RESET + RED + t["reason"] + RESET + RED + "No card" +
                          RESET + "\r\n", printed)
            self.quit(menu)

    def test_key_2_gives_up_after_three_unusable_port_lines(self):
        t = TEXTS["en"]
        with Bench([modem("/dev/ttyUSB0", storage={"SM": [stored("Gsm7Ascii")]})]) as bench:
            menu = self.open_menu(bench)
            menu.send("2")
            for _ in range(2):
                menu.expect_exact(t["prompt"])
                menu.sendline("USB7")
                menu.expect_exact(t["invalid"])
            menu.expect_exact(t["prompt"])
            menu.sendline("USB7")
            menu.expect_exact(t["too_many"])
            self.assertNotIn("Read sms used", self.quit(menu))
            self.assertNotIn(b"CPMS=\"ME\"", bench.rx("ttyUSB0"))

    CLEAR_TEXTS = {
        "en": {"confirm": "SIM card of these ports? (y/N): ", "nothing": "Nothing deleted.",
               "line": "Port %s: modem memory %s, SIM card %s", "done": "cleared", "failed": "clear failed"},
        "zh": {"confirm": "(y/N): ", "nothing": "未删除任何短信。",
               "line": "端口 %s: 设备内存%s, SIM卡%s", "done": "已清空", "failed": "清空失败"},
    }

    def clear_with_key_d(self, bench, variant, ports, answer):
        """Key d, the port line and the confirmation; returns what was printed."""
        t = TEXTS[variant]
        menu = self.open_menu(bench, variant)
        menu.send("d")
        menu.expect_exact(t["prompt"])
        menu.sendline(ports)
        menu.expect_exact(self.CLEAR_TEXTS[variant]["confirm"])
        menu.sendline(answer)
        return self.quit(menu, variant)

    def test_hidden_key_d_deletes_nothing_unless_confirmed(self):
        # Enter, "n", "yes": a key pressed by accident must lose nothing.
        for answer in ("", "n", "yes"):
            with self.subTest(answer=answer):
                storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("ShortCode")]}
                with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
                    printed = self.clear_with_key_d(bench, "en", "USB0", answer)
                    self.assertIn(self.CLEAR_TEXTS["en"]["nothing"], printed)
                    self.assertNotIn(b"CMGD", bench.rx("ttyUSB0"))
                    self.assertEqual(len(storage_pdus(bench, "ttyUSB0", "SM")), 1)
                    self.assertEqual(len(storage_pdus(bench, "ttyUSB0", "ME")), 1)

    def test_hidden_key_d_clears_both_storages_of_each_port_and_says_so(self):
        # ttyUSB1 accepts the delete of its memory and refuses that of its SIM
        # card (configured answers: the simulator deletes nothing there).
        refuse = {"AT+CMGD=0,4": ["\r\nOK\r\n", "\r\n+CMS ERROR: 500\r\n"]}
        for variant in ("en", "zh"):
            with self.subTest(variant):
                c = self.CLEAR_TEXTS[variant]
                modems = [modem("/dev/ttyUSB0", storage={"SM": [stored("Gsm7Ascii")], "ME": [stored("ShortCode")]}),
                          dict(modem("/dev/ttyUSB1", storage={"SM": [stored("Gsm7Ascii")],
                                                               "ME": [stored("ShortCode")]}), answers=refuse)]
                with Bench(modems) as bench:
                    printed = self.clear_with_key_d(bench, variant, "USB0,USB1", "y")
                    self.assertIn(GREEN + c["line"] % ("ttyUSB0", c["done"], c["done"]) + RESET, printed)
                    self.assertIn(RED + c["line"] % ("ttyUSB1", c["done"], c["failed"]) + RESET, printed)
                    self.assertEqual(storage_pdus(bench, "ttyUSB0", "SM"), [])
                    self.assertEqual(storage_pdus(bench, "ttyUSB0", "ME"), [])
                    self.assertEqual(len(storage_pdus(bench, "ttyUSB1", "SM")), 1)


if __name__ == "__main__":
    harness.main()
