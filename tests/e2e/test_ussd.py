"""tarnel ussd: one code on every modem at once, each reply decoded by its DCS and the character
set in force, menus and timed-out requests closed with AT+CUSD=2, bad codes refused untouched."""

import json
import signal
import time
import unittest

import harness
from harness import Bench

INI = "[comm]\ndef=1\ntime1=100\nfixedports=0\n"


def modem(n, replies, **extra):
    ussd = dict(extra.pop("ussd", {}), replies=replies)
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "ussd": ussd}, **extra)


def document(result):
    if result.rc != 0 or result.err:
        raise AssertionError("exit status 0 and nothing on standard error expected: %r" % result)
    return json.loads(result.out)


def ussd_commands(bench, name):
    return [c[0] for c in bench.commands(name) if c[0].startswith("AT+CUSD")]


def result_of(m):
    return m["code"], m["message"], m["status"], m["text"], m["dcs"]


class WholeBank(unittest.TestCase):
    def test_sixteen_modems_with_mixed_encodings_at_once(self):
        # reply, modem extras, then the expected (status, text, dcs)
        rows = [({"text": "Balance 12.30"}, {}, (0, "Balance 12.30", 15)),
                ({"text": "@_\u20ac 5"}, {}, (0, "@_\u20ac 5", 15)),
                ({"text": "Ok \u00e9"}, {"cscs": "UCS2"}, (0, "Ok \u00e9", 15)),
                ({"text": "Ok \u00e9"}, {"cscs": "8859-1"}, (0, "Ok \u00e9", 15)),
                ({"text": "Ok"}, {"cscs": "IRA"}, (0, "Ok", 15)),
                ({"text": "\u4f59\u989d 5.00", "encoding": "ucs2"}, {}, (0, "\u4f59\u989d 5.00", 72)),
                ({"text": "hi", "encoding": "8bit"}, {}, (0, "6869", 68)),
                ({"text": "Hi", "language": "en"}, {}, (0, "Hi", 16)),
                ({"text": "Hi", "encoding": "ucs2", "language": "en"}, {}, (0, "Hi", 17)),
                ({"text": "1000", "dcs": 72}, {}, (0, "\u1000", 72)),
                ({"text": "late", "delay_ms": 1500}, {}, (0, "late", 15)),
                ({"text": "first", "delay_ms": 800, "before_ok": True}, {}, (0, "first", 15)),
                ({"text": "twice", "repeat": 2}, {}, (0, "twice", 15)),
                ({"text": 'Say "hi", ok'}, {}, (0, 'Say "hi", ok', 15)),
                ({"status": 2}, {}, (2, "", -1)),
                ({"text": "Bye", "status": 2}, {"cscs": "UCS2"}, (2, "Bye", 15))]
        modems = [modem(n, {"*100#": reply}, **extra) for n, (reply, extra, _) in enumerate(rows)]
        with Bench(modems, set_ini=INI) as bench:
            doc = document(bench.run_tarnel(["ussd", "*100#"]))
            self.assertEqual((doc["code"], doc["message"]), (0, "param is ok"))
            # One object per modem, in the order of the table (ls order: ttyUSB10 before ttyUSB2).
            self.assertEqual(sorted(m["name"] for m in doc["modems"]), sorted("ttyUSB%d" % n for n in range(len(rows))))
            by_name = {m["name"]: m for m in doc["modems"]}
            for n, (reply, extra, (status, text, dcs)) in enumerate(rows):
                name = "ttyUSB%d" % n
                self.assertEqual(result_of(by_name[name]), (0, "Succeed", status, text, dcs), (reply, extra))
                self.assertTrue(by_name[name]["imei"], n)
                # The code went out as typed, with the modem reading plain text in GSM...
                self.assertIn('AT+CUSD=1,"*100#",15', ussd_commands(bench, name), n)
                # ... and the character set came back as it was.
                self.assertEqual(bench.state(name)["cscs"], extra.get("cscs", "GSM"), n)
                self.assertNotIn("AT+CUSD=2", ussd_commands(bench, name), n)


class RequestForms(unittest.TestCase):
    def test_each_model_sends_the_code_in_the_form_its_modem_reads(self):
        # model, AT^USSDMODE of the modem (None: it has no such command), reply, character set, then
        # whether the model asks AT^USSDMODE?, the request as written, the expected (status, text, dcs)
        packed, plain = 'AT+CUSD=1,"AA180C3602",15', 'AT+CUSD=1,"*100#",15'
        rows = [("CPhone_TD_ME909", 1, {"text": "Balance 12.30"}, "UCS2", True, packed, (0, "Balance 12.30", 15)),
                ("CPhone_K2210_ME", 1, {"text": "@_\u20ac 5"}, "GSM", True, packed, (0, "@_\u20ac 5", 15)),
                ("CPhone_MH5000", 1, {"text": "\u4f59\u989d", "encoding": "ucs2"}, "IRA", True, packed,
                 (0, "\u4f59\u989d", 72)),
                ("CPhone_TD_MH5000", 1, {"text": "Hi", "language": "en"}, "GSM", True, packed, (0, "Hi", 16)),
                ("CPhone_TD_ME901", 0, {"text": "Ok \u00e9"}, "UCS2", True, plain, (0, "Ok \u00e9", 15)),
                ("CPhone_MG301_ON_KW40010", None, {"text": "Balance"}, "IRA", True, plain, (0, "Balance", 15)),
                # Only the models of Huawei firmware ask.
                ("CPhone_EC20F", None, {"text": "Balance"}, "UCS2", False, plain, (0, "Balance", 15)),
                ("CPhone_INCORPORATED_A7600C1_SE", None, {"text": "Balance"}, "UCS2", False, plain,
                 (0, "Balance", 15))]
        modems = []
        for n, (model, mode, reply, cscs, _, _, _) in enumerate(rows):
            ussd = {"replies": {"*100#": reply}}
            if mode is not None:
                ussd["ussdmode"] = mode
            modems.append({"path": "/dev/ttyUSB%d" % n, "model": model, "cscs": cscs, "ussd": ussd})
        with Bench(modems, set_ini=INI) as bench:
            doc = document(bench.run_tarnel(["ussd", "*100#"]))
            by_name = {m["name"]: m for m in doc["modems"]}
            for n, (model, mode, reply, cscs, asks, request, (status, text, dcs)) in enumerate(rows):
                name = "ttyUSB%d" % n
                commands = [c[0] for c in bench.commands(name)]
                self.assertEqual(result_of(by_name[name]), (0, "Succeed", status, text, dcs), model)
                self.assertEqual("AT^USSDMODE?" in commands, asks, model)
                # The setting is read, never changed.
                self.assertFalse([c for c in commands if c.startswith("AT^USSDMODE=")], model)
                self.assertEqual(ussd_commands(bench, name), [request], model)
                # Packed, the code needs no character set; as typed, it goes in GSM.
                sets = [c for c in commands if c.startswith("AT+CSCS=")]
                self.assertEqual(sets, [] if request == packed or cscs == "GSM" else ['AT+CSCS="GSM"', 'AT+CSCS="%s"' % cscs],
                                 model)
                self.assertEqual(bench.state(name)["cscs"], cscs, model)


class Sessions(unittest.TestCase):
    MENU = {"*101#": {"text": "1. Balance\r\n2. Data", "status": 1}}

    def test_a_menu_is_reported_and_closed_so_the_port_sends_next(self):
        with Bench([modem(0, self.MENU)], set_ini=INI) as bench:
            doc = document(bench.run_tarnel(["sussd", "*101#", "USB0"]))
            self.assertEqual(result_of(doc["modems"][0]), (0, "Succeed", 1, "1. Balance\r\n2. Data", 15))
            self.assertEqual(ussd_commands(bench, "ttyUSB0"), ['AT+CUSD=1,"*101#",15', "AT+CUSD=2"])
            self.assertEqual(bench.events("ttyUSB0", "ussd-cancel")[-1]["was_open"], True)
            sent = document(bench.run_tarnel(["USB0", "13912345678", "after the menu"]))
            self.assertEqual([(r["com"], r["code"]) for r in sent["result"]], [("ttyUSB0", 0)])

    def test_a_modem_that_never_replies_times_out_and_is_closed(self):
        # The second modem holds its OK until the network answers, which is too late: silent all along.
        modems = [modem(0, {"*100#": None}), modem(1, {"*100#": {"text": "slow", "delay_ms": 4000, "before_ok": True}}),
                  modem(2, {"*100#": {"text": "Balance"}}), modem(3, {"*100#": {"line": '+CUSD: 0,"cut short'}})]
        with Bench(modems, set_ini=INI + "ussdwait=2\n") as bench:
            started = time.monotonic()
            doc = document(bench.run_tarnel(["ussd", "*100#"]))
            elapsed = time.monotonic() - started
            self.assertEqual(result_of(doc["modems"][0]), (1, "USSD timed out", -1, "", -1))
            self.assertEqual(result_of(doc["modems"][1]), (1, "USSD timed out", -1, "", -1))
            self.assertEqual(result_of(doc["modems"][2]), (0, "Succeed", 0, "Balance", 15))
            self.assertEqual(result_of(doc["modems"][3]), (1, "USSD reply incomplete", -1, "", -1))
            for n in (0, 1, 3):
                self.assertEqual(ussd_commands(bench, "ttyUSB%d" % n), ['AT+CUSD=1,"*100#",15', "AT+CUSD=2"], n)
            self.assertGreaterEqual(elapsed, 2)
            self.assertLess(elapsed, 10)

    def test_the_reply_comes_to_the_primary_port_of_a_modem_with_two(self):
        modems = [{"model": "CPhone_EC20F", "ttys": [{"path": "/dev/ttyUSB0", "role": "at"},
                                                     {"path": "/dev/ttyUSB1", "role": "at2"}],
                   "ussd": {"replies": {"*100#": {"text": "Balance"}}, "reply_on": "primary"}}]
        with Bench(modems, set_ini=INI) as bench:
            doc = document(bench.run_tarnel(["sussd", "*100#"]))
            self.assertEqual([result_of(m) for m in doc["modems"]], [(0, "Succeed", 0, "Balance", 15)])

    def test_a_request_through_a_second_at_port_hears_the_reply_on_the_primary(self):
        # Without sysfs the two ttys of each modem are one modem by IMEI and SIM, talked to through
        # the lower-numbered: here the modem's second AT port, while its replies go to its primary.
        # reply, modem extras, expected (status, text, dcs), the USSD commands on the second port
        rows = [({"text": "Balance 12.30"}, {}, (0, "Balance 12.30", 15), ['AT+CUSD=1,"*100#",15']),
                # The reply is in the primary's own character set, not the one set for the request.
                ({"text": "Ok \u00e9"}, {"cscs": "UCS2"}, (0, "Ok \u00e9", 15), ['AT+CUSD=1,"*100#",15']),
                ({"text": "1. Balance", "status": 1}, {}, (1, "1. Balance", 15),
                 ['AT+CUSD=1,"*100#",15', "AT+CUSD=2"]),
                # The OK of the request comes after the reply elsewhere: it is not taken for another answer.
                ({"text": "late", "delay_ms": 300, "before_ok": True}, {"cscs": "IRA"}, (0, "late", 15),
                 ['AT+CUSD=1,"*100#",15'])]
        modems = [dict({"model": "CPhone_EC20F", "imei": "86000000000001%d" % n, "iccid": "8986000000000000001%d" % n,
                        "ttys": [{"path": "/dev/ttyUSB%d" % (2 * n), "role": "at2"},
                                 {"path": "/dev/ttyUSB%d" % (2 * n + 1), "role": "at"}],
                        "ussd": {"replies": {"*100#": reply}, "reply_on": "primary"}}, **extra)
                  for n, (reply, extra, _, _) in enumerate(rows)]
        with Bench(modems, set_ini=INI) as bench:
            doc = document(bench.run_tarnel(["ussd", "*100#"]))
            self.assertEqual(sorted(m["name"] for m in doc["modems"]), ["ttyUSB%d" % (2 * n) for n in range(len(rows))])
            by_name = {m["name"]: m for m in doc["modems"]}
            for n, (reply, extra, (status, text, dcs), sent) in enumerate(rows):
                second, primary = "ttyUSB%d" % (2 * n), "ttyUSB%d" % (2 * n + 1)
                self.assertEqual(result_of(by_name[second]), (0, "Succeed", status, text, dcs), reply)
                self.assertEqual(ussd_commands(bench, second), sent, reply)
                self.assertEqual(ussd_commands(bench, primary), [], reply)
                self.assertEqual(bench.events(second, "ussd")[-1]["code"], "*100#", reply)
                for tty in (second, primary):
                    self.assertEqual(bench.state(tty)["cscs"], extra.get("cscs", "GSM"), (reply, tty))

    def test_a_stop_signal_ends_the_wait_at_once(self):
        with Bench([modem(0, {"*100#": None})], set_ini=INI) as bench:
            child = bench.spawn_tarnel(["sussd", "*100#"])
            bench.wait_event("ttyUSB0", lambda e: e.get("outcome") == "no-reply", timeout=20, kind="ussd")
            started = time.monotonic()
            child.kill(signal.SIGTERM)
            child.expect(harness_eof())
            child.close()
            self.assertLess(time.monotonic() - started, 5)
            self.assertEqual(child.exitstatus if child.exitstatus is not None else 128 + child.signalstatus,
                             128 + signal.SIGTERM)


def harness_eof():
    import pexpect
    return pexpect.EOF


class Refusals(unittest.TestCase):
    def test_codes_and_arguments_refused_before_any_port_is_touched(self):
        rows = [(["ussd"], 3, "param count error"),
                (["ussd", "*100#", "USB0", "more"], 3, "param count error"),
                (["ussd", "*100#;AT+CFUN=0"], 3, "ussd code error"),
                (["ussd", "*100#\r"], 3, "ussd code error"),
                (["ussd", "\u0661\u0660\u0660"], 3, "ussd code error"),
                (["ussd", "1" * 183], 3, "ussd code error"),
                (["ussd", ""], 3, "param count error")]
        with Bench([modem(0, {"*100#": {"text": "Balance"}})], set_ini=INI) as bench:
            for args, code, message in rows:
                doc = document(bench.run_tarnel(args))
                self.assertEqual((doc["code"], doc["message"], doc["modems"]), (code, message, []), args)
                self.assertIn("error", doc, args)
            self.assertEqual(bench.commands("ttyUSB0"), [])
            longest = document(bench.run_tarnel(["sussd", "1" * 182]))
            self.assertEqual(longest["modems"][0]["status"], 4)  # sent: the network knows no such code

    def test_each_modem_says_why_it_could_not_ask(self):
        # modem extras, expected code, message and status, whether AT+CUSD went out
        rows = [({"cpin": "SIM PIN"}, 8, "SIM locked: SIM PIN", -1, False),
                ({"creg": 3, "cgreg": 3}, 10, "Registration denied", -1, False),
                ({"creg": 2, "cgreg": 2}, 9, "Not registered: searching", -1, False),
                # LTE-only data attach: +CREG says not registered; USSD needs the CS domain.
                ({"creg": 0, "cereg": 1}, 9, "Not registered: not registered", -1, False),
                ({"model": "CPhone_MC323_ON", "baud": 115200}, 1, "USSD not supported", 4, False),
                ({"ussd": {"request": "gsm7"}}, 1, "ERROR", -1, True),
                ({}, 0, "Succeed", 4, True)]
        with Bench([modem(n, {}, **row[0]) for n, row in enumerate(rows)], set_ini=INI) as bench:
            ports = ",".join("USB%d" % n for n in range(len(rows)))
            doc = document(bench.run_tarnel(["ussd", "*123#", ports]))
            for n, (extra, code, message, status, sent) in enumerate(rows):
                m = doc["modems"][n]
                self.assertEqual((m["code"], m["message"], m["status"]), (code, message, status), extra)
                self.assertEqual(bool(ussd_commands(bench, "ttyUSB%d" % n)), sent, extra)


if __name__ == "__main__":
    harness.main()
