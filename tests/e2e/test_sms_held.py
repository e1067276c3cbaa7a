"""The parts of long messages still arriving: read-and-clear holds them back
and lists them in "held", each judged by its own time stamp, and for no
longer than partwait after tarnel first saw them (kept in the journal
directory); sms read, sread and menu key 2 show them, marked."""

import json
import os
import time
import unittest

import harness
from harness import Bench
from test_sms_kinds import menu_read_lines
from test_sms_readclear import FIRST_PART, part, readclear, reported
from test_sms_subcommands import deleted, modem, port_of, sms


def stamp(offset):
    """A service-centre time stamp `offset` seconds from now (UTC)."""
    return time.strftime("%y-%m-%d %H:%M:%S", time.gmtime(time.time() + offset))


def first_seen_files(bench):
    if not os.path.isdir(bench.journal):
        return []
    return [os.path.join(bench.journal, n) for n in os.listdir(bench.journal) if n.startswith("parts-")]


def held(port):
    return reported({"msgs": port.get("held", [])})


class HeldParts(unittest.TestCase):
    def test_one_message_stamped_ahead_judges_only_itself(self):
        # The board's clock is believed for the young part, not for the part
        # stamped 3 h ahead (a centre with a wrong zone): each is held by its
        # own judgement, and neither is deleted.
        young = dict(part(1, 7, stamp(-120)), **{"from": "10010"})
        ahead = part(1, 9, stamp(3 * 3600))
        with Bench([modem("/dev/ttyUSB0", storage={"SM": [young, ahead], "ME": []})]) as bench:
            port = readclear(bench)
            self.assertEqual(reported(port), [])
            self.assertEqual(held(port), [("SIM", FIRST_PART, True), ("SIM", FIRST_PART, True)])
            self.assertEqual(sorted(m["from"] for m in port["held"]), ["10010", "10086"])
            self.assertIs(port["clear"], True)
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])

    def test_no_part_is_held_longer_than_partwait_after_it_was_first_seen(self):
        # Stamped in 2060: by its stamp it would wait for ever.
        storage = {"SM": [part(1, 7, "60-01-01 00:00:00")], "ME": []}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            before = time.time()
            port = readclear(bench)
            self.assertEqual(held(port), [("SIM", FIRST_PART, True)])
            (seen_file,) = first_seen_files(bench)
            with open(seen_file, encoding="utf-8") as f:
                seen = json.load(f)
            self.assertEqual(len(seen), 1)
            (first,) = seen.values()
            self.assertGreaterEqual(first, int(before) - 1)
            self.assertLessEqual(first, time.time() + 1)

            # Seen again soon after: still held, first seen as before.
            port = readclear(bench)
            self.assertEqual(held(port), [("SIM", FIRST_PART, True)])
            with open(seen_file, encoding="utf-8") as f:
                self.assertEqual(json.load(f), seen)

            # As if the first run had been 11 minutes ago (partwait 10).
            with open(seen_file, "w", encoding="utf-8") as f:
                json.dump({key: value - 660 for key, value in seen.items()}, f)
            port = readclear(bench)
            self.assertEqual(reported(port), [("SIM", FIRST_PART, True)])
            self.assertNotIn("held", port)
            self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1]})
            self.assertEqual(first_seen_files(bench), [])

    def test_a_first_sighting_recorded_by_a_clock_not_yet_set_counts_from_now(self):
        # Recorded in 1970 by a board without a real-time clock, before its
        # time came from the network: the young part is still held.
        iccid = "89860000000000000078"
        with Bench([modem("/dev/ttyUSB0", iccid=iccid, storage={"SM": [part(1, 7, stamp(-60))], "ME": []})]) \
                as bench:
            os.makedirs(bench.journal)
            record = os.path.join(bench.journal, "parts-%s.json" % iccid)
            with open(record, "w", encoding="utf-8") as f:
                json.dump({"10086/7/2": 100000}, f)
            before = time.time()
            port = readclear(bench)
            self.assertEqual(held(port), [("SIM", FIRST_PART, True)])
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])
            with open(record, encoding="utf-8") as f:
                self.assertGreaterEqual(json.load(f)["10086/7/2"], int(before) - 1)

    def test_the_record_of_a_message_gone_from_the_modem_goes_too(self):
        # A sender reuses its references: the record of a message cleared
        # since must not flush the next one with that reference at once.
        iccid = "89860000000000000077"
        with Bench([modem("/dev/ttyUSB0", iccid=iccid, storage={"SM": [], "ME": []})]) as bench:
            os.makedirs(bench.journal)
            record = os.path.join(bench.journal, "parts-%s.json" % iccid)
            with open(record, "w", encoding="utf-8") as f:
                json.dump({"10086/7/2": int(time.time()) - 3600}, f)
            port = readclear(bench)
            self.assertEqual((port["msgcount"], port["clear"]), (0, True))
            self.assertFalse(os.path.exists(record))

    def test_read_shows_held_parts_marked_and_deletes_nothing(self):
        storage = {"SM": [part(1, 7, stamp(-60))], "ME": []}
        marks = {"en": "[incomplete: a part is missing] ", "zh": "【不完整：缺少分段】"}
        message = {"en": "Message: ", "zh": "短信内容: "}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            for sub in ("read", "sread"):
                port = port_of(sms(bench, sub, compact=sub == "sread"), "ttyUSB0")
                self.assertEqual(reported(port), [("SIM", FIRST_PART, True)])
            for variant in ("en", "zh"):
                lines = menu_read_lines(bench, variant)
                self.assertIn(message[variant] + marks[variant] + FIRST_PART, lines, variant)
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])


if __name__ == "__main__":
    harness.main()
