"""The AT terminal (menu key 3) on a real terminal: what reaches the modem, what comes back, and how long
the terminal waits for it.

The cases whose names contain "slow" sit out the terminal's answer limits (about 10 to 15 s each)."""

import os
import select
import time
import tty
import unittest

import pexpect

import harness
from detect_support import Menu
from harness import Bench

TEXTS = {
    "en": {
        "port": "\r\nInput port(ex: want use /dev/ttyUSB0, input USB0, no input enter means cancel): ",
        "path": "\r\nPORT: %s\r\n",
        "baud": "Baudrate: %d\r\n",
        "failed": "\r\nPort open failed!\r\n",
        "success": "\r\nPort open success.\r\n",
        "prompt": ("\r\nInput message(special: \\Z->CTRL+Z, \\E->ESCAPE, default end by enter, \\N->no enter)"
                   "(input exit to end)\r\n> "),
        "no_data": "(%d seconds no data, cancel)\r\n",
        "no_data_any": " seconds no data, cancel)",
    },
    "zh": {
        "port": "\r\n请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0，无输入则放弃): ",
        "path": "\r\n端  口： %s\r\n",
        "baud": "波特率： %d\r\n",
        "failed": "\r\n端口打开失败！\r\n",
        "success": "\r\n端口打开成功！\r\n",
        "prompt": ("\r\n请输入内容(特殊字符：\\Z表示CTRL+Z，\\E表示ESCAPE，默认结尾发送换行符，\\N表示不换行)"
                   "(exit结束)\r\n> "),
        "no_data": "(%d秒串口无数据，取消等待)\r\n",
        "no_data_any": "秒串口无数据，取消等待)",
    },
}


class ScriptedModem:
    """A modem played by the test itself, for answers timed to the second: a pseudo-terminal linked at
    `path` in the bench's /dev. It never answers on its own, so detection lists it as unrecognised
    (115200 baud). No threads: the bench leaves its namespace with setns, which a threaded process
    cannot do."""

    def __init__(self, path):
        self.path = path
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # no line discipline between us and the program
        os.set_blocking(self.master, False)
        os.symlink(os.ttyname(self.slave), path)
        self.heard = b""

    def _take(self, timeout):
        ready, _, _ = select.select([self.master], [], [], max(0.0, timeout))
        if ready:
            self.heard += os.read(self.master, 4096)
        return bool(ready)

    def mark(self):
        """Offset of what the program writes next, after all it wrote so far."""
        while self._take(0):
            pass
        return len(self.heard)

    def wait_heard(self, since, data, timeout=10.0):
        """Waits until the program wrote exactly `data` after offset `since`; returns when it was seen."""
        deadline = time.monotonic() + timeout
        while len(self.heard) - since < len(data) and time.monotonic() < deadline:
            self._take(deadline - time.monotonic())
        if self.heard[since:] != data:
            raise AssertionError("heard %r, expected %r" % (self.heard[since:], data))
        return time.monotonic()

    def write(self, data):
        os.write(self.master, data)

    def close(self):
        if os.path.islink(self.path):
            os.unlink(self.path)
        os.close(self.master)
        os.close(self.slave)


class Terminal(unittest.TestCase):
    def open_terminal(self, bench, variant="en", port="USB0", path="/dev/ttyUSB0", baud=9600):
        """The menu, key 3 and a port line; returns the Menu at the first command prompt."""
        t = TEXTS[variant]
        menu = Menu(bench, variant)
        menu.wait_menu()
        menu.key("3")
        menu.child.expect_exact(t["port"])
        menu.child.sendline(port)
        menu.child.expect_exact(t["path"] % path + t["baud"] % baud + t["success"] + t["prompt"])
        return menu

    def type_line(self, menu, line, variant="en"):
        """Types one line and returns what the terminal printed up to the next prompt."""
        menu.child.sendline(line)
        menu.child.expect_exact(TEXTS[variant]["prompt"])
        return menu.child.before

    def leave(self, menu):
        """"exit" back to the menu, then "q"."""
        menu.child.sendline("exit")
        menu.wait_menu()
        self.assertEqual(menu.quit(), 0)

    def new_bytes(self, bench, name, since):
        return bench.rx(name)[since:]

    def test_typed_lines_reach_the_modem_as_typed_and_answers_come_back(self):
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
            menu = self.open_terminal(bench)
            # Echo on (after detection's ATE0), so that lines the modem does not answer still bring data back
            # and each wait ends after about 3 s.
            rows = [
                # typed, bytes written, shown after the "- " echo
                ("AT", b"AT\r", "- AT\r\n\r\r\nOK\r\r\n\r\n"),
                ("ATE1", b"ATE1\r", "- ATE1\r\n\r\r\nOK\r\r\n\r\n"),
                ("AT\\N", b"AT", "- AT\r\nAT\r\n"),
                # An empty line is a command too: only "\r", which completes the "AT" typed before.
                ("", b"\r", "- \r\n\r\r\r\nOK\r\r\n\r\n"),
                ("Exit", b"Exit\r", "- Exit\r\nExit\r\r\n"),
            ]
            for typed, written, shown in rows:
                with self.subTest(typed):
                    since = len(bench.rx("ttyUSB0"))
                    start = time.monotonic()
                    out = self.type_line(menu, typed)
                    took = time.monotonic() - start
                    self.assertEqual(self.new_bytes(bench, "ttyUSB0", since), written)
                    # The tty echoes the typed line, then the terminal its own "- " line and the answer.
                    self.assertEqual(out, typed + "\r\n" + shown)
                    # Data came at once, yet the answer is collected for more than 2 s, never the full 10 s.
                    self.assertGreaterEqual(took, 2.0)
                    self.assertLess(took, 8.0)
            since = len(bench.rx("ttyUSB0"))
            self.leave(menu)
            # "exit" never reaches the modem: the next bytes are the menu's scan.
            self.assertTrue(self.new_bytes(bench, "ttyUSB0", since).startswith(b"ATE0\r\n"))

    def test_ctrl_z_ends_a_text_and_escape_cancels_one(self):
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
            menu = self.open_terminal(bench)
            self.assertIn("OK", self.type_line(menu, "AT+CMGF=1"))
            self.assertIn("> ", self.type_line(menu, 'AT+CMGS="10086"'))
            since = len(bench.rx("ttyUSB0"))
            out = self.type_line(menu, "hello\\Z")
            self.assertEqual(self.new_bytes(bench, "ttyUSB0", since), b"hello\x1a\r")
            self.assertIn("- hello\x1a\r\n", out)
            self.assertRegex(out, r"\+CMGS: \d+")
            sent = bench.events("ttyUSB0", "sms")
            self.assertEqual([(r["kind"], r["to"], r["text"]) for r in sent], [("text", "10086", "hello")])

            self.assertIn("> ", self.type_line(menu, 'AT+CMGS="10086"'))
            since = len(bench.rx("ttyUSB0"))
            out = self.type_line(menu, "draft\\e")
            self.assertEqual(self.new_bytes(bench, "ttyUSB0", since), b"draft\x1b\r")
            self.assertIn("OK", out)
            self.assertEqual(bench.events("ttyUSB0", "sms")[-1]["outcome"], "cancelled")
            self.leave(menu)

    def test_port_line_unknown_asks_again_empty_cancels_unopenable_fails(self):
        t = TEXTS["en"]
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
            menu = Menu(bench)
            menu.wait_menu()
            menu.key("3")
            # Short names are compared exactly: no other case, no full path.
            for line in ("USB7", "usb0", "/dev/ttyUSB0", "ttyUSB0"):
                menu.child.expect_exact(t["port"])
                menu.child.sendline(line)
            menu.child.expect_exact(t["port"])
            menu.child.sendline("")
            screen = menu.wait_menu()
            self.assertNotIn(b"PORT:", screen)
            # ttyS0 is always listed, but this /dev has none: the open fails and the menu comes back.
            menu.key("3")
            menu.child.expect_exact(t["port"])
            menu.child.sendline("S0")
            menu.child.expect_exact(t["path"] % "/dev/ttyS0" + t["baud"] % 115200 + t["failed"])
            screen = menu.wait_menu()
            self.assertNotIn(b"Input message", screen)
            # A port another program holds: the failure names the holder, and the modem hears nothing.
            with open(os.path.join(harness.LOCK_FOLDER, "LCK..ttyUSB0"), "w") as f:
                f.write("%10d\n" % os.getpid())
            heard = len(bench.rx("ttyUSB0"))
            menu.key("3")
            menu.child.expect_exact(t["port"])
            menu.child.sendline("USB0")
            menu.child.expect_exact(t["failed"] + "port busy: held by process %d\r\n" % os.getpid())
            screen = menu.wait_menu()
            self.assertNotIn(b"Input message", screen)
            self.assertEqual(len(bench.rx("ttyUSB0")), heard)
            self.assertEqual(menu.quit(), 0)

    def test_end_of_input_leaves_the_terminal_and_the_program(self):
        t = TEXTS["en"]
        for where in ("port line", "command line"):
            with self.subTest(where), Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
                if where == "port line":
                    menu = Menu(bench)
                    menu.wait_menu()
                    menu.key("3")
                    menu.child.expect_exact(t["port"])
                else:
                    menu = self.open_terminal(bench)
                since = len(bench.rx("ttyUSB0"))
                menu.child.sendeof()
                # The menu draws once more, meets the same end and leaves; nothing is sent on the way.
                menu.child.expect_exact(menu.cat["menu"])
                menu.child.expect(pexpect.EOF, timeout=30)
                menu.child.close()
                self.assertEqual(menu.child.exitstatus, 0)
                # The next thing the modem heard was the menu's scan: no line from the terminal.
                self.assertTrue(self.new_bytes(bench, "ttyUSB0", since).startswith(b"ATE0\r\n"))

    def test_slow_silent_modem_gives_the_no_data_line_after_10_seconds(self):
        for variant in ("en", "zh"):
            t = TEXTS[variant]
            modems = [{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "faults": {"silent": True}}]
            with self.subTest(variant), Bench(modems, binary=harness.tarnel_binary(variant)) as bench:
                menu = self.open_terminal(bench, variant, baud=115200)
                since = len(bench.rx("ttyUSB0"))
                menu.child.sendline("AT")
                menu.child.expect_exact("- AT\r\n")
                start = time.monotonic()
                menu.child.expect_exact(t["no_data"] % 10 + t["prompt"], timeout=20)
                took = time.monotonic() - start
                self.assertEqual(menu.child.before, "")
                self.assertEqual(self.new_bytes(bench, "ttyUSB0", since), b"AT\r")
                self.assertGreaterEqual(took, 9.0)
                self.assertLess(took, 12.0)
                self.leave(menu)

    def test_slow_late_answers_unasked_lines_and_the_long_limit_after_ctrl_z(self):
        with Bench([{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
            modem = ScriptedModem("/dev/ttyUSB1")
            try:
                self.late_answers(bench, modem)
            finally:
                modem.close()

    def late_answers(self, bench, modem):
        t = TEXTS["en"]
        menu = self.open_terminal(bench, port="USB1", path="/dev/ttyUSB1", baud=115200)

        # An unsolicited line waiting on the port is shown before the echo of the next line.
        modem.write(b"\r\nRING\r\n")
        since = modem.mark()
        menu.child.sendline("AT")
        menu.child.expect_exact("AT\r\n\r\r\nRING\r\r\n\r\n- AT\r\n")
        written = modem.wait_heard(since, b"AT\r")
        # The first piece of the answer does not end the wait: one 1.5 s later is still collected.
        modem.write(b"\r\nOK\r\n")
        time.sleep(1.5)
        modem.write(b'\r\n+CMTI: "SM",3\r\n')
        menu.child.expect_exact(t["prompt"])
        took = time.monotonic() - written
        self.assertEqual(menu.child.before, '\r\r\nOK\r\r\n\r\r\n+CMTI: "SM",3\r\r\n\r\n')
        self.assertGreaterEqual(took, 1.9)  # measured from when the modem heard the line
        self.assertLess(took, 8.0)

        # A text ended by Ctrl-Z may be answered late: 12 s is within the long limit.
        since = modem.mark()
        menu.child.sendline("hello\\Z")
        menu.child.expect_exact("- hello\x1a\r\n")
        written = modem.wait_heard(since, b"hello\x1a\r")
        index = menu.child.expect_exact([t["no_data_any"], pexpect.TIMEOUT],
                                        timeout=12.0 - (time.monotonic() - written))
        self.assertEqual(index, 1, "the terminal gave up before 12 s")
        modem.write(b"\r\n+CMGS: 7\r\n\r\nOK\r\n")
        menu.child.expect_exact(t["prompt"], timeout=15)
        self.assertEqual(menu.child.before, "\r\r\n+CMGS: 7\r\r\n\r\r\nOK\r\r\n\r\n")
        self.leave(menu)


if __name__ == "__main__":
    harness.main()
