"""The modem simulator's SMS storage, listing, reading, deleting and sending."""

import re
import unittest

import harness
from harness import Bench

sim = harness.load_modemsim()

HELLO = {"from": "+8613912345678", "text": "hello", "time": "23-05-17 08:30:00", "stat": 1}
NIHAO = {"from": "10086", "text": "你好", "time": "23-05-18 09:00:00", "stat": 0}
LISTING_LINE = re.compile(rb"\+CMGL: (\d+),(\d),,(\d+)\r\n([0-9A-F]+)\r\n")


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


def ready(bench, path, speed=9600):
    port = bench.open_port(path, speed)
    port.chat(b"ATE0\r")
    return port


class SimulatorStorage(unittest.TestCase):
    def test_cmgl_lists_the_selected_storage_in_pdu_form(self):
        storage = {"SM": [HELLO, NIHAO], "ME": [dict(HELLO, text="in memory")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b'AT+CPMS="SM"\r\n'), b"\r\n+CPMS: 2,50,2,50,2,50\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"at+cmgf=0\r"), b"\r\nOK\r\n")
            listing = port.chat(b"AT+CMGL=4\r\n")
            self.assertTrue(listing.startswith(b"\r\n+CMGL: 1,"), listing)
            self.assertTrue(listing.endswith(b"\r\n\r\nOK\r\n"), listing)
            entries = LISTING_LINE.findall(listing)
            self.assertEqual([(int(i), int(s)) for i, s, _, _ in entries], [(1, 1), (2, 0)])
            for _, _, length, pdu in entries:
                self.assertEqual(int(length), sim.tpdu_length(pdu.decode()))
            decoded = [sim.decode_pdu(pdu.decode()) for _, _, _, pdu in entries]
            self.assertEqual([(d["from"], d["text"], d["scts"][:12]) for d in decoded],
                             [("+8613912345678", "hello", "230517083000"), ("10086", "你好", "230518090000")])
            # Listing marks unread messages read, as modems do.
            self.assertEqual(LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))[1][1], b"1")
            port.chat(b'AT+CPMS="ME"\r\n')
            memory = LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))
            self.assertEqual(sim.decode_pdu(memory[0][3].decode())["text"], "in memory")

    def test_empty_listing_is_a_bare_ok(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CMGL=4\r\n"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CMGD=?\r\n"), b"\r\n+CMGD: (),(0-4)\r\n\r\nOK\r\n")

    def test_long_text_is_stored_as_parts_in_the_given_order(self):
        text = "".join("part %03d of a long text. " % i for i in range(14))
        stored = dict(HELLO, text=text, split={"ref": 7, "order": [2, 1, 3]})
        with Bench([modem("/dev/ttyUSB0", storage={"SM": [stored]})]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            entries = LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))
            parts = [sim.decode_pdu(e[3].decode()) for e in entries]
            self.assertEqual([p["concat"]["seq"] for p in parts], [2, 1, 3])
            self.assertEqual({(p["concat"]["ref"], p["concat"]["total"]) for p in parts}, {(7, 3)})
            joined = "".join(p["text"] for p in sorted(parts, key=lambda p: p["concat"]["seq"]))
            self.assertEqual(joined, text)

    def test_read_one_at_a_time_models(self):
        storage = {"ME": [dict(HELLO, index=2), dict(NIHAO, index=5)]}
        with Bench([modem("/dev/ttyUSB0", "CPhone_K2210_NC5", storage=storage)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            port.chat(b'AT+CPMS="ME"\r\n')
            self.assertEqual(port.chat(b"AT+CMGL=4\r\n"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CMGD=?\r\n"), b"\r\n+CMGD: (2,5),(0-4)\r\n\r\nOK\r\n")
            answer = port.chat(b"AT+CMGR=5\r\n")
            m = re.fullmatch(rb"\r\n\+CMGR: 0,,(\d+)\r\n([0-9A-F]+)\r\n\r\nOK\r\n", answer)
            self.assertIsNotNone(m, answer)
            self.assertEqual(sim.decode_pdu(m.group(2).decode())["text"], "你好")
            self.assertTrue(port.chat(b"AT+CMGR=5\r\n").startswith(b"\r\n+CMGR: 1,,"))
            self.assertEqual(port.chat(b"AT+CMGR=3\r\n"), b"\r\n+CMS ERROR: 321\r\n")

    def test_listing_faults_damage_only_the_listing(self):
        # (listing member, the entry as AT+CMGL shows it: index, PDU line, announced length)
        pdu = sim.encode_deliver("+8613912345678", "hello", "23-05-17 08:30:00", "+8613800100500")
        length = sim.tpdu_length(pdu)
        rows = [
            ({"fault": "missing"}, 1, None, length),
            ({"fault": "cut", "octets": 3}, 1, pdu[:-6], length),
            ({"fault": "cut"}, 1, pdu[:-20], length),
            ({"fault": "not_hex"}, 1, pdu[:len(pdu) // 2] + "?" + pdu[len(pdu) // 2 + 1:], length),
            ({"fault": "length", "octets": -2}, 1, pdu, length - 2),
            ({"fault": "length"}, 1, pdu, length + 1),
            ({"index": 2}, 2, pdu, length),
        ]
        paths = ["/dev/ttyUSB%d" % i for i in range(len(rows))]
        with Bench([modem(p, storage={"SM": [dict(HELLO, listing=listing), dict(NIHAO, stat=1)]})
                    for p, (listing, _, _, _) in zip(paths, rows)]) as bench:
            for path, (listing, index, line, announced) in zip(paths, rows):
                port = ready(bench, path)
                shown = "+CMGL: %d,1,,%d\r\n" % (index, announced) + ("" if line is None else line + "\r\n")
                answer = port.chat(b"AT+CMGL=4\r\n").decode()
                self.assertTrue(answer.startswith("\r\n" + shown + "+CMGL: 2,1,,"), (listing, answer))
                # Every listing shows it so; a read by its index gives it whole.
                self.assertEqual(port.chat(b"AT+CMGL=4\r\n").decode(), answer)
                self.assertEqual(port.chat(b"AT+CMGR=1\r\n").decode(),
                                 "\r\n+CMGR: 1,,%d\r\n%s\r\n\r\nOK\r\n" % (length, pdu))

    def test_listing_fault_for_the_first_listings_only(self):
        storage = {"SM": [dict(HELLO, listing={"fault": "cut", "listings": 2})]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            lengths = [len(LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))[0][3]) for _ in range(3)]
            self.assertEqual(lengths[0], lengths[1])
            self.assertEqual(lengths[2], lengths[0] + 20)

    def test_compressed_message_stores_its_bytes_as_user_data(self):
        # Compressed data is octets whatever alphabet it unpacks to (7-bit, 8-bit, UCS-2).
        dcs = (0x20, 0x24, 0x28)
        paths = ["/dev/ttyUSB%d" % i for i in range(len(dcs))]
        with Bench([modem(p, storage={"SM": [dict(HELLO, text="\x01\x02\xff", dcs=d)]})
                    for p, d in zip(paths, dcs)]) as bench:
            for path, d in zip(paths, dcs):
                port = ready(bench, path)
                (_, _, length, pdu), = LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))
                self.assertEqual(int(length), sim.tpdu_length(pdu.decode()))
                # The DCS, the time stamp, then three octets of user data, counted in octets.
                self.assertTrue(pdu.endswith(b"%02X" % d + b"32507180030000" + b"03" + b"0102FF"), pdu)

    def test_delete_all_clears_only_the_selected_storage(self):
        storage = {"SM": [HELLO, NIHAO], "ME": [HELLO]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            port.chat(b'AT+CPMS="SM"\r\n')
            self.assertEqual(port.chat(b"AT+CMGD=0,4\r"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CMGL=4\r\n"), b"\r\nOK\r\n")
            state = bench.state("ttyUSB0")
            self.assertEqual(state["storage"]["SM"], [])
            self.assertEqual(len(state["storage"]["ME"]), 1)
            self.assertEqual(bench.events("ttyUSB0", "delete")[0]["indices"], [1, 2])

    def test_delete_flags_keep_what_they_should(self):
        storage = {"SM": [dict(HELLO, stat=0), dict(HELLO, stat=1), dict(HELLO, stat=2), dict(HELLO, stat=3)]}
        # Flag -> indices (statuses 0,1,2,3 at 1..4) left afterwards.
        cases = [(1, [1, 3, 4]), (2, [1, 3]), (3, [1]), (4, [])]
        paths = ["/dev/ttyUSB%d" % i for i in range(len(cases))]
        with Bench([modem(p, storage=storage) for p in paths]) as bench:
            for path, (flag, left) in zip(paths, cases):
                port = ready(bench, path)
                port.chat(b"AT+CMGD=1,%d\r" % flag)
                listed = port.chat(b"AT+CMGD=?\r\n")
                self.assertEqual(listed, b"\r\n+CMGD: (%s),(0-4)\r\n\r\nOK\r\n"
                                 % ",".join(map(str, left)).encode(), flag)

    def test_a_message_arrives_after_the_nth_listing_into_the_storage_just_listed(self):
        storage = {"SM": [HELLO, dict(HELLO, text="third", index=3)], "ME": [HELLO]}
        late = {"after": "AT+CMGL", "nth": 2, "message": dict(NIHAO, text="late")}
        with Bench([modem("/dev/ttyUSB0", storage=storage, arrivals=[late])]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            port.chat(b'AT+CPMS="ME"\r\n')
            self.assertEqual(len(LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))), 1)
            port.chat(b'AT+CPMS="SM"\r\n')
            # The listing that brings it does not hold it; the next one does,
            # at the lowest free index.
            self.assertEqual([int(e[0]) for e in LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))], [1, 3])
            listed = LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r\n"))
            self.assertEqual([int(e[0]) for e in listed], [1, 2, 3])
            self.assertEqual(sim.decode_pdu(listed[1][3].decode())["text"], "late")
            self.assertEqual(bench.events("ttyUSB0", "arrival")[0]["indices"], [2])
            self.assertEqual(len(bench.state("ttyUSB0")["storage"]["ME"]), 1)
            # Only once.
            port.chat(b"AT+CMGL=4\r\n")
            self.assertEqual(len(bench.state("ttyUSB0")["storage"]["SM"]), 3)

    def test_refused_deletes_keep_their_message_and_the_others_go(self):
        storage = {"SM": [HELLO, HELLO, HELLO]}
        refuse = {"2": "+CMS ERROR: 321", "3": "ERROR"}
        with Bench([modem("/dev/ttyUSB0", storage=storage, refuse_delete=refuse)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CMGD=2\r"), b"\r\n+CMS ERROR: 321\r\n")
            self.assertEqual(port.chat(b"AT+CMGD=3\r"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CMGD=1\r"), b"\r\nOK\r\n")
            self.assertEqual([m["index"] for m in bench.state("ttyUSB0")["storage"]["SM"]], [2, 3])
            # The delete-all flags are not refused.
            self.assertEqual(port.chat(b"AT+CMGD=2,4\r"), b"\r\nOK\r\n")
            self.assertEqual(bench.state("ttyUSB0")["storage"]["SM"], [])


class SimulatorSending(unittest.TestCase):
    @staticmethod
    def submit(to, text):
        """A SMS-SUBMIT as a client would type it, and its announced length."""
        body = text.encode("utf-16-be")
        address = sim.encode_address(to)
        tpdu = bytes([0x11, 0x00]) + address + bytes([0x00, 0x08, 0xA7, len(body)]) + body
        pdu = ("00" + tpdu.hex()).upper()
        return pdu, len(tpdu)

    def test_prompt_then_accept_and_decode(self):
        pdu, length = self.submit("13912345678", "测试 ok")
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMGS: 2\r\n\r\nOK\r\n")
            sent = bench.events("ttyUSB0", "sms")
            self.assertEqual(len(sent), 2)
            self.assertEqual(sent[0]["decoded"]["to"], "13912345678")
            self.assertEqual(sent[0]["decoded"]["text"], "测试 ok")
            self.assertEqual((sent[0]["announced"], sent[0]["length"]), (length, length))
            self.assertEqual(bench.state("ttyUSB0")["sent"][1]["pdu"], pdu)

    def test_send_script_injects_errors_in_turn(self):
        pdu, length = self.submit("13912345678", "retry")
        script = ["+CMS ERROR: 500", {"len": "+CMS ERROR: 304"}, "ERROR", "silent", "ok"]
        with Bench([modem("/dev/ttyUSB0", send=script)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMS ERROR: 500\r\n")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n+CMS ERROR: 304\r\n")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            port.write(pdu.encode() + b"\x1a")
            bench.wait_event("ttyUSB0", lambda e: e["outcome"] == "silent", kind="sms")
            self.assertEqual(port.pending(), b"")
            self.assertEqual(port.chat(b"AT+CMGS=%d\r" % length), b"\r\n> ")
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
            self.assertEqual([e["outcome"] for e in bench.events("ttyUSB0", "sms")],
                             ["+CMS ERROR: 500", "ERROR", "silent", "ok"])

    def test_wrong_length_or_form_is_refused_without_using_the_script(self):
        pdu, length = self.submit("13912345678", "x")
        with Bench([modem("/dev/ttyUSB0", send=["+CMS ERROR: 512"])]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            port.chat(b"AT+CMGS=%d\r" % (length + 1))
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMS ERROR: 304\r\n")
            port.chat(b"AT+CMGS=%d\r" % length)
            self.assertEqual(port.chat(pdu[:-3].encode() + b"\x1a"), b"\r\n+CMS ERROR: 304\r\n")
            port.chat(b"AT+CMGS=%d\r" % length)
            self.assertEqual(port.chat(pdu.encode() + b"\x1a"), b"\r\n+CMS ERROR: 512\r\n")
            outcomes = [e["outcome"] for e in bench.events("ttyUSB0", "sms")]
            self.assertEqual(outcomes, ["invalid", "invalid", "+CMS ERROR: 512"])

    def test_escape_cancels_and_no_sim_refuses(self):
        with Bench([modem("/dev/ttyUSB0"), modem("/dev/ttyUSB1", sim=False)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            port.chat(b"AT+CMGS=10\r")
            self.assertEqual(port.chat(b"0011\x1b"), b"\r\nOK\r\n")
            self.assertEqual(bench.events("ttyUSB0", "sms")[0]["outcome"], "cancelled")
            self.assertEqual(port.chat(b"AT\r"), b"\r\nOK\r\n")
            empty = ready(bench, "/dev/ttyUSB1")
            self.assertEqual(empty.chat(b"AT+CMGS=10\r"), b"\r\n+CMS ERROR: 310\r\n")


class SimulatorCdma(unittest.TestCase):
    def test_hcmgs_sends_ucs2_ended_by_zero_and_ctrl_z(self):
        # U+4E1A has 0x1A as its second byte: it must not end the message.
        text = "业务 ok"
        body = text.encode("utf-16-be") + b"\x00\x1a"
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON", send=["ok", "^HCMGSF: 96"])]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT^HSMSSS=0,0,6,0\r\n"), b"\r\nOK\r\n")
            self.assertEqual(port.chat(b"at+cmgf=0\r"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b"AT+CMGS=10\r"), b"\r\nERROR\r\n")
            self.assertEqual(port.chat(b'AT^HCMGS="13912345678"\r'), b"\r\n> ")
            port.write(body)
            self.assertEqual(port.read_until(b"^HCMGSS: 1\r\n"), b"\r\nOK\r\n\r\n^HCMGSS: 1\r\n")
            self.assertEqual(port.chat(b'AT^HCMGS="13912345678"\r'), b"\r\n> ")
            port.write(body)
            self.assertEqual(port.read_until(b"^HCMGSF: 96\r\n"), b"\r\n^HCMGSF: 96\r\n")
            sent = bench.events("ttyUSB0", "sms")[0]
            self.assertEqual((sent["to"], sent["text"]), ("13912345678", text))

    def test_hcmgl_and_hcmgr(self):
        storage = {"ME": [{"from": "13912345678", "time": "2023-05-17 08:30:00", "text": "hi there",
                           "encoding": 1, "stat": 0},
                          {"from": "10086", "time": "2023-05-18 09:10:11", "text": "你好",
                           "encoding": 6, "stat": 1}]}
        with Bench([modem("/dev/ttyUSB0", "CPhone_MC323_ON", storage=storage)]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            # Only the first storage changes, as 27.005 has it.
            self.assertEqual(port.chat(b'AT+CPMS="ME"\r\n'), b"\r\n+CPMS: 2,100,0,50,0,50\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT^HCMGL=4\r\n"),
                             b"\r\n^HCMGL:1,0\r\n^HCMGL:2,1\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT^HCMGR=1\r\n"),
                             b"\r\n^HCMGR:13912345678,2023,05,17,08,30,00,0,1,8,0,0,0,0\r\n"
                             b"hi there\x1a\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT^HCMGR=2\r\n"),
                             b"\r\n^HCMGR:10086,2023,05,18,09,10,11,0,6,4,0,0,0,1\r\n"
                             + "你好".encode("utf-16-be") + b"\x00\x1a\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT^HCMGL=4\r\n"),
                             b"\r\n^HCMGL:1,1\r\n^HCMGL:2,1\r\n\r\nOK\r\n")
            self.assertEqual(port.chat(b"AT+CMGR=1\r\n"), b"\r\nERROR\r\n")


if __name__ == "__main__":
    harness.main()
