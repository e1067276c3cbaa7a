"""A modem that goes away in the middle of a send (unplugged, its USB reset)
is reported as such, with how many parts of the message it had accepted:
the recipient may already have those, so it is no "No AT"."""

import json
import unittest

import harness
from harness import Bench

NUMBER = "13912345678"
# 150 characters in UCS-2: parts of 67, 67 and 16 characters.
LONG = "x" * 150
NO_STAMP = {"VT-STAMP": "1"}


def modem(path, **extra):
    return dict({"path": path, "model": "CPhone_EC20F"}, **extra)


class DeviceGoneMidSend(unittest.TestCase):
    def test_the_reason_counts_the_parts_accepted(self):
        # (case, the modem's answers to the parts, numbers, text, expected reasons)
        rows = [
            ("third of three", ["ok", "ok", "hangup"], [NUMBER], LONG, ["Device went away after 2 of 3 parts"]),
            ("second of three", ["ok", "hangup"], [NUMBER], LONG, ["Device went away after 1 of 3 parts"]),
            ("single part", ["hangup"], [NUMBER], "hello", ["Device went away after 0 of 1 parts"]),
            # Once gone, the next number finds no modem to build a message for.
            ("the next number", ["hangup"], [NUMBER, "13812345678"], "hello",
             ["Device went away after 0 of 1 parts", "Device went away"]),
        ]
        for case, answers, numbers, text, reasons in rows:
            for variant in ("en", "zh"):
                with self.subTest(case=case, variant=variant), \
                        Bench([modem("/dev/ttyUSB0", send=answers)]) as bench:
                    result = bench.run_tarnel(["USB0", ",".join(numbers), text], env=NO_STAMP,
                                              binary=harness.tarnel_binary(variant))
                    self.assertEqual(result.rc, 0, result)
                    doc = json.loads(result.out)
                    self.assertEqual([(r["number"], r["code"], r["message"]) for r in doc["result"]],
                                     [(n, 1, reason) for n, reason in zip(numbers, reasons)])
                    self.assertEqual([e["outcome"] for e in bench.events("ttyUSB0", "sms")], answers)

    def test_the_menu_says_it_in_the_catalogue(self):
        texts = {"en": "Device went away after 1 of 3 parts", "zh": "设备已断开，已送出 1 / 3 段"}
        for variant, text in texts.items():
            with self.subTest(variant=variant), Bench([modem("/dev/ttyUSB0", send=["ok", "hangup"])]) as bench:
                menu = bench.spawn_tarnel([], env=NO_STAMP, binary=harness.tarnel_binary(variant), timeout=60)
                menu.expect_exact("q" if variant == "en" else "q退出")
                menu.send("1")
                menu.expect(":")
                menu.sendline(NUMBER)
                menu.expect("USB0")
                menu.sendline("USB0")
                menu.expect(":")
                menu.sendline(LONG)
                menu.expect_exact(text)
                menu.close(force=True)


if __name__ == "__main__":
    harness.main()
