"""tarnel sms readclear deletes exactly what it reported, for each reading
family: the +CMGL models, those that read one message at a time (AT+CMGD=?
then AT+CMGR) and the CDMA model (AT^HCMGL then AT^HCMGR)."""

import time
import unittest

import harness
from harness import Bench
from test_sms_subcommands import deleted, modem, port_of, sms

# (model, its listing command): each storage pass sends the listing once.
FAMILIES = [("CPhone_EC20F", "AT+CMGL=4"), ("CPhone_K2210_NC5", "AT+CMGD=?"), ("CPhone_MC323_ON", "AT^HCMGL=4")]
# The families that store a long message as linked parts.
PDU_FAMILIES = FAMILIES[:2]
# Two parts in the 7-bit alphabet.
LONG = "".join("word%03d " % i for i in range(25))
FIRST_PART = harness.load_modemsim().split_long_text(LONG, 0)[0]


def message(model, text, **extra):
    """A storage entry of the simulator for `model`."""
    entry = dict({"from": "10086", "text": text, "time": "23-05-17 08:30:00", "stat": 1}, **extra)
    if model == "CPhone_MC323_ON":
        entry["encoding"] = 1
    return entry


def part(seq, ref, when):
    """Part `seq` of LONG, stamped `when` (UTC)."""
    return {"from": "10086", "text": LONG, "time": when, "stat": 1, "split": {"ref": ref, "order": [seq]}}


def reported(port):
    """(storage, text, incomplete) of each reported message, in a fixed order."""
    return sorted((m["storage"], m["text"], m.get("incomplete", False)) for m in port.get("msgs", []))


def readclear(bench):
    return port_of(sms(bench, "readclear"), "ttyUSB0")


class ReadClear(unittest.TestCase):
    def test_a_message_arriving_after_the_listing_survives_and_is_reported_next(self):
        for model, listing in FAMILIES:
            with self.subTest(model=model):
                storage = {"SM": [message(model, "sim one")], "ME": [message(model, "memory one")]}
                # Into the SIM card, right after it was listed (memory first, then SIM card).
                late = {"after": listing, "nth": 2, "message": message(model, "late")}
                with Bench([modem("/dev/ttyUSB0", model, storage=storage, arrivals=[late])]) as bench:
                    port = readclear(bench)
                    self.assertEqual(reported(port), [("DEV", "memory one", False), ("SIM", "sim one", False)])
                    self.assertIs(port["clear"], True)
                    self.assertEqual(bench.events("ttyUSB0", "arrival")[0]["indices"], [2])
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1], "SM": [1]})
                    port = readclear(bench)
                    self.assertEqual(reported(port), [("SIM", "late", False)])
                    self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_a_failed_listing_deletes_nothing(self):
        # (A listing cut short is the same failure to the controller; its
        # end-to-end case is in test_sms_subcommands.)
        for model, listing in FAMILIES:
            with self.subTest(model=model):
                storage = {"SM": [message(model, "sim one")], "ME": [message(model, "memory one")]}
                refusing = modem("/dev/ttyUSB0", model, storage=storage,
                                 answers={listing: "\r\n+CMS ERROR: 500\r\n"})
                with Bench([refusing]) as bench:
                    port = readclear(bench)
                    self.assertEqual(harness.without_identity(port), {"name": "ttyUSB0", "msgcount": 0, "clear": False})
                    self.assertEqual(bench.events("ttyUSB0", "delete"), [])
                    self.assertEqual({mem: len(msgs) for mem, msgs in bench.state("ttyUSB0")["storage"].items()},
                                     {"SM": 1, "ME": 1})

    def test_a_refused_delete_leaves_its_message_and_the_others_go(self):
        for model, _ in FAMILIES:
            with self.subTest(model=model):
                storage = {"SM": [message(model, "sim one"), message(model, "sim two")],
                           "ME": [message(model, "memory one")]}
                refusing = modem("/dev/ttyUSB0", model, storage=storage, refuse_delete={"2": "+CMS ERROR: 321"})
                with Bench([refusing]) as bench:
                    port = readclear(bench)
                    self.assertEqual(reported(port), [("DEV", "memory one", False), ("SIM", "sim one", False),
                                                      ("SIM", "sim two", False)])
                    self.assertIs(port["clear"], False)
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1], "SM": [1]})
                    self.assertEqual([e["index"] for e in bench.events("ttyUSB0", "delete-refused")], [2])
                    # Still there, so reported again.
                    self.assertEqual(reported(readclear(bench)), [("SIM", "sim two", False)])

    def test_a_long_message_still_arriving_waits_for_its_last_part(self):
        now = time.strftime("%y-%m-%d %H:%M:%S", time.gmtime())
        for model, listing in PDU_FAMILIES:
            with self.subTest(model=model):
                # Part 1 just arrived, part 2 comes right after the SIM card's
                # listing; beside them, the part of another message, stored
                # long ago, whose other part never came.
                storage = {"SM": [part(1, 7, now)], "ME": [part(1, 9, "23-05-17 08:30:00")]}
                rest = {"after": listing, "nth": 2, "message": part(2, 7, now)}
                with Bench([modem("/dev/ttyUSB0", model, storage=storage, arrivals=[rest])]) as bench:
                    port = readclear(bench)
                    self.assertEqual(reported(port), [("DEV", FIRST_PART, True)])
                    self.assertIs(port["clear"], True)
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1]})
                    self.assertEqual(len(bench.state("ttyUSB0")["storage"]["SM"]), 2)

                    port = readclear(bench)
                    self.assertEqual(reported(port), [("SIM", LONG, False)])
                    self.assertIs(port["clear"], True)
                    self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_the_modems_clock_outvotes_a_board_clock_running_ahead(self):
        # The part is an hour old by the board's clock, a minute old by the
        # modem's: the earlier clock decides, so it waits.
        stamp = time.time() - 3600
        modem_clock = time.strftime('+CCLK: "%y/%m/%d,%H:%M:%S+00"', time.gmtime(stamp + 60))
        storage = {"SM": [part(1, 7, time.strftime("%y-%m-%d %H:%M:%S", time.gmtime(stamp)))]}
        answers = {"AT+CCLK?": "\r\n%s\r\n\r\nOK\r\n" % modem_clock}
        with Bench([modem("/dev/ttyUSB0", storage=storage, answers=answers)]) as bench:
            port = readclear(bench)
            self.assertEqual(reported({"msgs": port["held"]}), [("SIM", FIRST_PART, True)])
            del port["held"]
            self.assertEqual(harness.without_identity(port), {"name": "ttyUSB0", "msgcount": 0, "clear": True})
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])
            self.assertEqual([c for c, _, _ in bench.commands("ttyUSB0")].count("AT+CCLK?"), 1)


if __name__ == "__main__":
    harness.main()
