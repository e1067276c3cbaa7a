"""set.ini mistakes: one line each on standard error, standard output untouched."""

import json
import unittest

import harness
from harness import Bench

MODEM = {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F",
         "storage": {"SM": [{"from": "+8613912345678", "time": "24-03-01 09:15:00", "text": "Kept"}]}}

# time1=0x64 is 100 (50 ms passes): the modem is still found.
MISTAKES = ("[comm]\ndef=1\ntime1=0x64\nbusywait=0600\ntimee2=4\nfixedports=0\n"
            "[serial]\npartwait=5\nencoding=utf8\n")


class SettingsWarnings(unittest.TestCase):
    def test_each_mistake_is_one_line_on_standard_error(self):
        expected = {
            "en": ["set.ini:4: busywait=0600: a leading zero reads as octal; value used: 384",
                   "set.ini:5: timee2=4: unknown key; ignored",
                   "set.ini:8: partwait=5: outside [comm]; ignored",
                   "set.ini:9: encoding=utf8: outside [comm]; ignored"],
            "zh": ["set.ini:4: busywait=0600: 以 0 开头，按八进制读取；使用的值：384",
                   "set.ini:5: timee2=4: 未知的键，已忽略",
                   "set.ini:8: partwait=5: 不在 [comm] 段中，已忽略",
                   "set.ini:9: encoding=utf8: 不在 [comm] 段中，已忽略"],
        }
        for variant, lines in expected.items():
            with self.subTest(variant), Bench([MODEM], set_ini=MISTAKES,
                                              binary=harness.tarnel_binary(variant)) as bench:
                result = bench.run_tarnel(["sms", "sread"])
                self.assertEqual(result.rc, 0, result)
                self.assertEqual(result.err.split("\n"), lines + [""])
                # Standard output is still the one JSON document.
                doc = json.loads(result.out)
                self.assertEqual([p["name"] for p in doc["ports"]], ["ttyUSB0"])
                self.assertEqual([m["text"] for m in doc["ports"][0]["msgs"]], ["Kept"])

    def test_a_clean_file_says_nothing(self):
        with Bench([MODEM], set_ini="; comment\n[COMM]\nDEF=1\ntime1 = 100 ; 50 ms\nencoding=auto\n") as bench:
            result = bench.run_tarnel(["sms", "sread"])
            self.assertEqual((result.rc, result.err), (0, ""), result)
            self.assertEqual(json.loads(result.out)["portcount"], 1)


if __name__ == "__main__":
    harness.main()
