"""The modem simulator as a continuous receiver meets it: AT+CNMI, messages the
network delivers over time and on command, indications on the primary AT port
(or dropped), routed messages, status reports, a full storage, and a modem
unplugged and plugged in again."""

import os
import random
import re
import unittest

import harness
from harness import Bench

sim = harness.load_modemsim()

HI = {"from": "+8613900000000", "text": "hi", "time": "26-12-08 10:00:00"}
OFFER = b"\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK\r\n"
LISTING_LINE = re.compile(rb"\+CMGL: (\d+),(\d),,(\d+)\r\n([0-9A-F]+)\r\n")
CMTI = re.compile(rb'\r\n\+CMTI: "(\w\w)",(\d+)\r\n')


def info(line):
    return b"\r\n" + line + b"\r\n\r\nOK\r\n"


def ready(bench, path):
    port = bench.open_port(path)
    port.chat(b"ATE0\r")
    return port


def quiet(test, port):
    """Nothing unsolicited is waiting: a command's answer is all that comes."""
    test.assertEqual(port.chat(b"AT\r"), b"\r\nOK\r\n")


def count(bench, name, kind):
    return len(bench.events(name, kind))


def submit_pdu(to, text, report):
    """An SMS-SUBMIT without centre, asking for a status report when report is set."""
    udl, ud = sim.encode_user_data(text, 0)
    first = 0x11 | (0x20 if report else 0)
    return (bytes([0x00, first, 0x00]) + sim.encode_address(to) + bytes([0x00, 0x00, 0xAA, udl]) + ud).hex().upper()


def send(port, pdu):
    port.write(b"AT+CMGS=%d\r" % sim.tpdu_length(pdu))
    port.read_until(b"> ")
    answer = port.chat(pdu.encode() + b"\x1a")
    m = re.search(rb"\+CMGS: (\d+)", answer)
    assert m, answer
    return int(m.group(1))


class SimulatorCnmi(unittest.TestCase):
    def test_offer_query_and_refusals(self):
        modems = [{"path": "/dev/ttyUSB0"},
                  {"path": "/dev/ttyUSB1", "cnmi": "1,1,0,1,0",
                   "cnmi_offer": "+CNMI: (0,1),(0,1),(0),(0,1),(0)"}]
        # (tty, command, answer, +CNMI? afterwards)
        rows = [("ttyUSB0", b"AT+CNMI=?", OFFER, b"0,0,0,0,0"),
                ("ttyUSB0", b"AT+CNMI=2,1,0,2,0", b"\r\nOK\r\n", b"2,1,0,2,0"),
                ("ttyUSB0", b"AT+CNMI=1,2", b"\r\nOK\r\n", b"1,2,0,0,0"),
                ("ttyUSB0", b"AT+CNMI=2,1,,2", b"\r\nOK\r\n", b"2,1,0,2,0"),
                ("ttyUSB0", b"AT+CNMI=3,1,0,2,0", b"\r\n+CMS ERROR: 303\r\n", b"2,1,0,2,0"),
                ("ttyUSB0", b"AT+CNMI=2,1,1", b"\r\n+CMS ERROR: 303\r\n", b"2,1,0,2,0"),
                ("ttyUSB0", b"AT+CNMI=2,1,0,2,0,0", b"\r\n+CMS ERROR: 303\r\n", b"2,1,0,2,0"),
                ("ttyUSB0", b"AT+CNMI=x", b"\r\n+CMS ERROR: 303\r\n", b"2,1,0,2,0"),
                ("ttyUSB1", b"AT+CNMI=?", info(b"+CNMI: (0,1),(0,1),(0),(0,1),(0)"), b"1,1,0,1,0"),
                ("ttyUSB1", b"AT+CNMI=2,1", b"\r\n+CMS ERROR: 303\r\n", b"1,1,0,1,0"),
                ("ttyUSB1", b"AT+CNMI=0", b"\r\nOK\r\n", b"0,0,0,0,0")]
        with Bench(modems) as bench:
            ports = {name: ready(bench, "/dev/" + name) for name in ("ttyUSB0", "ttyUSB1")}
            for name, command, answer, after in rows:
                with self.subTest(command=command, tty=name):
                    self.assertEqual(ports[name].chat(command + b"\r"), answer)
                    self.assertEqual(ports[name].chat(b"AT+CNMI?\r"), info(b"+CNMI: " + after))

    def test_setting_is_the_modems_and_starts_afresh_on_replug(self):
        two = {"ttys": [{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1", "role": "at2"}], "cnmi": "1,1,0,0,0"}
        with Bench([two]) as bench:
            first, second = ready(bench, "/dev/ttyUSB0"), ready(bench, "/dev/ttyUSB1")
            self.assertEqual(second.chat(b"AT+CNMI=2,1,0,2,0\r"), b"\r\nOK\r\n")
            self.assertEqual(first.chat(b"AT+CNMI?\r"), info(b"+CNMI: 2,1,0,2,0"))
            path = bench.replug("ttyUSB0")
            self.assertEqual(ready(bench, path).chat(b"AT+CNMI?\r"), info(b"+CNMI: 1,1,0,0,0"))

    def test_bad_configurations_are_refused(self):
        rows = [({"cnmi": "3,1"}, "cnmi '3,1'"), ({"cnmi": "a"}, "cnmi 'a'"),
                ({"cnmi_offer": "+CNMI: (0-2),(0-3)"}, "cnmi_offer"),
                ({"drop_indications": 1.5}, "drop_indications"),
                ({"arrivals": [{"at": 1, "storage": "SM", "message": HI}]}, "an arrival \"at\""),
                ({"arrivals": [{"at": 1, "after": "AT", "message": HI}]}, "either \"after\" or \"at\""),
                ({"storage": {"SR": [{"status_report": {"ref": 1}}]}}, "status report")]
        for cfg, message in rows:
            with self.subTest(cfg=cfg):
                result = harness.run_simulator([dict({"path": "/dev/ttyUSB0"}, **cfg)])
                self.assertEqual(result.returncode, 2, result)
                self.assertIn(message, result.stderr)


class SimulatorArrivals(unittest.TestCase):
    def test_what_cnmi_does_with_a_delivered_message(self):
        # (power-on AT+CNMI, AT+CPMS, stored in, line on the primary AT port or None)
        rows = [("0,0,0,0,0", b'"SM","SM","SM"', "SM", None),
                ("2,1,0,0,0", b'"SM","SM","SM"', "SM", b'+CMTI: "SM",1'),
                ("1,1", b'"SM","SM","ME"', "ME", b'+CMTI: "ME",1'),
                ("2,3", b'"ME","ME","SM"', "SM", b'+CMTI: "SM",1'),
                ("2,0", b'"SM","SM","SM"', "SM", None),
                ("0,2", b'"SM","SM","SM"', "SM", None),
                ("2,2", b'"SM","SM","SM"', None, b"+CMT: ,%d")]
        # The primary AT port comes second: indications must go there only.
        modems = [{"ttys": [{"path": "/dev/ttyUSB%d" % (2 * i), "role": "at2"},
                            {"path": "/dev/ttyUSB%d" % (2 * i + 1)}], "cnmi": cnmi}
                  for i, (cnmi, _, _, _) in enumerate(rows)]
        part = dict(HI, text="first part", time="26-12-08 09:55:00", concat={"ref": 9, "total": 2, "seq": 1})
        with Bench(modems) as bench:
            for i, (cnmi, cpms, mem, line) in enumerate(rows):
                with self.subTest(cnmi=cnmi, cpms=cpms):
                    second, primary = (ready(bench, "/dev/ttyUSB%d" % n) for n in (2 * i, 2 * i + 1))
                    primary.chat(b"AT+CPMS=" + cpms + b"\r")
                    # Delivered through the name of the port that does not announce.
                    bench.deliver("ttyUSB%d" % (2 * i), part)
                    name = "ttyUSB%d" % (2 * i + 1)
                    pdu = sim.encode_deliver(part["from"], part["text"], part["time"], "+8613800100500",
                                             concat=part["concat"])
                    if mem is None:
                        routed = bench.wait_event(name, kind="routed")
                        self.assertEqual(routed["pdu"], pdu)
                        head = line % sim.tpdu_length(pdu)
                        self.assertEqual(primary.read_until(pdu.encode() + b"\r\n"),
                                         b"\r\n" + head + b"\r\n" + pdu.encode() + b"\r\n")
                        self.assertEqual(bench.state(name)["storage"]["SM"], [])
                    else:
                        stored = bench.wait_event(name, kind="stored")
                        self.assertEqual((stored["mem"], stored["index"], stored["pdu"]), (mem, 1, pdu))
                        if line is not None:
                            self.assertEqual(primary.read_until(CMTI), b"\r\n" + line + b"\r\n")
                        primary.chat(b'AT+CPMS="%s"\r' % mem.encode())
                        (index, stat, _, listed), = LISTING_LINE.findall(primary.chat(b"AT+CMGL=4\r"))
                        self.assertEqual((index, stat), (b"1", b"0"))
                        decoded = sim.decode_pdu(listed.decode())
                        self.assertEqual((decoded["text"], decoded["scts"][:12], decoded["concat"]["seq"]),
                                         ("first part", "261208095500", 1))
                    quiet(self, primary)
                    quiet(self, second)

    def test_dropped_indications_follow_the_seed(self):
        rows = [(0.0, "a"), (1.0, "a"), (0.5, 7), (0.2, "soak")]
        messages = [dict(HI, text="message %d" % n) for n in range(20)]
        modems = [{"path": "/dev/ttyUSB%d" % i, "cnmi": "2,1", "capacity": {"SM": 50},
                   "drop_indications": drop, "seed": seed} for i, (drop, seed) in enumerate(rows)]
        with Bench(modems) as bench:
            for i, (drop, seed) in enumerate(rows):
                with self.subTest(drop=drop, seed=seed):
                    name = "ttyUSB%d" % i
                    port = ready(bench, "/dev/" + name)
                    bench.deliver(name, messages)
                    harness.wait_for(lambda: count(bench, name, "indicated") + count(bench, name, "indication_dropped")
                                     == 20, 10, "20 announced or dropped")
                    rng = random.Random("indications %s" % seed)
                    dropped = sum(rng.random() < drop for _ in messages)
                    self.assertEqual(count(bench, name, "indication_dropped"), dropped)
                    announced = sorted(int(e["line"].split(",")[1]) for e in bench.events(name, "indicated"))
                    self.assertEqual(len(announced), 20 - dropped)
                    seen = [int(port.read_until(CMTI).split(b",")[1]) for _ in announced]
                    self.assertEqual(seen, announced)
                    quiet(self, port)
                    self.assertEqual(len(bench.state(name)["storage"]["SM"]), 20)

    def test_arrivals_at_a_time_after_the_start(self):
        arrivals = [{"at": 0.6, "message": dict(HI, text="later")},
                    {"at": 0.2, "message": dict(HI, text="sooner")}]
        with Bench([{"path": "/dev/ttyUSB0", "cnmi": "2,1", "arrivals": arrivals}]) as bench:
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.read_until(CMTI), b'\r\n+CMTI: "SM",1\r\n')
            self.assertEqual(port.read_until(CMTI), b'\r\n+CMTI: "SM",2\r\n')
            stored = bench.events("ttyUSB0", "stored")
            self.assertEqual([sim.decode_pdu(e["pdu"])["text"] for e in stored], ["sooner", "later"])
            self.assertGreater(stored[1]["t"] - stored[0]["t"], 0.3)

    def test_full_storage_holds_messages_and_stores_them_silently_after_a_delete(self):
        full = {"path": "/dev/ttyUSB0", "cnmi": "2,1", "capacity": {"SM": 2},
                "storage": {"SM": [dict(HI, text="old 1"), dict(HI, text="old 2")]}}
        with Bench([full]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            bench.deliver("ttyUSB0", [dict(HI, text="new 1"), dict(HI, text="new 2")])
            harness.wait_for(lambda: count(bench, "ttyUSB0", "storage_full") == 2, 10, "both held")
            quiet(self, port)
            self.assertEqual(port.chat(b"AT+CPMS?\r"), info(b'+CPMS: "SM",2,2,"SM",2,2,"SM",2,2'))
            # Room for one: the older of the two held comes in, unannounced.
            self.assertEqual(port.chat(b"AT+CMGD=2\r"), b"\r\nOK\r\n")
            late = bench.wait_event("ttyUSB0", kind="stored_late")
            self.assertEqual((late["mem"], late["index"], sim.decode_pdu(late["pdu"])["text"]), ("SM", 2, "new 1"))
            self.assertEqual(port.chat(b"AT+CMGD=0,4\r"), b"\r\nOK\r\n")
            harness.wait_for(lambda: count(bench, "ttyUSB0", "stored_late") == 2, 10, "the second stored")
            quiet(self, port)
            texts = [sim.decode_pdu(pdu.decode())["text"] for _, _, _, pdu in
                     LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r"))]
            self.assertEqual(texts, ["new 2"])
            self.assertEqual(count(bench, "ttyUSB0", "indicated"), 0)
            # Room again: a new message is announced as before.
            bench.deliver("ttyUSB0", dict(HI, text="new 3"))
            self.assertEqual(port.read_until(CMTI), b'\r\n+CMTI: "SM",2\r\n')


class SimulatorStatusReports(unittest.TestCase):
    def test_report_of_a_send_that_asked_for_one_is_stored_in_sr(self):
        modem = {"path": "/dev/ttyUSB0", "cnmi": "2,1,0,2,0", "storage": {"SR": []}, "status_report_ms": 100}
        with Bench([modem]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CPMS=?\r"), info(b'+CPMS: ("SM","ME","SR"),("SM","ME"),("SM","ME")'))
            send(port, submit_pdu("+8613900000001", "no report", False))
            ref = send(port, submit_pdu("+8613900000001", "report please", True))
            self.assertEqual(port.read_until(re.compile(rb"\+CDSI: .*\r\n")), b'\r\n+CDSI: "SR",1\r\n')
            stored = bench.events("ttyUSB0", "stored")
            self.assertEqual([(e["mem"], e["index"]) for e in stored], [("SR", 1)])
            self.assertEqual(port.chat(b'AT+CPMS="SR"\r'), info(b"+CPMS: 1,20,0,50,0,50"))
            (index, stat, length, pdu), = LISTING_LINE.findall(port.chat(b"AT+CMGL=4\r"))
            self.assertEqual((index, stat, int(length)), (b"1", b"0", sim.tpdu_length(pdu.decode())))
            report = sim.decode_pdu(pdu.decode())
            self.assertEqual((report["type"], report["mr"], report["to"], report["status"]),
                             ("status_report", ref, "+8613900000001", 0))
            self.assertEqual(port.chat(b"AT+CMGR=1\r"),
                             info(b"+CMGR: 1,,%s\r\n%s" % (length, pdu)))
            self.assertEqual(port.chat(b"AT+CMGD=1\r"), b"\r\nOK\r\n")
            self.assertEqual(bench.events("ttyUSB0", "delete")[-1]["indices"], [1])
            self.assertEqual(bench.events("ttyUSB0", "delete")[-1]["mem"], "SR")
            self.assertEqual(port.chat(b"AT+CMGL=4\r"), b"\r\nOK\r\n")

    def test_where_a_delivered_report_goes(self):
        report = {"status_report": {"ref": 42, "to": "+8613900000001", "time": "26-12-08 10:00:00",
                                    "done": "26-12-08 10:00:05", "status": 0}}
        pdu = sim.encode_status_report(report["status_report"], "+8613800100500")
        # (AT+CNMI, has SR, event, line on the port)
        rows = [("2,1,0,2,0", True, "stored", b'\r\n+CDSI: "SR",1\r\n'),
                ("2,1,0,2,0", False, "stored", b'\r\n+CDSI: "SM",1\r\n'),
                ("0,0,0,2,0", True, "stored", None),
                ("0,0,0,1,0", True, "stored", None),
                ("2,1,0,1,0", True, "routed", b"\r\n+CDS: %d\r\n%s\r\n" % (sim.tpdu_length(pdu), pdu.encode())),
                ("2,1,0,0,0", True, "report_discarded", None)]
        modems = [dict({"path": "/dev/ttyUSB%d" % i, "cnmi": cnmi}, **({"storage": {"SR": []}} if sr else {}))
                  for i, (cnmi, sr, _, _) in enumerate(rows)]
        with Bench(modems) as bench:
            for i, (cnmi, sr, kind, line) in enumerate(rows):
                with self.subTest(cnmi=cnmi, sr=sr):
                    name = "ttyUSB%d" % i
                    port = ready(bench, "/dev/" + name)
                    bench.deliver(name, report)
                    self.assertEqual(bench.wait_event(name, kind=kind)["pdu"], pdu)
                    if line is not None:
                        self.assertEqual(port.read_until(line), line)
                    quiet(self, port)
            decoded = sim.decode_pdu(pdu)
            self.assertEqual((decoded["scts"][:12], decoded["done"][:12]), ("261208100000", "261208100005"))


class SimulatorUnplug(unittest.TestCase):
    def test_unplugged_modem_keeps_its_messages_and_comes_back_under_new_numbers(self):
        two = {"ttys": [{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1", "role": "at2"}],
               "cnmi": "0,0", "storage": {"SM": [dict(HI, text="kept")]}}
        with Bench([two, {"path": "/dev/ttyUSB2"}]) as bench:
            port = ready(bench, "/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT+CNMI=2,1\r"), b"\r\nOK\r\n")
            self.assertEqual(bench.unplug("ttyUSB1"), "/dev/ttyUSB1")
            self.assertEqual(bench.events("ttyUSB0", "unplug")[0]["path"], "/dev/ttyUSB0")
            self.assertFalse(os.path.lexists("/dev/ttyUSB0") or os.path.lexists("/dev/ttyUSB1"))
            with self.assertRaises(EOFError):
                port.read_until(b"OK", timeout=2)
            bench.deliver("ttyUSB0", dict(HI, text="while away"))
            bench.wait_event("ttyUSB0", kind="deliver")
            self.assertEqual(count(bench, "ttyUSB0", "stored"), 0)
            # The old numbers count as held; ttyUSB2 is the other modem's.
            self.assertEqual(bench.plug("ttyUSB0"), "/dev/ttyUSB3")
            self.assertEqual(bench.events("ttyUSB1", "plug")[0], dict(bench.events("ttyUSB1", "plug")[0],
                                                                      old="/dev/ttyUSB1", path="/dev/ttyUSB4"))
            stored = bench.wait_event("ttyUSB0", kind="stored")
            self.assertEqual(stored["index"], 2)
            back = ready(bench, "/dev/ttyUSB3")
            # Power-on settings again: the arrival came while AT+CNMI was the configured one.
            self.assertEqual(back.chat(b"AT+CNMI?\r"), info(b"+CNMI: 0,0,0,0,0"))
            self.assertEqual(count(bench, "ttyUSB0", "indicated"), 0)
            texts = [sim.decode_pdu(pdu.decode())["text"] for _, _, _, pdu in
                     LISTING_LINE.findall(back.chat(b"AT+CMGL=4\r"))]
            self.assertEqual(texts, ["kept", "while away"])
            # Replug still works after a plug.
            self.assertEqual(bench.replug("ttyUSB0"), "/dev/ttyUSB0")

    def test_usb_device_leaves_sys_and_comes_back(self):
        usb = {"usb": {"position": "1-2", "vendor": "2c7c", "product": "0125", "serial": "W1",
                       "manufacturer": "Acme", "product_name": "LTE"},
               "ttys": [{"role": "diag"}, {"role": "at"}]}
        with Bench([usb]) as bench:
            self.assertEqual(sorted(os.listdir("/sys/class/tty")), ["ttyUSB0", "ttyUSB1"])
            self.assertEqual(bench.unplug("ttyUSB0"), "/dev/ttyUSB0")
            self.assertEqual(os.listdir("/sys/class/tty"), [])
            self.assertFalse(os.path.lexists("/dev/serial/by-id/usb-Acme_LTE_W1-if01-port0"))
            # Delivered while away: it waits, then arrives with the device.
            bench.deliver("ttyUSB0", HI)
            bench.wait_event("ttyUSB1", kind="deliver")
            self.assertEqual(bench.plug("ttyUSB1"), "/dev/ttyUSB3")
            self.assertEqual(sorted(os.listdir("/sys/class/tty")), ["ttyUSB2", "ttyUSB3"])
            self.assertEqual(os.path.realpath("/dev/serial/by-id/usb-Acme_LTE_W1-if01-port0"),
                             os.path.realpath("/dev/ttyUSB3"))
            self.assertEqual(bench.wait_event("ttyUSB1", kind="stored")["index"], 1)


if __name__ == "__main__":
    harness.main()
