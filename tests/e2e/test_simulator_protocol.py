"""The modem simulator's AT dialogue, driven over its ports by a raw serial client."""

import os
import unittest

import harness
from harness import Bench

ATI_DIR = os.path.join(harness.FIXTURES, "ati")
MODELS = sorted(f[:-4] for f in os.listdir(ATI_DIR) if f.endswith(".txt"))

# Which command reads the SIM number on which model; the other form must fail.
CARET_ICCID = {"CPhone_K2210_ME", "CPhone_MH5000", "CPhone_TD_ME909", "CPhone_TD_MH5000"}


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


class SimulatorEcho(unittest.TestCase):
    def test_echo_until_ate0_and_back_with_ate1(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT\r"), b"AT\r\r\nOK\r\n")
            # The echo of ATE0 itself still comes; nothing after it.
            self.assertEqual(port.chat(b"ATE0\r"), b"ATE0\r\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\n+CSQ: 23,99\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"ATE1\r"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT\r"), b"AT\r\r\nOK\r\n")

    def test_commands_in_any_case_with_crlf_and_blanks(self):
        with Bench([modem("/dev/ttyUSB0", csq="17,99")]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.chat(b"ATE0\r\n")
            self.assertEqual(port.chat(b"at+csq\r\n"), b"\r\n+CSQ: 17,99\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"at + csq\r"), b"\r\n+CSQ: 17,99\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+NOSUCH\r"), b"\r\nERROR\r\n")


class SimulatorIdentity(unittest.TestCase):
    def test_every_model_answers_ati_with_its_fixture(self):
        # The ATI fixtures name exactly the registered models (a model unit
        # test checks); the simulator knows the firmware of each and no other.
        self.assertEqual(MODELS, sorted(harness.load_modemsim().MODELS))
        paths = ["/dev/ttyUSB%d" % i for i in range(len(MODELS))]
        with Bench([modem(p, m) for p, m in zip(paths, MODELS)]) as bench:
            for path, model in zip(paths, MODELS):
                with open(os.path.join(ATI_DIR, model + ".txt"), "rb") as f:
                    sample = f.read()
                port = bench.open_port(path, 115200)
                port.chat(b"ATE0\r")
                self.assertEqual(port.chat(b"ATI\r\n"), sample, model)

    def test_sim_number_forms_per_model(self):
        rows = [(m, "+CCID" if m not in CARET_ICCID else "^ICCID") for m in MODELS]
        paths = ["/dev/ttyUSB%d" % i for i in range(len(rows))]
        with Bench([modem(p, m, iccid="89860099999999999999") for p, (m, _) in zip(paths, rows)]) as bench:
            for path, (model, form) in zip(paths, rows):
                port = bench.open_port(path)
                port.chat(b"ATE0\r")
                plus = port.chat(b"AT+CCID\r")
                caret = port.chat(b"AT^ICCID?\r\n")
                if form == "+CCID":
                    self.assertEqual(plus, b'\r\n+CCID: "89860099999999999999"\r\n\r\nOK\r\n', model)
                    self.assertEqual(caret, b"\r\nERROR\r\n", model)
                else:
                    self.assertEqual(caret, b"\r\n^ICCID: 89860099999999999999\r\n\r\nOK\r\n", model)
                    self.assertEqual(plus, b"\r\nERROR\r\n", model)

    def test_imei_defaults_to_the_ati_sample_and_can_be_set(self):
        # Modem n of the configuration reports its ATI sample's IMEI n up: every
        # modem of a bank its own, as a program that groups ttys by IMEI expects.
        rows = [(modem("/dev/ttyUSB0"), b"\r\n861234567890123\r\n\r\nOK\r\n"),
                (modem("/dev/ttyUSB1", imei="351234567890125"), b"\r\n351234567890125\r\n\r\nOK\r\n"),
                (modem("/dev/ttyUSB2", "CPhone_K2210_NC5"), b'\r\n+CGSN: "868033041234566"\r\n\r\nOK\r\n'),
                (modem("/dev/ttyUSB3"), b"\r\n861234567890126\r\n\r\nOK\r\n")]
        with Bench([m for m, _ in rows]) as bench:
            for m, expected in rows:
                port = bench.open_port(m["path"])
                port.chat(b"ATE0\r")
                self.assertEqual(port.chat(b"AT+CGSN\r"), expected, m)

    def test_sim_absent_error_follows_cmee(self):
        with Bench([modem("/dev/ttyUSB0", sim=False), modem("/dev/ttyUSB1", "CPhone_K2210_ME", sim=False)]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.chat(b"ATE0\r")
            self.assertEqual(port.chat(b"AT+CCID\r"), b"\r\n+CME ERROR: 10\r\n")
            self.assertEqual(port.chat(b"AT+CPMS=\"SM\"\r\n"), b"\r\n+CMS ERROR: 310\r\n")
            self.assertEqual(port.chat(b"AT+CSCA?\r"), b"\r\n+CMS ERROR: 310\r\n")
            self.assertEqual(port.chat(b"AT+CMEE=2\r"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CCID\r"), b"\r\n+CME ERROR: SIM not inserted\r\n")
            self.assertEqual(port.chat(b"AT+CMEE=0\r"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CCID\r"), b"\r\nERROR\r\n")
            huawei = bench.open_port("/dev/ttyUSB1")
            huawei.chat(b"ATE0\r")
            self.assertEqual(huawei.chat(b"AT^ICCID?\r\n"), b"\r\n+CME ERROR: 10\r\n")

    def test_service_centre_and_vendor_commands(self):
        with Bench([modem("/dev/ttyUSB0", smsc="+8613800000500"),
                    modem("/dev/ttyUSB1", "CPhone_K2210_NC5", smsc=""),
                    modem("/dev/ttyUSB2", "CPhone_TD_ME909")]) as bench:
            quectel, yuga, td = (bench.open_port("/dev/ttyUSB%d" % i) for i in range(3))
            for port in (quectel, yuga, td):
                port.chat(b"ATE0\r")
            self.assertEqual(quectel.chat(b"AT+CSCA?\r"), b'\r\n+CSCA: "+8613800000500",145\r\n\r\nOK\r\n')
            self.assertEqual(yuga.chat(b"AT+CSCA?\r"), b'\r\n+CSCA: "",129\r\n\r\nOK\r\n')
            self.assertEqual(yuga.chat(b"AT+ATVER=1\r"), b"\r\nOK\r\n")
            self.assertEqual(quectel.chat(b"AT+ATVER=1\r"), b"\r\nERROR\r\n")
            self.assertEqual(td.chat(b"AT^CURC=0\r\n"), b"\r\nOK\r\n")
            self.assertEqual(quectel.chat(b"AT^CURC=0\r\n"), b"\r\nERROR\r\n")
            for command in (b"AT+CMEE=1\r", b'AT+CPMS="SM","SM","SM"\r\n', b"AT+CLIP=1\r\n",
                            b"AT+CNMI=1,1,0,1,0\r\n", b"AT+CREG=0\r\n", b"at+cmgf=0\r"):
                self.assertTrue(td.chat(command).endswith(b"\r\nOK\r\n"), command)

    def test_configured_answers_replace_the_builtin_ones_in_turn(self):
        answers = {"AT+CSQ": ["\r\n+CSQ: 5,99\r\n\r\nOK\r\n", "\r\nERROR\r\n"], "at+cgsn": None}
        with Bench([modem("/dev/ttyUSB0", answers=answers)]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.chat(b"ATE0\r")
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\n+CSQ: 5,99\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CSQ\r"), b"\r\nERROR\r\n")
            port.write(b"AT+CGSN\r")
            bench.wait_event("ttyUSB0", lambda e: e.get("cmd") == "AT+CGSN", kind="command")
            self.assertEqual(port.pending(), b"")


class SimulatorSpeeds(unittest.TestCase):
    def test_answers_only_at_its_speeds(self):
        with Bench([modem("/dev/ttyUSB0", speeds=[115200])]) as bench:
            port = bench.open_port("/dev/ttyUSB0", 9600)
            port.write(b"ATE0\r\nAT\r\n")
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT", kind="command")
            self.assertEqual(port.pending(), b"")
            port.set_speed(115200)
            self.assertEqual(port.chat(b"ATE0\r"), b"ATE0\r\r\nOK\r\n")
            self.assertEqual(bench.commands("ttyUSB0"),
                             [("ATE0", 9600, "wrong-speed"), ("AT", 9600, "wrong-speed"),
                              ("ATE0", 115200, "answered")])

    def test_wrong_speed_can_answer_garbage(self):
        with Bench([modem("/dev/ttyUSB0", speeds=[9600], wrong_speed="garbage")]) as bench:
            port = bench.open_port("/dev/ttyUSB0", 115200)
            port.write(b"AT\r")
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT", kind="command")
            junk = port.pending()
            self.assertGreaterEqual(len(junk), 8)
            self.assertNotIn(b"OK", junk)

    def test_speed_is_read_again_after_the_client_reopens(self):
        with Bench([modem("/dev/ttyUSB0", speeds=[9600])]) as bench:
            fast = bench.open_port("/dev/ttyUSB0", 115200)
            fast.write(b"AT\r")
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT", kind="command")
            fast.close()
            slow = bench.open_port("/dev/ttyUSB0", 9600)
            self.assertEqual(slow.chat(b"AT\r"), b"AT\r\r\nOK\r\n")


class SimulatorRxLog(unittest.TestCase):
    def test_rx_log_holds_exactly_the_bytes_written(self):
        sent = [b"ATE0\r\n", b"AT\r", b"\x00\xff\x1a garbage \n", b"ATI\r\n", b"AT+CMGS=3\r", b"00\x1a"]
        with Bench([modem("/dev/ttyUSB0"), modem("/dev/ttyUSB1")]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            for chunk in sent:
                port.write(chunk)
            bench.wait_event("ttyUSB0", kind="sms")
            self.assertEqual(bench.rx("ttyUSB0"), b"".join(sent))
            self.assertEqual(bench.rx("ttyUSB1"), b"")


if __name__ == "__main__":
    harness.main()
