"""Stored messages that a listing shows damaged, as a serial line that drops
bytes shows them: tarnel reads each again by its index and reports and
deletes only what it read whole; what stays damaged is reported as
"unreadable" with what the modem gave, left on the modem, and the port's
"clear" is false."""

import unittest

import harness
from harness import Bench
from test_sms_subcommands import PDUS, deleted, expected, modem, port_of, sms, stored

# (case, the "listing" fault of the stored message)
LISTING_FAULTS = [
    ("missing PDU line", {"fault": "missing"}),
    ("cut PDU", {"fault": "cut", "octets": 10}),
    ("announced length one more", {"fault": "length", "octets": 1}),
    ("announced length one less", {"fault": "length", "octets": -1}),
    ("not hex", {"fault": "not_hex"}),
]

# A Latin-1 text stored as compressed user data (DCS 0x24).
COMPRESSED = {"from": "10086", "text": "ABC", "time": "23-05-17 08:30:00", "stat": 1, "dcs": 0x24}


def readclear(bench):
    return port_of(sms(bench, "readclear"), "ttyUSB0")


def reads_by_index(bench):
    return [c for c, _, _ in bench.commands("ttyUSB0") if c.startswith("AT+CMGR=")]


def left_on_modem(bench):
    return {mem: [m["pdu"] for m in msgs] for mem, msgs in bench.state("ttyUSB0")["storage"].items() if msgs}


class DamagedListing(unittest.TestCase):
    def test_a_damaged_entry_read_whole_by_its_index_is_reported_and_deleted(self):
        for case, fault in LISTING_FAULTS:
            with self.subTest(case=case):
                storage = {"SM": [stored("Gsm7Ascii"), stored("Ucs2Chinese", listing=fault)], "ME": []}
                with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
                    port = readclear(bench)
                    self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM"), expected("Ucs2Chinese", "SIM")])
                    self.assertIs(port["clear"], True)
                    self.assertEqual(reads_by_index(bench), ["AT+CMGR=2"])
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1, 2]})

    def test_an_entry_still_damaged_when_read_again_is_reported_unreadable_and_kept(self):
        for case, fault in LISTING_FAULTS:
            with self.subTest(case=case):
                whole = PDUS["Ucs2Chinese"]["pdu"]
                # The read by index loses the same bytes.
                damaged = "\r\n+CMGR: 1,,%d\r\n%s\r\n\r\nOK\r\n" % (len(whole) // 2 - 8 + 1, whole[:-20])
                storage = {"SM": [stored("Gsm7Ascii"), stored("Ucs2Chinese", listing=fault)], "ME": []}
                answers = {"AT+CMGR=2": damaged}
                with Bench([modem("/dev/ttyUSB0", storage=storage, answers=answers)]) as bench:
                    port = readclear(bench)
                    good, bad = port["msgs"]
                    self.assertEqual(good, expected("Gsm7Ascii", "SIM"))
                    self.assertEqual(bad["kind"], "unreadable")
                    self.assertEqual((bad["from"], bad["time"], bad["text"]), ("", "", ""))
                    self.assertTrue(bad["raw"].startswith("+CMGL: 2,1,,"), bad["raw"])
                    self.assertIs(port["clear"], False)
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1]})
                    self.assertEqual(left_on_modem(bench), {"SM": [whole]})

    def test_every_reading_family_reads_a_damaged_message_again(self):
        # The first read of index 1 loses bytes, the second comes whole.
        pdu = PDUS["Gsm7Ascii"]["pdu"]
        length = len(pdu) // 2 - 1 - int(pdu[:2], 16)
        cmgr = "\r\n+CMGR: 1,,%d\r\n%s\r\n\r\nOK\r\n"
        hcmgr = "\r\n^HCMGR:10086,2023,05,17,08,30,00,0,1,%d,0,0,0,1\r\n%s\x1a\r\n\r\nOK\r\n"
        # (model, its read by index, the damaged and the whole answer, the text reported)
        rows = [
            ("CPhone_K2210_NC5", "AT+CMGR=1", cmgr % (length, pdu[:-10]), cmgr % (length, pdu),
             PDUS["Gsm7Ascii"]["text"]),
            ("CPhone_MC323_ON", "AT^HCMGR=1", hcmgr % (3, "hello"), hcmgr % (5, "hello"), "hello"),
        ]
        for model, read, damaged, whole, text in rows:
            with self.subTest(model=model):
                stored_one = {"from": "10086", "text": text, "time": "23-05-17 08:30:00", "stat": 1}
                if model == "CPhone_MC323_ON":
                    stored_one["encoding"] = 1
                storage = {"SM": [stored_one], "ME": []}
                with Bench([modem("/dev/ttyUSB0", model, storage=storage, answers={read: [damaged, whole]})]) \
                        as bench:
                    port = readclear(bench)
                    self.assertEqual([(m["text"], m.get("kind")) for m in port["msgs"]], [(text, None)])
                    self.assertIs(port["clear"], True)
                    self.assertEqual([c for c, _, _ in bench.commands("ttyUSB0")].count(read), 2)
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1]})

    def test_an_index_listed_twice_is_read_again_and_deleted_once(self):
        # The message at index 2 is listed under index 1 the first time:
        # which message index 1 holds only a read by index can tell, and the
        # one behind it waits for the next run.
        storage = {"SM": [stored("Gsm7Ascii"), stored("Ucs2Chinese", listing={"index": 1, "listings": 1})],
                   "ME": []}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = readclear(bench)
            self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM")])
            self.assertIs(port["clear"], False)
            self.assertEqual(reads_by_index(bench), ["AT+CMGR=1"])
            self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1]})

            port = readclear(bench)
            self.assertEqual(port["msgs"], [expected("Ucs2Chinese", "SIM")])
            self.assertIs(port["clear"], True)
            self.assertEqual(left_on_modem(bench), {})

    def test_compressed_data_is_reported_as_undecodable_hex_and_deleted(self):
        storage = {"SM": [COMPRESSED], "ME": []}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = readclear(bench)
            self.assertEqual(port["msgs"], [{"from": "10086", "time": "23-05-17 08:30:00", "storage": "SIM",
                                             "kind": "undecodable", "text": "[compressed data, 3 bytes] 414243"}])
            self.assertIs(port["clear"], True)
            self.assertEqual(deleted(bench, "ttyUSB0"), {"SM": [1]})


if __name__ == "__main__":
    harness.main()
