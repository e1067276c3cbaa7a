"""Command-line send mode against simulated modems: what reaches the modems and the JSON document."""

import json
import os
import re
import unittest

import harness
from harness import Bench

try:
    import gammu  # python3-gammu: an independent decoder of what was sent
except ImportError:  # pragma: no cover - reported as a skip
    gammu = None

NUMBER = "13912345678"
STAMP = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$")


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


def document(result):
    """The one JSON document tarnel printed; nothing else on standard output."""
    if result.rc != 0 or result.err:
        raise AssertionError("exit status 0 and nothing on standard error expected: %r" % result)
    try:
        return json.loads(result.out)
    except ValueError:
        raise AssertionError("not one JSON document: %r" % result)


def sent(bench, name):
    return bench.events(name, "sms")


def decode_pdu(hextext):
    """python-gammu's reading of a PDU (with its centre), the text as sent."""
    message = gammu.DecodePDU(bytes.fromhex(hextext), SMSC=True)
    if message["Coding"] == "Default_No_Compression":
        # python-gammu sizes a 7-bit text by its septets, escapes included:
        # what follows gammu's terminating NUL is not text.
        message["Text"] = message["Text"].split("\x00", 1)[0]
    return message


def decode(record):
    """Number, text and (id, part, parts) of a recorded PDU, decoded by python-gammu."""
    message = decode_pdu(record["pdu"])
    udh = message["UDH"]
    part = None
    if udh["Type"] != "NoUDH":
        part = (udh["ID8bit"] if udh["ID8bit"] >= 0 else udh["ID16bit"], udh["PartNumber"], udh["AllParts"])
    return message["Number"], message["Text"], part


def cmgs_count(bench, name):
    return sum(1 for c in bench.commands(name) if c[0].startswith(("AT+CMGS", "AT^HCMGS")))


@unittest.skipIf(gammu is None, "python3-gammu is not installed")
class CommandLineSend(unittest.TestCase):
    def assert_results(self, doc, expected):
        """expected: (com, number, code, message) per element, in order."""
        self.assertEqual(doc["code"], 0, doc)
        self.assertEqual(doc["message"], "param is ok")
        got = [(e["com"], e["number"], e["code"], e["message"]) for e in doc["result"]]
        self.assertEqual(got, expected)
        for e in doc["result"]:
            self.assertRegex(e["time"], STAMP)
            self.assertEqual(sorted(e), ["code", "com", "iccid", "imei", "message", "number", "time", "usb"])

    def test_one_port_sends_the_message_with_its_time_stamp(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            result = bench.run_tarnel(["USB0", NUMBER, "Hello there"])
            doc = document(result)
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
            records = sent(bench, "ttyUSB0")
            self.assertEqual(len(records), 1)
            self.assertEqual(records[0]["outcome"], "ok")
            self.assertEqual(records[0]["announced"], records[0]["length"])
            number, text, part = decode(records[0])
            self.assertEqual(number, NUMBER)
            self.assertEqual(text, "Hello there " + doc["result"][0]["time"])
            self.assertIsNone(part)
            # The centre query and PDU mode come before the length command.
            commands = [c[0] for c in bench.commands("ttyUSB0")]
            cmgs = commands.index("AT+CMGS=%d" % records[0]["announced"])
            self.assertIn("AT+CSCA?", commands[:cmgs])
            self.assertIn("AT+CMGF=0", commands[:cmgs])

    def test_service_number_gets_the_text_alone_without_quotes(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel(["10086", '"Balance\\nplease"']))
            self.assert_results(doc, [("ttyUSB0", "10086", 0, "Succeed")])
            number, text, _ = decode(sent(bench, "ttyUSB0")[0])
            self.assertEqual((number, text), ("10086", "Balance\nplease"))

    def test_only_a_wrapping_pair_of_quotes_goes(self):
        # (argument, text sent before the stamp); 5 bytes or more are stamped.
        rows = [('"Hello there"', "Hello there"),                          # wrapping
                ('He said "hello" to me', 'He said "hello" to me'),        # inner
                ('Code: "1234". Do not share', 'Code: "1234". Do not share'),
                ('"He said "hello" to me"', '"He said "hello" to me"'),    # wrapping plus inner
                ('"unclosed quote', '"unclosed quote'),                    # single
                ('""', '""'),                                              # empty
                ('""""""', '""""""'),                                      # only quotes
                ('"abc"', '"abc"')]                                        # 5 characters
        with Bench([modem("/dev/ttyUSB0")], set_ini="[comm]\ndef=1\ntime1=100\nfixedports=0\n") as bench:
            for number, (argument, text) in enumerate(rows):
                with self.subTest(argument=argument):
                    doc = document(bench.run_tarnel(["USB0", NUMBER, argument]))
                    self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
                    stamped = text + " " + doc["result"][0]["time"] if len(text.encode()) >= 5 else text
                    records = sent(bench, "ttyUSB0")
                    self.assertEqual(len(records), number + 1)
                    self.assertEqual(decode(records[-1])[:2], (NUMBER, stamped))

    def test_empty_message_sends_the_default_text(self):
        for variant, default in (("en", " Velta SMS "), ("zh", " Velta短信为您服务 ")):
            with self.subTest(variant):
                with Bench([modem("/dev/ttyUSB0")], binary=harness.tarnel_binary(variant)) as bench:
                    doc = document(bench.run_tarnel(["USB0", "10010", ""]))
                    # The documents are for programs: the same texts in both builds.
                    self.assert_results(doc, [("ttyUSB0", "10010", 0, "Succeed")])
                    self.assertEqual(decode(sent(bench, "ttyUSB0")[0])[1], default)

    def test_long_chinese_text_goes_as_two_linked_parts(self):
        message = ("短信测试" * 25)[:100]
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel([NUMBER, message]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
            records = sent(bench, "ttyUSB0")
            self.assertEqual(len(records), 2)
            parts = [decode(r) for r in records]
            self.assertEqual({p[0] for p in parts}, {NUMBER})
            self.assertEqual(len({p[2][0] for p in parts}), 1, "one reference for both parts")
            self.assertEqual([p[2][1:] for p in parts], [(1, 2), (2, 2)])
            self.assertEqual(parts[0][1] + parts[1][1], message + " " + doc["result"][0]["time"])
            for r in records:
                self.assertEqual(r["announced"], r["length"])

    def test_two_ports_three_numbers_six_results_port_major(self):
        numbers = ["13912345678", "13812345678", "8613712345678"]
        with Bench([modem("/dev/ttyUSB0"), modem("/dev/ttyUSB1", "CPhone_M26")]) as bench:
            doc = document(bench.run_tarnel(["USB0;USB1", ",".join(numbers), "Hi all"]))
            self.assert_results(doc, [(port, n, 0, "Succeed") for port in ("ttyUSB0", "ttyUSB1") for n in numbers])
            # A 13-digit number with the country code 86 goes out as international.
            for name in ("ttyUSB0", "ttyUSB1"):
                self.assertEqual([decode(r)[0] for r in sent(bench, name)], numbers[:2] + ["+" + numbers[2]])

    def test_undetected_port_next_to_a_detected_one(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel(["USB0,USB5", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed"),
                                      ("ttyUSB5", NUMBER, 6, "No Such Port")])

    def test_empty_port_item_is_not_the_terminal(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel([",USB0,,", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])

    def test_only_undetected_ports_is_a_port_error(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel(["USB5,ACM0", NUMBER, "Hello there"]))
            self.assertEqual(doc, {"code": 1, "message": "com port error", "result": []})
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)

    def test_one_invalid_number_sends_nothing(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER + ",1391234567x", "Hello there"]))
            self.assertEqual(doc, {"code": 2, "message": "phone number error", "result": []})
            self.assertEqual(sent(bench, "ttyUSB0"), [])
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)

    def test_wrong_argument_count_touches_no_port(self):
        for args in ([NUMBER], ["USB0", NUMBER, "Hello", "extra"]):
            with self.subTest(args=args):
                with Bench([modem("/dev/ttyUSB0")]) as bench:
                    result = bench.run_tarnel(args)
                    self.assertEqual(document(result), {"code": 3, "message": "param count error", "result": []})
                    self.assertTrue(result.out.endswith("}\n\n"), result)
                    self.assertEqual(bench.rx("ttyUSB0"), b"")

    def test_no_modem_answering(self):
        # The scan always lists ttyS0 and ttyS1; with no modem answering the
        # automatic choice takes every port, none of which can send: the
        # silent one opens but does not answer AT, the fixed ones do not exist here.
        with Bench([modem("/dev/ttyUSB0", faults={"silent": True})]) as bench:
            doc = document(bench.run_tarnel([NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 2, "Device Not AT"),
                                      ("ttyS0", NUMBER, 6, "No Such Port"),
                                      ("ttyS1", NUMBER, 6, "No Such Port")])
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)

    def test_retryable_error_twice_then_success(self):
        script = ["+CMS ERROR: 500", "+CMS ERROR: 500", "ok"]
        with Bench([modem("/dev/ttyUSB0", send=script)]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
            self.assertEqual([r["outcome"] for r in sent(bench, "ttyUSB0")], script)

    def test_retryable_error_three_times_gives_up(self):
        with Bench([modem("/dev/ttyUSB0", send=["+CMS ERROR: 512"] * 4)]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 1, "+CMS ERROR: 512")])
            self.assertEqual(len(sent(bench, "ttyUSB0")), 3)

    def test_retry_of_a_long_message_resends_from_the_refused_part_under_its_reference(self):
        message = ("短信测试" * 25)[:100]
        refused = "+CMS ERROR: 500"
        # (send script, code and message of the result): part 2 refused once,
        # then on every attempt.
        cases = [(["ok", refused, "ok"], 0, "Succeed"),
                 (["ok", refused, refused, refused, "ok"], 1, refused)]
        for script, code, reason in cases:
            with self.subTest(script=script):
                with Bench([modem("/dev/ttyUSB0", send=script)]) as bench:
                    doc = document(bench.run_tarnel(["USB0", NUMBER, message]))
                    self.assert_results(doc, [("ttyUSB0", NUMBER, code, reason)])
                    records = sent(bench, "ttyUSB0")
                    # Part 1 once, then part 2 until accepted or three attempts made.
                    self.assertEqual([r["outcome"] for r in records], script[:4])
                    parts = [decode(r)[2] for r in records]
                    self.assertEqual([p[1:] for p in parts], [(1, 2)] + [(2, 2)] * (len(records) - 1))
                    self.assertEqual(len({p[0] for p in parts}), 1, "one reference for every part")
                    if code == 0:
                        texts = [decode(r)[1] for r in records if r["outcome"] == "ok"]
                        self.assertEqual("".join(texts), message + " " + doc["result"][0]["time"])

    def test_final_error_is_reported_after_one_attempt(self):
        with Bench([modem("/dev/ttyUSB0", send=["+CMS ERROR: 330", "ok"])]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 1, "+CMS ERROR: 330")])
            self.assertEqual(len(sent(bench, "ttyUSB0")), 1)

    def test_refused_length_command_sends_no_body(self):
        with Bench([modem("/dev/ttyUSB0", send=[{"len": "+CMS ERROR: 304"}])]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 1, "+CMS ERROR: 304")])
            self.assertEqual(sent(bench, "ttyUSB0"), [])

    def test_unencodable_text_fails_with_its_reason(self):
        # Bytes valid neither in the locale (UTF-8) nor as UTF-8.
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            doc = document(bench.run_tarnel([b"USB0", NUMBER.encode(), b"Hello \xff\xfe there"]))
            self.assertEqual(len(doc["result"]), 1)
            element = doc["result"][0]
            self.assertEqual(element["code"], 1)
            self.assertIn("cannot be encoded", element["message"])
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)

    def test_cdma_model_sends_unicode_with_its_own_command(self):
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON")]) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, "CDMA 你好"]))
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
            records = sent(bench, "ttyUSB0")
            self.assertEqual(len(records), 1)
            self.assertEqual(records[0]["kind"], "cdma")
            self.assertEqual(records[0]["to"], NUMBER)
            expected = "CDMA 你好 " + doc["result"][0]["time"]
            self.assertEqual(records[0]["body"], (expected.encode("utf-16-be") + b"\x00").hex().upper())
            self.assertIn(b'AT^HCMGS="%s"\r' % NUMBER.encode(), bench.rx("ttyUSB0"))

    def test_debug_trace_and_no_stamp(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            result = bench.run_tarnel(["USB0", NUMBER, "Hello there"], env={"VT-DEBUG": "", "VT-STAMP": ""})
            trace, brace, rest = result.out.partition("{")
            # The lines of a port's worker name the port.
            self.assertEqual(trace.split("\n"), ["to send pdu start"] + ["ttyUSB0: " + line for line in [
                "to send pdu for com:/dev/ttyUSB0",
                "to send pdu for phone type:8",
                "to send pdu for phone:" + NUMBER,
                "to send pdu phoneptr found to send pdu",
                "to send pdu with init phone",
                "to send pdu working...",
                "to send pdu phoneptr check err code",
                "to send pdu for phone handle result"]] + [""])
            doc = json.loads(brace + rest)
            self.assert_results(doc, [("ttyUSB0", NUMBER, 0, "Succeed")])
            self.assertEqual(decode(sent(bench, "ttyUSB0")[0])[1], "Hello there")

    def test_chinese_text_without_lang(self):
        message = "你好，世界"
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin"}
            proc = harness.subprocess.run([bench.binary, "USB0", "10086", message], cwd=bench.workdir, env=env,
                                          stdin=harness.subprocess.DEVNULL, capture_output=True, timeout=120)
            doc = document(harness.Result(proc.returncode, proc.stdout, proc.stderr))
            self.assert_results(doc, [("ttyUSB0", "10086", 0, "Succeed")])
            self.assertEqual(decode(sent(bench, "ttyUSB0")[0])[1], message)


AUTO_INI = "[comm]\ndef=1\ntime1=100\nfixedports=0\nencoding=auto\n"


@unittest.skipIf(gammu is None, "python3-gammu is not installed")
class AutoEncoding(unittest.TestCase):
    """encoding=auto: 7-bit where the whole text (stamp included) fits it."""

    def send(self, bench, message, port="USB0"):
        doc = document(bench.run_tarnel([port, NUMBER, message]))
        self.assertEqual([(e["code"], e["message"]) for e in doc["result"]], [(0, "Succeed")])
        return message + " " + doc["result"][0]["time"]

    def parts_of(self, bench, first):
        """(coding, reference, part, parts, text) of each PDU sent from record `first` on."""
        out = []
        for record in sent(bench, "ttyUSB0")[first:]:
            self.assertEqual(record["announced"], record["length"])
            message = decode_pdu(record["pdu"])
            self.assertEqual(message["Number"], NUMBER)
            udh = message["UDH"]
            out.append((message["Coding"], udh["ID8bit"], udh["PartNumber"], udh["AllParts"], message["Text"]))
        return out

    def test_texts_go_in_7_bit_where_they_fit(self):
        latin = "The quick brown fox jumps over the lazy dog; " * 22      # 990 characters
        boundary = "a" * 152 + "€" + "{braces} [and] ~tilde~ |pipe| ^caret^ \\ "
        with Bench([modem("/dev/ttyUSB0")], set_ini=AUTO_INI) as bench:
            # (message, parts, coding)
            for message, count, coding in ((latin, 7, "Default_No_Compression"),
                                           (boundary, 2, "Default_No_Compression"),
                                           ("Hello 你好, 7-bit is not enough", 1, "Unicode_No_Compression"),
                                           ("Short and plain", 1, "Default_No_Compression")):
                with self.subTest(message=message[:20]):
                    first = len(sent(bench, "ttyUSB0"))
                    expected = self.send(bench, message)
                    parts = self.parts_of(bench, first)
                    self.assertEqual(len(parts), count)
                    self.assertEqual({p[0] for p in parts}, {coding})
                    self.assertEqual("".join(p[4] for p in parts), expected)
                    if count > 1:
                        self.assertEqual(len({p[1] for p in parts}), 1, "one reference")
                        self.assertEqual([p[2:4] for p in parts], [(k, count) for k in range(1, count + 1)])
                    if message is boundary:
                        # The escape of the euro sign stays with its septet.
                        self.assertEqual(parts[0][4], "a" * 152)
                        self.assertTrue(parts[1][4].startswith("€{braces}"))

    def test_cdma_model_and_pdu_form_keep_ucs2(self):
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON")], set_ini=AUTO_INI) as bench:
            expected = self.send(bench, "Plain text")
            records = sent(bench, "ttyUSB0")
            self.assertEqual(records[0]["kind"], "cdma")
            self.assertEqual(records[0]["body"], (expected.encode("utf-16-be") + b"\x00").hex().upper())
            lines = bench.run_tarnel(["pdu", NUMBER, "Hello"]).out.split("\n")
            self.assertEqual(lines[0], "NORMAL:")
            self.assertEqual(decode_pdu(lines[2])["Coding"], "Unicode_No_Compression")


@unittest.skipIf(gammu is None, "python3-gammu is not installed")
class BadInput(unittest.TestCase):
    """Odd arguments: a clear error document or a correct send, never a cut message."""

    INI = "[comm]\ndef=1\ntime1=100\nfixedports=0\n"

    def test_long_message_is_sent_whole_or_refused_whole(self):
        message = "".join("%04d " % i for i in range(2000))  # 10 000 characters
        with Bench([modem("/dev/ttyUSB0")], set_ini=self.INI) as bench:
            doc = document(bench.run_tarnel(["USB0", NUMBER, message], timeout=300))
            self.assertEqual([(e["code"], e["message"]) for e in doc["result"]], [(0, "Succeed")])
            records = sent(bench, "ttyUSB0")
            parts = [decode(r) for r in records]
            self.assertEqual(len(parts), 150)  # 10 020 characters with the stamp, 67 a part
            self.assertEqual([p[2][1:] for p in parts], [(k, 150) for k in range(1, 151)])
            self.assertEqual("".join(p[1] for p in parts), message + " " + doc["result"][0]["time"])
            # Twice as long needs more than the 255 parts a header can count.
            doc = document(bench.run_tarnel(["USB0", NUMBER, message * 2]))
            self.assertEqual([(e["code"], e["message"]) for e in doc["result"]],
                             [(1, "Text too long: more than 255 parts")])
            self.assertEqual(len(sent(bench, "ttyUSB0")), 150)

    def test_a_thousand_numbers(self):
        numbers = ["1391234%04d" % i for i in range(1000)]
        with Bench([modem("/dev/ttyUSB0", sim=False)], set_ini=self.INI) as bench:
            doc = document(bench.run_tarnel(["USB0", ",".join(numbers), "Hello there"]))
            self.assertEqual([(e["number"], e["code"]) for e in doc["result"]], [(n, 4) for n in numbers])
            doc = document(bench.run_tarnel(["USB0", ",".join(numbers + ["1391234567x"]), "Hello there"]))
            self.assertEqual(doc, {"code": 2, "message": "phone number error", "result": []})
            self.assertEqual(cmgs_count(bench, "ttyUSB0"), 0)

    def test_odd_port_items_and_bytes(self):
        with Bench([modem("/dev/ttyUSB0")], set_ini=self.INI) as bench:
            port_error = {"code": 1, "message": "com port error", "result": []}
            # A path outside /dev is refused with the item named in "error".
            for ports, error in ((b"../../etc/passwd", "../../etc/passwd: a path must begin with /dev/"),
                                 (b"USB0/../USB0", "USB0/../USB0: a path must begin with /dev/"),
                                 (b"X" * 5000, None), (b"\xff\xfe", None), (b"USB0\xc3", None)):
                with self.subTest(ports=ports[:20]):
                    doc = document(bench.run_tarnel([ports, NUMBER.encode(), b"Hello there"]))
                    self.assertEqual(doc.pop("error", None), error)
                    self.assertEqual(doc, port_error)
            # Beside a port that was found, a path-like item is refused too:
            # nothing is sent, nothing is opened by its name.
            doc = document(bench.run_tarnel(["USB0,../USB1", NUMBER, "Hello there"]))
            self.assertEqual(doc, dict(port_error, error="../USB1: a path must begin with /dev/"))
            self.assertFalse(os.path.lexists("/dev/tty../USB1"))
            doc = document(bench.run_tarnel([b"USB0", b"1391234567\xff", b"Hello there"]))
            self.assertEqual(doc, {"code": 2, "message": "phone number error", "result": []})
            self.assertEqual(len(sent(bench, "ttyUSB0")), 0)


class PduForm(unittest.TestCase):
    def test_pdu_form_opens_no_port(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            for variant in ("en", "zh"):
                result = bench.run_tarnel(["pdu", NUMBER, "Hello"], binary=harness.tarnel_binary(variant),
                                          env={"VT-MC323": "1"})
                lines = result.out.split("\n")
                self.assertEqual(lines[0], "MC323:", result)
                self.assertEqual(lines[1], 'AT^HCMGS="%s"\r' % NUMBER)
                self.assertEqual(lines[2:4], ["<HEX>", "00480065006C006C006F00"])
                self.assertEqual(lines[4], "NORMAL:")
                self.assertTrue(lines[5].startswith("AT+CMGS="), result)
                if gammu is not None:
                    message = gammu.DecodePDU(bytes.fromhex(lines[6]), SMSC=True)
                    self.assertEqual((message["Number"], message["Text"]), (NUMBER, "Hello"))
            self.assertEqual(bench.rx("ttyUSB0"), b"")


if __name__ == "__main__":
    harness.main()
