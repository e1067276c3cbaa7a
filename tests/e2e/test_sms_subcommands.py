"""tarnel sms <sub-command> against simulated modems: the JSON report, the
storages it reads and clears, and what it does when a modem misbehaves."""

import json
import os
import re
import unittest

import harness
from harness import Bench

_UNESCAPE = {"\\": "\\", "t": "\t", "r": "\r", "n": "\n", "f": "\f"}


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: _UNESCAPE.get(m.group(1), m.group(0)), text)


def load_pdus():
    """Real PDUs by name (made with python3-gammu): {name: {"pdu", "from", "time", "text"}}."""
    out = {}
    with open(os.path.join(harness.FIXTURES, "pdu", "gammu.tsv"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            kind, name, pdu, tpa, scts, text = line.rstrip("\n").split("\t")[:6]
            if kind != "deliver":
                continue
            stamp = "%s-%s-%s %s:%s:%s" % tuple(scts[i:i + 2] for i in range(0, 12, 2))
            out[name] = {"pdu": pdu, "from": tpa, "time": stamp, "text": _unescape(text)}
    return out


PDUS = load_pdus()


def stored(name, **extra):
    """A storage entry holding the real PDU `name`."""
    return dict({"pdu": PDUS[name]["pdu"], "stat": 1}, **extra)


def expected(name, storage, text=None):
    """The message object tarnel should report for the PDU `name`."""
    p = PDUS[name]
    return {"from": p["from"], "time": p["time"], "text": p["text"] if text is None else text,
            "storage": storage}


def modem(path, model="CPhone_EC20F", **extra):
    return dict({"path": path, "model": model}, **extra)


def sms(bench, sub, compact=False):
    """Runs "tarnel sms <sub>"; returns the parsed document."""
    result = bench.run_tarnel(["sms", sub])
    if result.rc != 0:
        raise AssertionError("tarnel sms %s: %r" % (sub, result))
    if compact:
        # One line, then the line end that follows every document.
        if not (result.out.endswith("\n\n") and result.out.count("\n") == 2):
            raise AssertionError("not one line and an empty line: %r" % result.out)
    elif result.out.count("\n") < 3:
        raise AssertionError("not the styled form: %r" % result.out)
    return json.loads(result.out)


def port_of(doc, name):
    matches = [p for p in doc.get("ports", []) if p["name"] == name]
    if len(matches) != 1:
        raise AssertionError("%s not reported once in %r" % (name, doc))
    return matches[0]


def storage_pdus(bench, name, mem):
    return [m["pdu"] for m in bench.state(name)["storage"][mem]]


def deletes(bench, name):
    """Storages emptied by a delete-all, in order."""
    return [e["mem"] for e in bench.events(name, "delete")]


def deleted(bench, name):
    """Indices deleted so far, by storage: {"SM": [1, 3], ...}."""
    out = {}
    for e in bench.events(name, "delete"):
        out.setdefault(e["mem"], []).extend(e["indices"])
    return {mem: sorted(indices) for mem, indices in out.items()}


class SmsRead(unittest.TestCase):
    def test_read_reports_sim_messages_then_modem_memory_and_keeps_them(self):
        storage = {"SM": [stored("Gsm7Ascii"), stored("Ucs2Chinese", stat=0)],
                   "ME": [stored("NationalSender"), stored("AlphanumericSender")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            before = {mem: storage_pdus(bench, "ttyUSB0", mem) for mem in ("SM", "ME")}
            # main lower-cases the sub-command; the report shows that form.
            doc = sms(bench, "READ")
            self.assertEqual(sorted(doc), ["check", "portcount", "ports", "seconds", "type"])
            self.assertEqual((doc["type"], doc["check"], doc["portcount"]), ("read", 1, 1))
            self.assertIsInstance(doc["seconds"], int)
            port = port_of(doc, "ttyUSB0")
            self.assertEqual(sorted(port), ["iccid", "imei", "msgcount", "msgs", "name", "usb"])
            self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM"), expected("Ucs2Chinese", "SIM"),
                                            expected("NationalSender", "DEV"),
                                            expected("AlphanumericSender", "DEV")])
            self.assertEqual(port["msgcount"], 4)
            self.assertEqual({mem: storage_pdus(bench, "ttyUSB0", mem) for mem in ("SM", "ME")}, before)
            self.assertEqual(deletes(bench, "ttyUSB0"), [])

    def test_sread_prints_one_line_then_an_empty_line(self):
        storage = {"SM": [stored("Ucs2Chinese")], "ME": [stored("ShortCode")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            doc = sms(bench, "sread", compact=True)
            self.assertEqual(doc["type"], "sread")
            self.assertEqual(port_of(doc, "ttyUSB0")["msgs"],
                             [expected("Ucs2Chinese", "SIM"), expected("ShortCode", "DEV")])

    def test_ports_without_messages_or_without_sim_card(self):
        modems = [modem("/dev/ttyUSB0"),
                  modem("/dev/ttyUSB1", sim=False, storage={"SM": [stored("Gsm7Ascii")]}),
                  modem("/dev/ttyUSB2", storage={"ME": [stored("Gsm7Greek")]})]
        with Bench(modems) as bench:
            doc = sms(bench, "read")
            # A port without SIM number is not usable and is left alone.
            self.assertEqual(doc["portcount"], 2)
            self.assertEqual([p["name"] for p in doc["ports"]], ["ttyUSB0", "ttyUSB2"])
            self.assertEqual(harness.without_identity(port_of(doc, "ttyUSB0")), {"name": "ttyUSB0", "msgcount": 0})
            self.assertEqual(port_of(doc, "ttyUSB2")["msgs"], [expected("Gsm7Greek", "DEV")])
            self.assertNotIn(b"CMGL", bench.rx("ttyUSB1"))

    def test_concatenated_parts_are_joined_whatever_their_storage_order(self):
        storage = {"SM": [stored("LongUcs2.3"), stored("LongUcs2.1"), stored("LongUcs2.2"),
                          stored("Gsm7Ascii")],
                   "ME": [stored("LongUcs2Ref16.2"), stored("LongUcs2Ref16.1")]}
        whole = "".join(PDUS["LongUcs2.%d" % i]["text"] for i in (1, 2, 3))
        whole16 = PDUS["LongUcs2Ref16.1"]["text"] + PDUS["LongUcs2Ref16.2"]["text"]
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = port_of(sms(bench, "read"), "ttyUSB0")
            self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM"),
                                            expected("LongUcs2.3", "SIM", text=whole),
                                            expected("LongUcs2Ref16.1", "DEV", text=whole16)])
            self.assertEqual(port["msgcount"], 3)


class SmsClear(unittest.TestCase):
    def test_readclear_reports_then_clears_both_storages_per_port(self):
        storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("NationalSender")]}
        modems = [modem("/dev/ttyUSB0", storage=storage),
                  modem("/dev/ttyUSB1", storage=storage, refuse_delete={"1": "+CMS ERROR: 500"})]
        with Bench(modems) as bench:
            doc = sms(bench, "readclear")
            self.assertEqual(doc["type"], "readclear")
            good, bad = port_of(doc, "ttyUSB0"), port_of(doc, "ttyUSB1")
            want = [expected("Gsm7Ascii", "SIM"), expected("NationalSender", "DEV")]
            self.assertEqual((good["msgs"], good["clear"]), (want, True))
            self.assertEqual((bad["msgs"], bad["clear"]), (want, False))
            self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1], "SM": [1]})
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})
            self.assertEqual(len(storage_pdus(bench, "ttyUSB1", "SM")), 1)
            self.assertEqual(len(storage_pdus(bench, "ttyUSB1", "ME")), 1)
            # Nothing comes back on the next run.
            self.assertEqual(harness.without_identity(port_of(sms(bench, "read"), "ttyUSB0")),
                             {"name": "ttyUSB0", "msgcount": 0})

    def test_sreadclear_is_compact_and_clears(self):
        storage = {"SM": [stored("ShortCode")], "ME": [stored("Ucs2Chinese")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            port = port_of(sms(bench, "sreadclear", compact=True), "ttyUSB0")
            self.assertEqual(port["msgs"], [expected("ShortCode", "SIM"), expected("Ucs2Chinese", "DEV")])
            self.assertIs(port["clear"], True)
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_a_message_missing_a_part_is_shown_by_read_and_reported_before_clearing(self):
        storage = {"SM": [stored("LongUcs2.3"), stored("Gsm7Ascii"), stored("LongUcs2.1")],
                   "ME": [stored("LongUcs2Ref16.2")]}
        present = PDUS["LongUcs2.1"]["text"] + PDUS["LongUcs2.3"]["text"]
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            by_text = lambda msgs: sorted(msgs, key=lambda m: (m["storage"], m["text"]))
            want = by_text([expected("Gsm7Ascii", "SIM"),
                            dict(expected("LongUcs2.1", "SIM", text=present), incomplete=True),
                            dict(expected("LongUcs2Ref16.2", "DEV"), incomplete=True)])
            # A plain read shows the parts there are, marked, and keeps them.
            self.assertEqual(by_text(port_of(sms(bench, "read"), "ttyUSB0")["msgs"]), want)
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])
            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            self.assertEqual(by_text(port["msgs"]), want)
            self.assertEqual(port["msgcount"], 3)
            self.assertIs(port["clear"], True)
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_clear_selects_and_clears_each_storage(self):
        storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("NationalSender")]}
        no_memory = {'AT+CPMS="ME"': "\r\n+CMS ERROR: 302\r\n"}
        modems = [modem("/dev/ttyUSB0", storage=storage),
                  modem("/dev/ttyUSB1", storage=storage, answers=no_memory)]
        with Bench(modems) as bench:
            doc = sms(bench, "clear")
            self.assertEqual(sorted(doc), ["check", "portcount", "ports", "seconds", "type"])
            self.assertEqual((doc["type"], doc["check"], doc["portcount"]), ("clear", 1, 2))
            self.assertEqual([harness.without_identity(p) for p in doc["ports"]],
                             [{"name": "ttyUSB0", "clear": True}, {"name": "ttyUSB1", "clear": True}])
            self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})
            self.assertEqual(deletes(bench, "ttyUSB0"), ["ME", "SM"])
            # A modem that cannot select its memory: the SIM card is still cleared.
            self.assertEqual(deletes(bench, "ttyUSB1"), ["SM"])
            self.assertEqual(len(storage_pdus(bench, "ttyUSB1", "ME")), 1)
            self.assertNotIn(b"CMGL", bench.rx("ttyUSB0"))

            doc = sms(bench, "sclear", compact=True)
            self.assertEqual([harness.without_identity(p) for p in doc["ports"]],
                             [{"name": "ttyUSB0", "clear": True}, {"name": "ttyUSB1", "clear": True}])

    def test_clear_fails_when_the_modem_refuses_the_delete(self):
        storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("NationalSender")]}
        refuses = {"AT+CMGD=0,4": ["\r\nOK\r\n", "\r\n+CMS ERROR: 321\r\n"]}
        with Bench([modem("/dev/ttyUSB0", storage=storage, answers=refuses)]) as bench:
            self.assertEqual([harness.without_identity(p) for p in sms(bench, "clear")["ports"]],
                             [{"name": "ttyUSB0", "clear": False}])

    def test_unknown_sub_command_touches_no_port(self):
        with Bench([modem("/dev/ttyUSB0", storage={"SM": [stored("Gsm7Ascii")]})]) as bench:
            doc = sms(bench, "list")
            self.assertEqual(sorted(doc), ["check", "seconds", "type"])
            self.assertEqual((doc["type"], doc["check"], doc["seconds"]), ("list", 0, 0))
            self.assertEqual(bench.rx("ttyUSB0"), b"")


class SmsFaults(unittest.TestCase):
    def test_malformed_pdus_beside_good_ones(self):
        good = PDUS["Gsm7Ascii"]["pdu"]
        broken = [
            {"pdu": good[:30]},                   # cut inside the sender
            {"pdu": good[:-20]},                  # user data shorter than its length
            {"pdu": "00"},                        # nothing after the centre
            {"pdu": "FF" * 12},                   # lengths past the end
            {"pdu": "0891683108100005F0040B91"},  # cut inside the address
            {"pdu": "NOT HEX AT ALL"},
            # A concatenated part claiming zero parts.
            {"from": "10086", "text": "zero", "time": "23-05-17 08:30:00",
             "concat": {"ref": 9, "total": 0, "seq": 1}},
        ]
        storage = {"SM": [stored("Gsm7Ascii")] + [dict(b, stat=1) for b in broken] + [stored("ShortCode")],
                   "ME": [dict(b, stat=1) for b in broken] + [stored("Ucs2Chinese")]}
        with Bench([modem("/dev/ttyUSB0", storage=storage)]) as bench:
            for sub in ("read", "sread"):
                port = port_of(sms(bench, sub, compact=sub == "sread"), "ttyUSB0")
                self.assertEqual(port["msgcount"], len(port["msgs"]))
                for want in (expected("Gsm7Ascii", "SIM"), expected("ShortCode", "SIM"),
                             expected("Ucs2Chinese", "DEV")):
                    self.assertIn(want, port["msgs"])
                for msg in port["msgs"]:
                    # An entry not read whole says so and carries what the modem gave.
                    keys = ["from", "kind", "raw", "storage", "text", "time"] if "kind" in msg else \
                        ["from", "storage", "text", "time"]
                    self.assertEqual(sorted(msg), keys)
                    self.assertEqual(msg.get("kind", "unreadable"), "unreadable")

    def test_modem_hanging_up_mid_listing(self):
        storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("NationalSender")]}
        plain = [modem("/dev/ttyUSB0", storage=storage), modem("/dev/ttyUSB1", storage=storage)]
        # How many commands the modem answers before the first listing.
        with Bench(plain) as bench:
            sms(bench, "read")
            heard = [c for c, _, outcome in bench.commands("ttyUSB0") if outcome != "wrong-speed"]
            before_listing = heard.index("AT+CMGL=4")
        hanging = [dict(plain[0], faults={"hangup_after": before_listing}), plain[1]]
        for sub in ("read", "readclear"):
            with Bench(hanging) as bench:
                doc = sms(bench, sub)
                self.assertEqual(doc["portcount"], 2)
                gone = port_of(doc, "ttyUSB0")
                self.assertEqual(gone["msgcount"], 0)
                self.assertNotIn("msgs", gone)
                self.assertEqual(bench.events("ttyUSB0", "command")[-1]["cmd"], "AT+CMGL=4")
                fine = port_of(doc, "ttyUSB1")
                self.assertEqual(fine["msgs"], [expected("Gsm7Ascii", "SIM"), expected("NationalSender", "DEV")])
                if sub == "readclear":
                    self.assertIs(gone["clear"], False)
                    self.assertIs(fine["clear"], True)
                    self.assertEqual(bench.state("ttyUSB1")["storage"], {"SM": [], "ME": []})

    def test_readclear_keeps_a_storage_whose_listing_was_cut_short(self):
        storage = {"SM": [stored("Gsm7Ascii")], "ME": [stored("NationalSender")]}
        sm_pdu = PDUS["Gsm7Ascii"]["pdu"]
        # The memory's listing (read first) stops inside its PDU and never
        # ends; the SIM card's is whole.
        cut = "\r\n+CMGL: 1,1,,27\r\n" + PDUS["NationalSender"]["pdu"][:20]
        whole = "\r\n+CMGL: 1,1,,%d\r\n%s\r\n\r\nOK\r\n" % (len(sm_pdu) // 2 - 9, sm_pdu)
        answers = {"AT+CMGL=4": [cut, whole]}
        with Bench([modem("/dev/ttyUSB0", storage=storage, answers=answers)], time1=5) as bench:
            port = port_of(sms(bench, "readclear"), "ttyUSB0")
            self.assertEqual(port["msgs"], [expected("Gsm7Ascii", "SIM")])
            self.assertIs(port["clear"], False)
            # The unreported message is still there; the reported one is gone.
            self.assertEqual(deletes(bench, "ttyUSB0"), ["SM"])
            self.assertEqual(storage_pdus(bench, "ttyUSB0", "ME"), [PDUS["NationalSender"]["pdu"]])
            self.assertEqual(storage_pdus(bench, "ttyUSB0", "SM"), [])


if __name__ == "__main__":
    harness.main()
