"""Scripted USSD replies: encodings, timing, menus that stay open, request forms."""

import time
import unittest

import harness
from harness import Bench

OK = b"\r\nOK\r\n"


def modem(n, replies, **extra):
    ussd = dict(extra.pop("ussd", {}), replies=replies)
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "ussd": ussd}, **extra)


def ready(bench, n=0):
    port = bench.open_port("/dev/ttyUSB%d" % n)
    port.chat(b"ATE0\r")
    return port


def request(code):
    return b'AT+CUSD=1,"%s",15\r' % code


def septets(hex_text):
    """Packed GSM 7-bit, unpacked bit by bit as a receiver does."""
    data = bytes.fromhex(hex_text.decode())
    value = int.from_bytes(data, "little")
    return [(value >> (7 * i)) & 0x7F for i in range(len(data) * 8 // 7)]


class SimulatorUssdReplies(unittest.TestCase):
    def test_each_encoding_as_the_line_carries_it(self):
        rows = [({"text": "Balance 12.30"}, b'+CUSD: 0,"Balance 12.30",15'),
                # The GSM character set: "@" is 0x00, "_" 0x11, and "\u20ac" an escape pair.
                ({"text": "@_\u20ac"}, b'+CUSD: 0,"\x00\x11\x1b\x65",15'),
                ({"text": "1. Balance\r\n2. Data", "status": 1}, b'+CUSD: 1,"1. Balance\r\n2. Data",15'),
                ({"text": "\u4f59\u989d", "encoding": "ucs2"}, b'+CUSD: 0,"4F59989D",72'),
                ({"text": "*100#", "encoding": "gsm7"}, b'+CUSD: 0,"AA180C3602",15'),
                ({"text": "hi", "encoding": "8bit"}, b'+CUSD: 0,"6869",68'),
                ({"text": "Hi", "language": "en"}, b'+CUSD: 0,"en\rHi",16'),
                ({"text": "Hi", "encoding": "ucs2", "language": "en"}, b'+CUSD: 0,"653700480069",17'),
                ({"text": "1000", "dcs": 72}, b'+CUSD: 0,"1000",72'),
                ({"status": 2}, b"+CUSD: 2"),
                ({"line": '+CUSD: 0,"cut short'}, b'+CUSD: 0,"cut short')]
        replies = {"*%d#" % n: reply for n, (reply, _) in enumerate(rows)}
        with Bench([modem(0, replies)]) as bench:
            port = ready(bench)
            for n, (reply, line) in enumerate(rows):
                self.assertEqual(port.chat(request(b"*%d#" % n)), OK, reply)
                expected = b"\r\n" + line + b"\r\n"
                self.assertEqual(port.read_until(expected), expected, reply)

    def test_packed_text_gets_a_cr_where_seven_bits_would_read_as_at(self):
        rows = [("1234567", "1234567\r"), ("123456\r", "123456\r\r"), ("1234567\r", "1234567\r\r"),
                ("123456", "123456")]
        replies = {"*%d#" % n: {"text": text, "encoding": "gsm7"} for n, (text, _) in enumerate(rows)}
        with Bench([modem(0, replies)]) as bench:
            port = ready(bench)
            for n, (text, on_the_line) in enumerate(rows):
                port.chat(request(b"*%d#" % n))
                line = port.read_until(b",15\r\n")
                packed = line.split(b'"')[1]
                unpacked = "".join(chr(s) for s in septets(packed))
                # Six characters leave 6 spare bits: no padding, and no extra septet read.
                self.assertEqual(unpacked, on_the_line, text)

    def test_character_set_in_force_when_the_reply_comes(self):
        replies = {"*100#": {"text": "Ok \u00e9", "delay_ms": 1000}}
        with Bench([modem(0, replies)]) as bench:
            port = ready(bench)
            self.assertEqual(port.chat(request(b"*100#")), OK)
            self.assertEqual(port.chat(b'AT+CSCS="UCS2"\r'), OK)  # restored before the reply came
            expected = b'\r\n+CUSD: 0,"004F006B002000E9",15\r\n'
            self.assertEqual(port.read_until(expected), expected)


class SimulatorUssdTiming(unittest.TestCase):
    def test_reply_after_ok_before_ok_and_twice(self):
        replies = {"*1#": {"text": "late", "delay_ms": 600},
                   "*2#": {"text": "first", "delay_ms": 600, "before_ok": True},
                   "*3#": {"text": "twice", "repeat": 2}}
        with Bench([modem(0, replies)]) as bench:
            port = ready(bench)
            start = time.monotonic()
            self.assertEqual(port.chat(request(b"*1#")), OK)
            self.assertLess(time.monotonic() - start, 0.5)
            self.assertEqual(port.read_until(b",15\r\n"), b'\r\n+CUSD: 0,"late",15\r\n')
            self.assertGreaterEqual(time.monotonic() - start, 0.6)
            start = time.monotonic()
            self.assertEqual(port.chat(request(b"*2#")), b'\r\n+CUSD: 0,"first",15\r\n' + OK)
            self.assertGreaterEqual(time.monotonic() - start, 0.6)
            self.assertEqual(port.chat(request(b"*3#")), OK)
            twice = b'\r\n+CUSD: 0,"twice",15\r\n' * 2
            self.assertEqual(port.read_until(twice), twice)

    def test_no_reply_at_all(self):
        with Bench([modem(0, {"*100#": None})]) as bench:
            port = ready(bench)
            self.assertEqual(port.chat(request(b"*100#")), OK)
            self.assertEqual(port.chat(b"AT\r"), OK)
            self.assertEqual(port.pending(), b"")
            self.assertEqual(bench.events("ttyUSB0", "ussd")[-1]["outcome"], "no-reply")


class SimulatorUssdMenus(unittest.TestCase):
    MENU = {"*101#": {"text": "1. Balance\r\n2. Data", "status": 1},
            "1": {"text": "Balance 3.00", "status": 0}}

    def test_an_open_menu_refuses_other_commands_until_cancelled(self):
        with Bench([modem(0, self.MENU)]) as bench:
            port = ready(bench)
            port.chat(request(b"*101#"))
            port.read_until(b"Data\",15\r\n")
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\n+CME ERROR: 3\r\n")
            self.assertEqual(port.chat(b"AT+CUSD=2\r"), OK)
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\n+CSQ: 23,99\r\n" + OK)
            self.assertEqual(bench.events("ttyUSB0", "ussd-cancel")[-1]["was_open"], True)

    def test_a_busy_modem_answers_nothing_until_the_menu_is_answered(self):
        with Bench([modem(0, self.MENU, ussd={"while_open": "busy"})]) as bench:
            port = ready(bench)
            port.chat(request(b"*101#"))
            port.read_until(b"Data\",15\r\n")
            port.write(b"AT+CMGL=4\r")
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT+CMGL=4", kind="command")
            self.assertEqual(port.pending(), b"")
            self.assertEqual(bench.commands("ttyUSB0")[-1][2], "ussd-busy")
            # Choosing from the menu ends the session with the final reply.
            self.assertEqual(port.chat(request(b"1")), OK)
            self.assertEqual(port.read_until(b",15\r\n"), b'\r\n+CUSD: 0,"Balance 3.00",15\r\n')
            self.assertEqual(port.chat(b"AT\r"), OK)


class SimulatorUssdRequests(unittest.TestCase):
    def test_request_forms_and_refusals(self):
        replies = {"*100#": {"text": "Balance"}}
        balance = b'\r\n+CUSD: 0,"Balance",15\r\n'
        # configuration, command, answer, then the reply line (None: none comes)
        rows = [({}, request(b"*100#"), OK, balance),
                ({}, request(b"*999#"), OK, b"\r\n+CUSD: 4\r\n"),
                ({"ussd": {"request": "gsm7"}}, request(b"AA180C3602"), OK, balance),
                ({"ussd": {"request": "gsm7"}}, request(b"*100#"), b"\r\nERROR\r\n", None),
                ({"cscs": "UCS2"}, request(b"*100#"), b"\r\nERROR\r\n", None),
                ({"cscs": "UCS2"}, request(b"002A0031003000300023"), OK,
                 b'\r\n+CUSD: 0,"00420061006C0061006E00630065",15\r\n'),
                ({"creg": 2}, request(b"*100#"), b"\r\n+CME ERROR: 30\r\n", None),
                ({"creg": 6}, request(b"*100#"), b"\r\n+CME ERROR: 30\r\n", None),
                ({"cpin": "SIM PIN"}, request(b"*100#"), b"\r\n+CME ERROR: 11\r\n", None),
                ({"model": "CPhone_MC323_ON"}, request(b"*100#"), b"\r\nERROR\r\n", None),
                ({}, b"AT+CUSD=1\r", OK, None),
                ({}, b"AT+CUSD=3\r", b"\r\nERROR\r\n", None)]
        with Bench([modem(n, replies, **cfg) for n, (cfg, _, _, _) in enumerate(rows)]) as bench:
            for n, (cfg, command, answer, line) in enumerate(rows):
                port = ready(bench, n)
                self.assertEqual(port.chat(command), answer, (cfg, command))
                if line is not None:
                    self.assertEqual(port.read_until(line), line, (cfg, command))
                self.assertEqual(port.chat(b"AT\r"), OK)
                self.assertEqual(port.pending(), b"", (cfg, command))

    def test_ussdmode_chooses_packed_or_plain_both_ways(self):
        replies = {"*100#": {"text": "Balance"}}
        packed = b'\r\n+CUSD: 0,"C2303BEC1E971B",15\r\n'
        # configuration, then each command with its answer and the reply line that follows (None: none)
        rows = [({"ussdmode": 1}, [(b"AT^USSDMODE?\r", b"\r\n^USSDMODE: 1\r\n" + OK, None),
                                   (request(b"AA180C3602"), OK, packed),
                                   (request(b"*100#"), b"\r\nERROR\r\n", None)]),
                ({"ussdmode": 0}, [(b"AT^USSDMODE?\r", b"\r\n^USSDMODE: 0\r\n" + OK, None),
                                   (request(b"*100#"), OK, b'\r\n+CUSD: 0,"Balance",15\r\n'),
                                   # Set, the mode holds for every tty of the modem until changed.
                                   (b"AT^USSDMODE=1\r", OK, None),
                                   (request(b"AA180C3602"), OK, packed),
                                   (b"AT^USSDMODE=2\r", b"\r\nERROR\r\n", None)]),
                # Unicode replies are hex in either mode.
                ({"ussdmode": 1, "replies": {"*100#": {"text": "\u4f59", "encoding": "ucs2"}}},
                 [(request(b"AA180C3602"), OK, b'\r\n+CUSD: 0,"4F59",72\r\n')]),
                ({}, [(b"AT^USSDMODE?\r", b"\r\nERROR\r\n", None)])]
        modems = [modem(n, cfg.pop("replies", replies), ussd=cfg) for n, (cfg, _) in enumerate(rows)]
        with Bench(modems) as bench:
            for n, (cfg, steps) in enumerate(rows):
                port = ready(bench, n)
                for command, answer, line in steps:
                    self.assertEqual(port.chat(command), answer, (cfg, command))
                    if line is not None:
                        self.assertEqual(port.read_until(line), line, (cfg, command))
                self.assertEqual(port.pending(), b"", cfg)

    def test_reply_on_the_primary_port_when_asked_on_the_second(self):
        modems = [{"ussd": {"replies": {"*100#": {"text": "Balance"}}, "reply_on": "primary"},
                   "ttys": [{"role": "at"}, {"role": "at2"}]}]
        with Bench(modems) as bench:
            primary, second = ready(bench, 0), ready(bench, 1)
            self.assertEqual(second.chat(request(b"*100#")), OK)
            self.assertEqual(primary.read_until(b",15\r\n"), b'\r\n+CUSD: 0,"Balance",15\r\n')
            self.assertEqual(second.chat(b"AT\r"), OK)
            self.assertEqual(second.pending(), b"")

    def test_bad_ussd_configurations_are_refused(self):
        rows = [({"reply_on": "all"}, "reply_on is one of asking, primary"),
                ({"ussdmode": 2}, "ussdmode is 0 or 1"),
                ({"replies": {"*1#": {"text": "x", "encoding": "utf8"}}}, "encoding 'utf8'"),
                ({"replies": {"*1#": {"text": "x", "encoding": "8bit", "language": "en"}}}, "language"),
                ({"replies": {"*1#": {"text": "\u4f59", "encoding": "gsm7"}}}, "outside the GSM 7-bit"),
                ({"replies": {"*1#": {"txt": "x"}}}, "a reply is an object"),
                ({"menu": {}}, "ussd is an object")]
        for ussd, message in rows:
            with self.subTest(ussd=ussd):
                result = harness.run_simulator([{"path": "/dev/ttyUSB0", "ussd": ussd}])
                self.assertEqual(result.returncode, 2, result)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    harness.main()
