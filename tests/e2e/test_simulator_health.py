"""SIM state, registration, operator, radio and character set of the simulated
modems, as 3GPP TS 27.007 gives the answers."""

import unittest

import harness
from harness import Bench, wait_for


def modem(n, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F"}, **extra)


def ready(bench, n):
    port = bench.open_port("/dev/ttyUSB%d" % n)
    port.chat(b"ATE0\r")
    return port


def info(*lines):
    return b"\r\n" + b"\r\n".join(lines) + b"\r\n\r\nOK\r\n"


def send_text(port, text=b"hello"):
    """A message in text mode; the answer to its body."""
    port.chat(b"AT+CMGF=1\r")
    assert port.chat(b'AT+CMGS="13800000000"\r') == b"\r\n> "
    return port.chat(text + b"\x1a")


class SimulatorSimState(unittest.TestCase):
    def test_each_sim_state_answers_every_sim_command_its_way(self):
        iccid = b'\r\n+CCID: "89860012345678901234"\r\n\r\nOK\r\n'
        # configuration, +CPIN?, +CCID, +CIMI, +CPMS?, +CREG?
        rows = [({}, info(b"+CPIN: READY"), iccid, info(b"460001234567890"), b"+CPMS:", info(b"+CREG: 0,1")),
                ({"cpin": "SIM PIN"}, info(b"+CPIN: SIM PIN"), iccid, b"\r\n+CME ERROR: 11\r\n",
                 b"\r\n+CMS ERROR: 311\r\n", info(b"+CREG: 0,0")),
                ({"cpin": "SIM PUK"}, info(b"+CPIN: SIM PUK"), iccid, b"\r\n+CME ERROR: 12\r\n",
                 b"\r\n+CMS ERROR: 316\r\n", info(b"+CREG: 0,0")),
                ({"cpin": "PH-NET PIN"}, info(b"+CPIN: PH-NET PIN"), iccid, b"\r\n+CME ERROR: 40\r\n",
                 b"\r\n+CMS ERROR: 312\r\n", info(b"+CREG: 0,0")),
                ({"cpin": "SIM PIN2"}, info(b"+CPIN: SIM PIN2"), iccid, info(b"460001234567890"), b"+CPMS:",
                 info(b"+CREG: 0,1")),
                ({"cpin": "NOT READY"}, info(b"+CPIN: NOT READY"), b"\r\n+CME ERROR: 10\r\n",
                 b"\r\n+CME ERROR: 10\r\n", b"\r\n+CMS ERROR: 310\r\n", info(b"+CREG: 0,0")),
                ({"cpin": 13}, b"\r\n+CME ERROR: 13\r\n", b"\r\n+CME ERROR: 13\r\n", b"\r\n+CME ERROR: 13\r\n",
                 b"\r\n+CMS ERROR: 313\r\n", info(b"+CREG: 0,0")),
                ({"sim": False}, b"\r\n+CME ERROR: 10\r\n", b"\r\n+CME ERROR: 10\r\n", b"\r\n+CME ERROR: 10\r\n",
                 b"\r\n+CMS ERROR: 310\r\n", info(b"+CREG: 0,0"))]
        with Bench([modem(n, **row[0]) for n, row in enumerate(rows)]) as bench:
            for n, (cfg, *expected) in enumerate(rows):
                port = ready(bench, n)
                answers = [port.chat(c) for c in (b"AT+CPIN?\r", b"AT+CCID\r", b"AT+CIMI\r", b"AT+CPMS?\r",
                                                   b"AT+CREG?\r")]
                answers[3] = b"+CPMS:" if answers[3].startswith(b"\r\n+CPMS:") else answers[3]
                self.assertEqual(answers, expected, cfg)

    def test_errors_in_words_after_cmee_2(self):
        rows = [({"sim": False}, b"SIM not inserted"), ({"cpin": "SIM PUK"}, b"SIM PUK required"),
                ({"sim_busy_s": 600}, b"SIM busy"), ({"cpin": 13}, b"SIM failure")]
        with Bench([modem(n, **cfg) for n, (cfg, _) in enumerate(rows)]) as bench:
            for n, (cfg, words) in enumerate(rows):
                port = ready(bench, n)
                self.assertEqual(port.chat(b"AT+CMEE=2\r"), b"\r\nOK\r\n")
                self.assertEqual(port.chat(b"AT+CIMI\r"), b"\r\n+CME ERROR: " + words + b"\r\n", cfg)

    def test_sim_busy_for_the_first_seconds_then_ready(self):
        with Bench([modem(0, sim_busy_s=1.5)]) as bench:
            port = ready(bench, 0)
            self.assertEqual(port.chat(b"AT+CPIN?\r"), b"\r\n+CME ERROR: 14\r\n")
            self.assertEqual(port.chat(b"AT+CCID\r"), b"\r\n+CME ERROR: 14\r\n")
            self.assertEqual(port.chat(b"AT+CPMS?\r"), b"\r\n+CMS ERROR: 314\r\n")
            self.assertEqual(port.chat(b"AT+CREG?\r"), info(b"+CREG: 0,0"))
            wait_for(lambda: port.chat(b"AT+CPIN?\r") == info(b"+CPIN: READY"), 10, "the SIM to be ready")
            self.assertEqual(port.chat(b"AT+CCID\r"), b'\r\n+CCID: "89860012345678901234"\r\n\r\nOK\r\n')
            self.assertEqual(port.chat(b"AT+CREG?\r"), info(b"+CREG: 0,1"))


class SimulatorRegistration(unittest.TestCase):
    def test_solicited_forms_of_each_domain(self):
        # configuration, then for CREG, CGREG, CEREG: the answer at <n>=0 and at <n>=2
        rows = [({}, [b"+CREG: 0,1", b"+CREG: 2,1,\"1A2B\",\"0A1B2C3\",7", b"+CGREG: 0,1",
                      b"+CGREG: 2,1,\"1A2B\",\"0A1B2C3\",7", None, None]),
                ({"creg": 3, "cgreg": 3, "cereg": 1, "lac": "00C1", "ci": "1F", "act": None},
                 [b"+CREG: 0,3", b"+CREG: 2,3", b"+CGREG: 0,3", b"+CGREG: 2,3", b"+CEREG: 0,1",
                  b"+CEREG: 2,1,\"00C1\",\"1F\""]),
                ({"creg": 5, "cgreg": "error", "cereg": "error", "act": 2},
                 [b"+CREG: 0,5", b"+CREG: 2,5,\"1A2B\",\"0A1B2C3\",2", None, None, None, None]),
                ({"cfun": 4, "cereg": 1}, [b"+CREG: 0,0", b"+CREG: 2,0", b"+CGREG: 0,0", b"+CGREG: 2,0",
                                           b"+CEREG: 0,0", b"+CEREG: 2,0"])]
        with Bench([modem(n, **cfg) for n, (cfg, _) in enumerate(rows)]) as bench:
            for n, (cfg, expected) in enumerate(rows):
                port = ready(bench, n)
                answers = []
                for domain in (b"CREG", b"CGREG", b"CEREG"):
                    answers.append(port.chat(b"AT+%s?\r" % domain))
                    set_mode = port.chat(b"AT+%s=2\r" % domain)
                    answers.append(port.chat(b"AT+%s?\r" % domain))
                    self.assertEqual(set_mode, b"\r\nOK\r\n" if answers[-1] != b"\r\nERROR\r\n" else b"\r\nERROR\r\n")
                self.assertEqual(answers, [b"\r\nERROR\r\n" if line is None else info(line) for line in expected], cfg)
            self.assertEqual(ready(bench, 3).chat(b"AT+CFUN?\r"), info(b"+CFUN: 4"))

    def test_unsolicited_lines_around_the_solicited_one(self):
        with Bench([modem(0, registration_urc=True, cereg=2)]) as bench:
            port = ready(bench, 0)
            urc = b'\r\n+CREG: 1,"1A2B","0A1B2C3",7\r\n'
            self.assertEqual(port.chat(b"AT+CREG?\r"), urc + b"\r\n+CREG: 0,1\r\n" + urc + b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CEREG?\r"),
                             b"\r\n+CEREG: 2\r\n\r\n+CEREG: 0,2\r\n\r\n+CEREG: 2\r\n\r\nOK\r\n")

    def test_searching_then_home_and_sends_refused_meanwhile(self):
        with Bench([modem(0, searching_s=1.5, cereg=1)]) as bench:
            port = ready(bench, 0)
            self.assertEqual([port.chat(b"AT+%s?\r" % d) for d in (b"CREG", b"CEREG")],
                             [info(b"+CREG: 0,2"), info(b"+CEREG: 0,2")])
            self.assertEqual(port.chat(b"AT+COPS?\r"), info(b"+COPS: 0"))
            self.assertEqual(send_text(port), b"\r\n+CMS ERROR: 331\r\n")
            wait_for(lambda: port.chat(b"AT+CREG?\r") == info(b"+CREG: 0,1"), 10, "registration")
            self.assertEqual(port.chat(b"AT+CEREG?\r"), info(b"+CEREG: 0,1"))
            self.assertEqual(send_text(port), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
            self.assertEqual([s["outcome"] for s in bench.state("ttyUSB0")["sent"]], ["not-registered", "ok"])

    def test_registered_in_any_domain_sends(self):
        rows = [({"creg": 3, "cereg": 1}, b"\r\n+CMGS: 1\r\n\r\nOK\r\n"),     # LTE only
                ({"creg": 6, "cgreg": 0}, b"\r\n+CMGS: 1\r\n\r\nOK\r\n"),     # SMS only
                ({"creg": 3, "cgreg": 3}, b"\r\n+CMS ERROR: 331\r\n"),
                ({"creg": 0, "cgreg": 2, "cereg": 4}, b"\r\n+CMS ERROR: 331\r\n")]
        with Bench([modem(n, **cfg) for n, (cfg, _) in enumerate(rows)]) as bench:
            for n, (cfg, answer) in enumerate(rows):
                self.assertEqual(send_text(ready(bench, n)), answer, cfg)


class SimulatorOperator(unittest.TestCase):
    def test_operator_in_the_format_asked_and_the_character_set(self):
        names = {"long": "Test Network", "short": "TestNet", "numeric": "00101"}
        rows = [({}, [b"AT+COPS?"], b'+COPS: 0,0,"Test Network",7'),
                ({}, [b"AT+COPS=3,1", b"AT+COPS?"], b'+COPS: 0,1,"TestNet",7'),
                ({"act": 2}, [b"AT+COPS=3,2", b"AT+COPS?"], b'+COPS: 0,2,"00101",2'),
                ({"operator": {"numeric": "46000"}}, [b"AT+COPS=3,0", b"AT+COPS?"], b'+COPS: 0,2,"46000",7'),
                ({"operator": dict(names, long='A "B", C'), "act": None}, [b"AT+COPS?"], b'+COPS: 0,0,"A "B", C"'),
                ({}, [b'AT+CSCS="UCS2"', b"AT+COPS?"],
                 b'+COPS: 0,0,"00540065007300740020004E006500740077006F0072006B",7'),
                ({}, [b'AT+CSCS="UCS2"', b"AT+COPS=3,2", b"AT+COPS?"], b'+COPS: 0,2,"00101",7'),
                ({"creg": 2, "cgreg": 2}, [b"AT+COPS?"], b"+COPS: 0")]
        with Bench([modem(n, **cfg) for n, (cfg, _, _) in enumerate(rows)]) as bench:
            for n, (cfg, commands, answer) in enumerate(rows):
                port = ready(bench, n)
                for command in commands[:-1]:
                    self.assertEqual(port.chat(command + b"\r"), b"\r\nOK\r\n", command)
                self.assertEqual(port.chat(commands[-1] + b"\r"), info(answer), (cfg, commands))


class SimulatorCharacterSet(unittest.TestCase):
    def test_character_set_is_read_set_and_kept_per_port(self):
        with Bench([modem(0, cscs="IRA")]) as bench:
            port = ready(bench, 0)
            self.assertEqual(port.chat(b"AT+CSCS?\r"), info(b'+CSCS: "IRA"'))
            self.assertEqual(port.chat(b"AT+CSCS=?\r"), info(b'+CSCS: ("GSM","IRA","UCS2","8859-1")'))
            self.assertEqual(port.chat(b'AT+CSCS="ucs2"\r'), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b'AT+CSCS="KOI8"\r'), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CSCS?\r"), info(b'+CSCS: "UCS2"'))
            self.assertEqual(bench.state("ttyUSB0")["cscs"], "UCS2")

    def test_bad_health_configurations_are_refused(self):
        rows = [({"cpin": "LOCKED"}, "cpin 'LOCKED'"), ({"creg": "home"}, "creg 'home'"),
                ({"cereg": 12}, "cereg 12"), ({"operator": {"name": "X"}}, "operator is an object"),
                ({"cscs": "UTF-8"}, "cscs 'UTF-8'")]
        for cfg, message in rows:
            with self.subTest(cfg=cfg):
                result = harness.run_simulator([modem(0, **cfg)])
                self.assertEqual(result.returncode, 2, result)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    harness.main()
