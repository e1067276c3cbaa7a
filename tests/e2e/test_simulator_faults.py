"""Faults on demand: silence, garbage, slow, chunked and paced answers, unsolicited
lines, hang-up."""

import os
import time
import unittest

import harness
from harness import Bench


def modem(path, faults, **extra):
    return dict({"path": path, "model": "CPhone_EC20F", "faults": faults}, **extra)


class SimulatorFaults(unittest.TestCase):
    def test_silent_modem_records_but_never_answers(self):
        with Bench([modem("/dev/ttyUSB0", {"silent": True})]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.write(b"ATE0\r\nAT\r\nATI\r\n")
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "ATI", kind="command")
            self.assertEqual(port.pending(), b"")
            self.assertEqual([c[2] for c in bench.commands("ttyUSB0")], ["silent"] * 3)
            self.assertEqual(bench.rx("ttyUSB0"), b"ATE0\r\nAT\r\nATI\r\n")

    def test_garbage_answers_random_bytes_without_a_result_code(self):
        with Bench([modem("/dev/ttyUSB0", {"garbage": True}, seed=3),
                    modem("/dev/ttyUSB1", {"garbage": True}, seed=3)]) as bench:
            answers = []
            for path in ("/dev/ttyUSB0", "/dev/ttyUSB1"):
                port = bench.open_port(path)
                port.write(b"AT\r")
                bench.wait_event(os.path.basename(path), kind="command")
                answers.append(port.pending())
            self.assertGreaterEqual(len(answers[0]), 8)
            self.assertNotIn(b"OK\r\n", answers[0])
            # The same seed gives the same bytes, so a failing run can be replayed.
            self.assertEqual(answers[0], answers[1])

    def test_slow_answer_comes_after_the_delay_and_echo_at_once(self):
        with Bench([modem("/dev/ttyUSB0", {"delay_ms": 300})]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            start = time.monotonic()
            port.write(b"AT\r")
            self.assertEqual(port.read_until(b"AT\r"), b"AT\r")
            self.assertLess(time.monotonic() - start, 0.25)
            self.assertEqual(port.read_until(b"OK\r\n"), b"\r\nOK\r\n")
            self.assertGreaterEqual(time.monotonic() - start, 0.3)

    def test_chunked_answer_arrives_in_pieces_and_in_order(self):
        with open(os.path.join(harness.FIXTURES, "ati", "CPhone_EC20F.txt"), "rb") as f:
            sample = f.read()
        with Bench([modem("/dev/ttyUSB0", {"chunk": {"bytes": 4, "ms": 20}})]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.chat(b"ATE0\r")
            port.write(b"ATI\r")
            first = port.read_until(b"\r\n", timeout=2)
            start = time.monotonic()
            rest = port.read_until(b"\r\n\r\nOK\r\n", timeout=5)
            self.assertEqual(first + rest, sample)
            # 4-byte pieces 20 ms apart: the rest cannot come much faster.
            pieces = (len(sample) + 3) // 4
            self.assertGreaterEqual(time.monotonic() - start, 0.02 * (pieces - 2))

    def test_hangup_after_n_commands_removes_the_device(self):
        with Bench([modem("/dev/ttyUSB0", {"hangup_after": 2})]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.chat(b"ATE0\r"), b"ATE0\r\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT\r"), b"\r\nOK\r\n")
            port.write(b"ATI\r")
            bench.wait_event("ttyUSB0", kind="hangup")
            with self.assertRaises(EOFError):
                port.read_until(b"OK", timeout=2)
            self.assertFalse(os.path.lexists("/dev/ttyUSB0"))
            self.assertEqual(bench.commands("ttyUSB0")[-1], ("ATI", 9600, "hangup"))
            self.assertTrue(bench.state("ttyUSB0")["closed"])

    def test_a_send_scripted_to_hang_up_takes_the_message_and_closes(self):
        pdu = b"0011000B913119325476F80000AA0548656C6C6F"
        with Bench([modem("/dev/ttyUSB0", {}, send=["hangup"])]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            port.chat(b"ATE0\r")
            port.chat(b"AT+CMGF=0\r")
            self.assertEqual(port.chat(b"AT+CMGS=19\r"), b"\r\n> ")
            port.write(pdu + b"\x1a")
            bench.wait_event("ttyUSB0", kind="hangup")
            with self.assertRaises(EOFError):
                port.read_until(b"OK", timeout=2)
            (sms,) = bench.events("ttyUSB0", "sms")
            self.assertEqual((sms["outcome"], sms["pdu"], sms["answer"]), ("hangup", pdu.decode(), None))
            self.assertFalse(os.path.lexists("/dev/ttyUSB0"))

    def test_paced_answer_takes_the_line_time_of_its_bytes(self):
        with open(os.path.join(harness.FIXTURES, "ati", "CPhone_EC20F.txt"), "rb") as f:
            sample = f.read()
        with Bench([modem("/dev/ttyUSB0", {"pace": True}, echo=False)]) as bench:
            for speed in (9600, 115200):
                port = bench.open_port("/dev/ttyUSB0", speed)
                start = time.monotonic()
                port.write(b"ATI\r")
                self.assertEqual(port.read_until(b"\r\n\r\nOK\r\n"), sample)
                # The command's 4 bytes in, the answer's out, 10 bits each.
                self.assertGreaterEqual(time.monotonic() - start, (4 + len(sample)) * 10.0 / speed, speed)
                port.close()

    def test_silent_after_n_commands(self):
        with Bench([modem("/dev/ttyUSB0", {"silent_after": 2})]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.chat(b"ATE0\r"), b"ATE0\r\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT\r"), b"\r\nOK\r\n")
            port.write(b"AT\r")
            bench.wait_event("ttyUSB0", lambda e: e["outcome"] == "silent", kind="command")
            self.assertEqual(port.pending(), b"")
            self.assertTrue(os.path.lexists("/dev/ttyUSB0"))

    def test_unsolicited_line_before_and_inside_answers(self):
        urc = {"text": "\r\n^RSSI: 20\r\n", "at": ["before", "inside"]}
        with Bench([modem("/dev/ttyUSB0", {"urc": urc}, echo=False)]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CSQ\r"),
                             b"\r\n^RSSI: 20\r\n\r\n+CSQ: 23,99\r\n\r\n^RSSI: 20\r\n\r\nOK\r\n")
            # An answer of one line has no inside.
            self.assertEqual(port.chat(b"AT\r"), b"\r\n^RSSI: 20\r\n\r\nOK\r\n")


class SimulatorOutput(unittest.TestCase):
    def test_a_long_listing_arrives_whole(self):
        # About 200 KB of listing: paced (the whole answer waits in the queue
        # with its due times) and unpaced (the client reads as fast as it can).
        messages = [{"text": "%04d " % i + "x" * 150, "from": "+8613912345678"} for i in range(580)]
        for faults, speed in (({"pace": True}, 921600), ({}, 9600)):
            with self.subTest(faults=faults), \
                    Bench([modem("/dev/ttyUSB0", faults, echo=False, speeds=[speed], capacity={"SM": 1000},
                                 storage={"SM": messages})]) as bench:
                stored = bench.state("ttyUSB0")["storage"]["SM"]
                lines = []
                for msg in stored:
                    lines += ["+CMGL: %d,1,,%d" % (msg["index"], len(msg["pdu"]) // 2 - 9), msg["pdu"]]
                expected = ("\r\n" + "\r\n".join(lines) + "\r\n\r\nOK\r\n").encode()
                self.assertGreater(len(expected), 200000)
                port = bench.open_port("/dev/ttyUSB0", speed)
                port.write(b"AT+CMGL=4\r")
                self.assertEqual(port.read_until(b"\r\nOK\r\n", timeout=60), expected)
                # The modem takes commands again once its answer has left.
                self.assertEqual(port.chat(b"AT\r"), b"\r\nOK\r\n")


if __name__ == "__main__":
    harness.main()
