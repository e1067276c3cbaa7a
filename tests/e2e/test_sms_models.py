"""tarnel sms read/readclear with the models that read one message at a time
(AT+CMGD=? then AT+CMGR=<i>) and with the CDMA model (AT^HCMGL / AT^HCMGR)."""

import unittest

import harness
from harness import Bench
from test_sms_subcommands import PDUS, deleted, expected, modem, port_of, sms, storage_pdus, stored


def as_set(msgs):
    """Messages as a multiset: these models put no order on a storage's messages."""
    return sorted(tuple(sorted(m.items())) for m in msgs)


def heard(bench, name):
    return [c for c, _, outcome in bench.commands(name) if outcome != "wrong-speed"]


class OneAtATime(unittest.TestCase):
    def test_each_message_is_reported_once_with_its_storage(self):
        modems = [
            modem("/dev/ttyUSB0", "CPhone_K2210_NC5",
                  storage={"ME": [stored("Gsm7Ascii", index=2), stored("NationalSender", index=5)],
                           "SM": [stored("Ucs2Chinese")]}),
            # Memory only: the SIM card's empty listing must not repeat it.
            modem("/dev/ttyUSB1", "CPhone_INCORPORATED_A7600C1_SE", storage={"ME": [stored("ShortCode")]}),
            # SIM card only.
            modem("/dev/ttyUSB2", "CPhone_MeigDev", storage={"SM": [stored("AlphanumericSender")]}),
        ]
        with Bench(modems) as bench:
            doc = sms(bench, "read")
            self.assertEqual(doc["portcount"], 3)
            nc5 = port_of(doc, "ttyUSB0")
            # SIM card first, then memory; within the memory any order.
            self.assertEqual(nc5["msgs"][0], expected("Ucs2Chinese", "SIM"))
            self.assertEqual(as_set(nc5["msgs"][1:]),
                             as_set([expected("Gsm7Ascii", "DEV"), expected("NationalSender", "DEV")]))
            self.assertEqual(nc5["msgcount"], 3)
            self.assertEqual(port_of(doc, "ttyUSB1")["msgs"], [expected("ShortCode", "DEV")])
            self.assertEqual(port_of(doc, "ttyUSB1")["msgcount"], 1)
            self.assertEqual(port_of(doc, "ttyUSB2")["msgs"], [expected("AlphanumericSender", "SIM")])

            commands = heard(bench, "ttyUSB0")
            self.assertNotIn("AT+CMGL=4", commands)
            self.assertEqual(commands.count("AT+CMGD=?"), 2)
            self.assertEqual([c for c in commands if c.startswith("AT+CMGR=")],
                             ["AT+CMGR=2", "AT+CMGR=5", "AT+CMGR=1"])
            # Only the CLM920_NC5 switches to its compatible reading mode.
            self.assertIn("AT+ATVER=1", commands)
            self.assertNotIn("AT+ATVER=1", heard(bench, "ttyUSB1"))

    def test_readclear_joins_parts_and_clears_both_storages(self):
        storage = {"ME": [stored("LongUcs2.2"), stored("LongUcs2.3"), stored("LongUcs2.1")],
                   "SM": [stored("Gsm7Ascii")]}
        whole = "".join(PDUS["LongUcs2.%d" % i]["text"] for i in (1, 2, 3))
        with Bench([modem("/dev/ttyUSB0", "CPhone_K2210_RC3", storage=storage)]) as bench:
            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM"),
                                            expected("LongUcs2.1", "DEV", text=whole)])
            self.assertIs(port["clear"], True)
            self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1, 2, 3], "SM": [1]})
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_a_refused_message_is_not_cleared_unseen(self):
        storage = {"ME": [stored("Gsm7Ascii", index=1), stored("ShortCode", index=2)],
                   "SM": [stored("Ucs2Chinese")]}
        refused = {"AT+CMGR=2": "\r\n+CMS ERROR: 321\r\n"}
        with Bench([modem("/dev/ttyUSB0", "CPhone_K2210_RV3", storage=storage, answers=refused)]) as bench:
            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            # What could be read is reported and deleted; the refused message
            # stays, and the port is not reported as cleared.
            self.assertEqual(port["msgs"], [expected("Ucs2Chinese", "SIM"), expected("Gsm7Ascii", "DEV")])
            self.assertIs(port["clear"], False)
            self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1], "SM": [1]})
            self.assertEqual(storage_pdus(bench, "ttyUSB0", "ME"), [PDUS["ShortCode"]["pdu"]])

    def test_more_messages_than_the_follow_up_limit(self):
        memory = [stored("ShortCode") for _ in range(101)]
        storage = {"ME": memory, "SM": [stored("Gsm7Ascii")]}
        with Bench([modem("/dev/ttyUSB0", "CPhone_K2210_NC5", storage=storage, capacity={"ME": 200})]) as bench:
            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            reads = [c for c in heard(bench, "ttyUSB0") if c.startswith("AT+CMGR=")]
            # At most 100 follow-up commands per listing: the SIM card's one
            # and the first 100 of the memory.
            self.assertEqual(len(reads), 101)
            self.assertEqual(port["msgcount"], 101)
            self.assertEqual(port["msgs"][0], expected("Gsm7Ascii", "SIM"))
            self.assertEqual(port["msgs"][1:], [expected("ShortCode", "DEV")] * 100)
            # The one left unread stays, and the port is not reported as cleared.
            self.assertIs(port["clear"], False)
            self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": list(range(1, 101)), "SM": [1]})
            self.assertEqual([m["index"] for m in bench.state("ttyUSB0")["storage"]["ME"]], [101])


class Cdma(unittest.TestCase):
    def cdma(self, text, encoding, sender="13912345678", when="23-05-17 08:30:00"):
        return {"from": sender, "text": text, "time": when, "encoding": encoding, "stat": 1}

    def report(self, text, storage, sender="13912345678", when="2023-05-17 08:30:00"):
        return {"from": sender, "text": text, "time": when, "storage": storage}

    def test_read_and_readclear(self):
        storage = {"SM": [self.cdma("你好，世界 OK", 6), self.cdma("Call me, OK?", 1, "10086", "23-05-18 09:00:00")],
                   "ME": [self.cdma("memory 备忘", 6, "+8613800000000")]}
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON", storage=storage)]) as bench:
            want = [self.report("你好，世界 OK", "SIM"),
                    self.report("Call me, OK?", "SIM", "10086", "2023-05-18 09:00:00"),
                    self.report("memory 备忘", "DEV", "+8613800000000")]
            doc = sms(bench, "read")
            self.assertEqual(port_of(doc, "ttyUSB0")["msgs"], want)
            commands = heard(bench, "ttyUSB0")
            self.assertEqual(commands.count("AT^HCMGL=4"), 2)
            self.assertEqual([c for c in commands if c.startswith("AT^HCMGR=")],
                             ["AT^HCMGR=1", "AT^HCMGR=1", "AT^HCMGR=2"])
            self.assertNotIn("AT+CMGL=4", commands)

            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            self.assertEqual((port["msgs"], port["clear"]), (want, True))
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_text_holding_ok_arriving_in_pieces(self):
        # The answer trickles in: an "OK" inside the text must not be taken
        # for the end of the answer.
        storage = {"SM": [self.cdma("OK, see you at 8. OK?", 1), self.cdma("second", 1, "10086")]}
        # Read passes (time1) shorter than the gap between pieces, long
        # enough for the short exchanges of the scan.
        slow = {"chunk": {"bytes": 16, "ms": 150}}
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON", storage=storage, faults=slow)], time1=200) as bench:
            self.assertEqual(port_of(sms(bench, "read"), "ttyUSB0")["msgs"],
                             [self.report("OK, see you at 8. OK?", "SIM"), self.report("second", "SIM", "10086")])

    def test_text_holding_an_ok_line_loses_no_message(self):
        # The first text holds a line "OK". Its answer arrives in two pieces,
        # the first ending right after that line, so a read that stops at the
        # first whole "OK" line would cut the text and leave the rest of the
        # answer to be taken for the next message's.
        before = "fine"
        text = before + "\r\nOK\r\nsee you at 8"
        storage = {"SM": [self.cdma(text, 1), self.cdma("second", 1, "10086"),
                          self.cdma("third 第三", 6, "10010")]}
        # The simulator's header for the first message: sender, time, language 0,
        # encoding 1, the text's length in bytes, then priority, privacy, type, status.
        header = "\r\n^HCMGR:13912345678,2023,05,17,08,30,00,0,1,%d,0,0,0,1\r\n" % len(text)
        first_piece = len(header) + len(before) + len("\r\nOK\r\n")
        # Pieces further apart than a read pass; the scan's answers fit in one piece.
        pieces = {"chunk": {"bytes": first_piece, "ms": 150}}
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON", storage=storage, faults=pieces)],
                   time1=100) as bench:
            self.assertEqual(port_of(sms(bench, "read"), "ttyUSB0")["msgs"],
                             [self.report(text, "SIM"), self.report("second", "SIM", "10086"),
                              self.report("third 第三", "SIM", "10010")])
            self.assertEqual([c for c in heard(bench, "ttyUSB0") if c.startswith("AT^HCMGR=")],
                             ["AT^HCMGR=1", "AT^HCMGR=2", "AT^HCMGR=3"])


if __name__ == "__main__":
    harness.main()
