"""One modem, one identity: the ttys of a modem share one row, one send and
one read; modems are chosen by name, path, link, IMEI, ICCID or USB position,
also after their ttys were renumbered."""

import json
import os
import re
import subprocess
import unittest

import harness
from detect_support import CATALOGUES, parse_screen
from harness import Bench

NUMBER = "13912345678"
NO_FIXED = "[comm]\nfixedports=0\n"


def imei(n):
    return "8600000000%05d" % n


def iccid(n):
    return "898600000000000%05d" % n


def usb_modem(n, vendor="2c7c", silent=("diag", "nmea"), **extra):
    """A modem on USB at 1-<n+1> with two non-AT ttys and two AT ttys."""
    roles = [{"role": role} for role in silent] + [{"role": "at"}, {"role": "at2"}]
    return dict({"usb": {"position": "1-%d" % (n + 1), "vendor": vendor, "product": "0125",
                         "serial": "SN%04d" % n},
                 "model": "CPhone_EC20F", "imei": imei(n), "iccid": iccid(n), "ttys": roles}, **extra)


def document(result):
    if result.err or not result.out.endswith("}\n\n") and not result.out.endswith("}\n"):
        raise AssertionError("one JSON document and nothing on standard error expected: %r" % result)
    return json.loads(result.out)


def sent(bench, name):
    """The messages the simulated modem behind tty `name` accepted."""
    return [e for e in bench.events(name) if e.get("cmd", "").startswith("AT+CMGS")]


def wrote_to(bench, name):
    path = os.path.join(bench.logdir, name + ".rx")
    return os.path.exists(path) and os.path.getsize(path) > 0


class Grouping(unittest.TestCase):
    def test_bank_of_modems_with_four_ttys_each(self):
        modems = [usb_modem(n) for n in range(16)]
        with Bench(modems, time1=None, set_ini=NO_FIXED) as bench:
            menu = bench.run_tarnel([])
            rows = parse_screen(menu.raw_out, CATALOGUES["en"])[2]
            self.assertEqual(len(rows), 16, menu)
            self.assertIn("\t16 modems on 64 ports\n", menu.out)
            # Each row is the modem's AT port (the third tty); the others get none.
            self.assertEqual(sorted(row.split()[0].decode() for row in rows),
                             sorted("ttyUSB%d" % (4 * n + 2) for n in range(16)))
            # The diagnostics and GPS ports of a modem in the role table are never opened.
            for n in range(16):
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % (4 * n)))
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % (4 * n + 1)))
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(sorted(r["com"] for r in result["result"]),
                             sorted("ttyUSB%d" % (4 * n + 2) for n in range(16)))
            self.assertTrue(all(r["code"] == 0 for r in result["result"]), result)
            report = document(bench.run_tarnel(["sms", "read"]))
            self.assertEqual(report["portcount"], 16)
            self.assertEqual(len(report["ports"]), 16)

    def test_two_at_ttys_without_sysfs_send_once(self):
        modem = {"model": "CPhone_EC20F", "imei": imei(1), "iccid": iccid(1),
                 "ttys": [{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1", "role": "at2"}]}
        with Bench([modem, {"path": "/dev/ttyUSB2", "model": "CPhone_EC20F", "imei": imei(2), "iccid": iccid(2)}],
                   set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual([r["com"] for r in result["result"]], ["ttyUSB0", "ttyUSB2"])
            self.assertEqual(len(sent(bench, "ttyUSB0")) + len(sent(bench, "ttyUSB1")), 1)
            report = document(bench.run_tarnel(["sms", "read"]))
            self.assertEqual(report["portcount"], 2)

    def test_same_imei_with_other_sims_stays_two_modems(self):
        modems = [{"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "imei": imei(7), "iccid": iccid(n)}
                  for n in range(2)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual([r["com"] for r in result["result"]], ["ttyUSB0", "ttyUSB1"])

    def test_bridge_ports_are_modems_of_their_own(self):
        modems = [{"usb": {"position": "2-1", "driver": "ch341", "vendor": "1a86", "product": "55d7"},
                   "path": "/dev/ttyUSB%d" % n, "interface": n, "model": "CPhone_EC20F",
                   "imei": imei(n), "iccid": iccid(n)} for n in range(4)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            menu = bench.run_tarnel([])
            self.assertEqual(len(parse_screen(menu.raw_out, CATALOGUES["en"])[2]), 4)
            self.assertNotIn("modems on", menu.out)
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(len(result["result"]), 4)
            # A usb: item for the bridge names four modems: refused, nothing sent.
            refused = document(bench.run_tarnel(["usb:2-1", NUMBER, "hello"]))
            self.assertEqual((refused["code"], refused["error"]), (1, "usb:2-1: names 4 modems"))
            self.assertEqual(sum(len(sent(bench, "ttyUSB%d" % n)) for n in range(4)), 4)

    def test_too_few_open_files_probe_in_turns(self):
        # A hard limit the program cannot raise past: 64 ttys do not fit at
        # once beside its reserve, so the modems are probed in turns.
        modems = [usb_modem(n, vendor="2c7d", silent=("silent", "silent")) for n in range(16)]
        with Bench(modems, time1=None, set_ini=NO_FIXED) as bench:
            result = bench.run(["prlimit", "--nofile=100:100"] + bench.tarnel_argv(["sscan"]))
            doc = document(result)
            self.assertEqual(sorted(m["name"] for m in doc["modems"]),
                             sorted("ttyUSB%d" % (4 * n + 2) for n in range(16)))
            self.assertTrue(all(m["usable"] for m in doc["modems"]), doc)

    def test_unknown_device_silent_ttys_give_up_once_one_answers(self):
        modems = [usb_modem(n, vendor="2c7d", silent=("silent", "silent")) for n in range(2)]
        with Bench(modems, time1=None, set_ini=NO_FIXED) as bench:
            result = document(bench.run_tarnel([NUMBER, "hello"]))
            self.assertEqual(sorted(r["com"] for r in result["result"]), ["ttyUSB2", "ttyUSB6"])


class Choosing(unittest.TestCase):
    def test_every_form_of_item_chooses_the_modem(self):
        modems = [usb_modem(0), usb_modem(1, iccid="8986000000000000001F")]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            by_id = "/dev/serial/by-id/" + sorted(n for n in os.listdir("/dev/serial/by-id") if "SN0001" in n
                                                   and "if03" in n)[0]
            rows = [("USB6", "ttyUSB6"), ("USB5", "ttyUSB6"), ("/dev/ttyUSB7", "ttyUSB6"), (by_id, "ttyUSB6"),
                    ("imei:" + imei(1), "ttyUSB6"), ("iccid:8986000000000000001", "ttyUSB6"),
                    ("iccid:8986000000000000001F", "ttyUSB6"), ("usb:1-2", "ttyUSB6"), ("usb:1-1", "ttyUSB2"),
                    ("USB2,usb:1-1,imei:" + imei(0), "ttyUSB2")]
            for item, com in rows:
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual([r["com"] for r in result["result"]], [com], result)
                    self.assertEqual(result["result"][0]["code"], 0, result)

    def test_items_follow_the_modem_after_renumbering(self):
        with Bench([usb_modem(0), usb_modem(1)], set_ini=NO_FIXED) as bench:
            moved = os.path.basename(bench.replug("ttyUSB6"))
            self.assertNotEqual(moved, "ttyUSB6")
            for item in ("imei:" + imei(1), "iccid:" + iccid(1), "usb:1-2"):
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual([r["com"] for r in result["result"]], [moved], result)

    def test_bad_items_touch_nothing(self):
        rows = ["imei:", "imei:12a", "iccid:", "usb:", "usb:1-", "foo:1", "/tmp/x", "/dev/null", "USB2,imei:"]
        with Bench([usb_modem(0)], set_ini=NO_FIXED) as bench:
            for item in rows:
                with self.subTest(item=item):
                    result = document(bench.run_tarnel([item, NUMBER, "hello"]))
                    self.assertEqual((result["code"], result["message"], result["result"]),
                                     (1, "com port error", []))
                    self.assertTrue(result["error"].startswith(item.split(",")[-1]), result)
            for n in range(4):
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % n))


def stored(n):
    return {"SM": [{"from": "+8613800000000", "text": "for modem %d" % n}]}


class SmsWithPorts(unittest.TestCase):
    def test_readclear_touches_only_the_named_modems(self):
        modems = [usb_modem(n, storage=stored(n)) for n in range(3)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            doc = document(bench.run_tarnel(["sms", "readclear", "usb:1-2,imei:%s,USB40" % imei(1)]))
            self.assertEqual((doc["check"], doc["portcount"]), (1, 1))
            named, unknown = doc["ports"]
            self.assertEqual((named["name"], named["imei"], named["iccid"], named["usb"], named["clear"]),
                             ("ttyUSB6", imei(1), iccid(1), "1-2", True))
            self.assertEqual([m["text"] for m in named["msgs"]], ["for modem 1"])
            self.assertEqual(unknown, {"name": "ttyUSB40", "error": "No Such Port", "imei": "", "iccid": "", "usb": ""})
            # The other modems were examined (an imei: item looks at every
            # candidate) but neither read nor cleared.
            for n in (2, 10):
                self.assertEqual(len(bench.state("ttyUSB%d" % n)["storage"]["SM"]), 1, n)
                self.assertNotIn(b"AT+CMGL", bench.rx("ttyUSB%d" % n), n)
            self.assertEqual(bench.state("ttyUSB6")["storage"]["SM"], [])

    def test_named_by_port_only_those_ttys_are_opened(self):
        modems = [usb_modem(n, storage=stored(n)) for n in range(3)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            doc = document(bench.run_tarnel(["sms", "sreadclear", "USB5"]))  # the GPS port of the second modem
            self.assertEqual([p["name"] for p in doc["ports"]], ["ttyUSB6"])
            for n in (0, 1, 2, 3, 4, 5, 8, 9, 10, 11):
                self.assertFalse(wrote_to(bench, "ttyUSB%d" % n), n)

    def test_a_named_modem_without_sim_says_why(self):
        modems = [usb_modem(0), usb_modem(1, sim=False)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            doc = document(bench.run_tarnel(["sms", "read", "USB2,USB6"]))
            self.assertEqual(doc["portcount"], 1)
            self.assertEqual([(p["name"], p.get("error")) for p in doc["ports"]],
                             [("ttyUSB2", None), ("ttyUSB6", "No SIM CARD In Device")])

    def test_bad_or_too_many_arguments_touch_nothing(self):
        with Bench([usb_modem(0, storage=stored(0))], set_ini=NO_FIXED) as bench:
            rows = [(["sms", "sreadclear", "iccid:x"], "iccid:x: digits expected after \"iccid:\""),
                    (["sms", "readclear", "USB2", "USB3"], "too many arguments: sms <sub-command> [ports]")]
            for argv, error in rows:
                with self.subTest(argv=argv):
                    doc = document(bench.run_tarnel(argv))
                    self.assertEqual((doc["check"], doc["error"]), (0, error))
                    self.assertNotIn("ports", doc)
            self.assertFalse(wrote_to(bench, "ttyUSB2"))


class ScanDocument(unittest.TestCase):
    def test_one_object_per_modem(self):
        modems = [usb_modem(0), {"path": "/dev/ttyUSB9", "model": "CPhone_MH5000", "imei": imei(9), "sim": False}]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            compact = bench.run_tarnel(["sscan"])
            self.assertEqual(compact.out.count("\n"), 2, compact)
            doc = document(compact)
            self.assertEqual((doc["code"], doc["message"]), (0, "param is ok"))
            first, second = doc["modems"]
            self.assertEqual(first, {"name": "ttyUSB2", "ttys": ["ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"],
                                     "second": "ttyUSB3", "usb": "1-1", "usbvendor": "2c7c", "usbproduct": "0125",
                                     "usbserial": "SN0000", "model": "EC20F", "baud": 9600, "imei": imei(0),
                                     "iccid": iccid(0), "signal": first["signal"], "usable": True,
                                     "sim": "ready", "registration": "home", "operator": "Test Network",
                                     "technology": "lte", "dbm": first["dbm"], "quality": first["quality"]})
            self.assertRegex(first["signal"], r"^\d+,\d+$")
            self.assertEqual(first["dbm"], -113 + 2 * int(first["signal"].split(",")[0]))
            self.assertEqual((second["name"], second["ttys"], second["second"], second["usb"], second["model"],
                              second["iccid"], second["usable"]), ("ttyUSB9", ["ttyUSB9"], "", "", "MH5000", "", False))
            # A modem without a SIM is asked too, and says so.
            self.assertEqual((second["sim"], second["operator"]), ("absent", ""))
            # Members in the JSON library's order, like every document.
            styled = bench.run_tarnel(["scan", "imei:" + imei(0)])
            self.assertEqual([m["name"] for m in document(styled)["modems"]], ["ttyUSB2"])
            self.assertLess(styled.out.index('"baud"'), styled.out.index('"usbvendor"'))

    def test_health_of_every_modem(self):
        # name, the simulated modem's health, then sim, registration, operator, technology, dbm, quality.
        rows = [
            ("ttyUSB0", {}, "ready", "home", "Test Network", "lte", -67, "excellent"),
            ("ttyUSB1", {"cpin": "SIM PIN"}, "PIN needed", "not registered", "", "unknown", -67, "excellent"),
            ("ttyUSB2", {"creg": 3, "cgreg": 3, "csq": "4,99"}, "ready", "denied", "", "unknown", -105, "poor"),
            # LTE only: +CREG says denied, +CEREG registered.
            ("ttyUSB3", {"creg": 3, "cgreg": 3, "cereg": 1, "act": 7, "operator": {"long": "Op, \"LTE\""}},
             "ready", "home", "Op, \"LTE\"", "lte", -67, "excellent"),
            ("ttyUSB4", {"csq": "99,99", "act": 2}, "ready", "home", "Test Network", "umts", None, "unknown"),
            ("ttyUSB5", {"cfun": 4}, "ready", "radio off", "", "unknown", -67, "excellent"),
            # Answers no AT at all: never asked, everything unknown.
            ("ttyUSB6", {"speeds": [1200]}, "unknown", "unknown", "", "unknown", None, "unknown"),
        ]
        modems = [dict({"path": "/dev/" + name, "model": "CPhone_EC20F", "imei": imei(n)}, **cfg)
                  for n, (name, cfg, *_) in enumerate(rows)]
        with Bench(modems, set_ini=NO_FIXED) as bench:
            # The same English words from the Chinese build.
            for variant in ("en", "zh"):
                doc = document(bench.run_tarnel(["sscan"], binary=harness.tarnel_binary(variant)))
                got = {m["name"]: m for m in doc["modems"]}
                for name, _, *expected in rows:
                    with self.subTest(name, variant=variant):
                        self.assertEqual([got[name][k] for k in HEALTH_MEMBERS], expected)
            # Each answering modem got its queries in each run, the silent one none; at most 7 beyond detection.
            for name, *_ in rows[:-1]:
                queries = [c for c, _, _ in bench.commands(name) if HEALTH_QUERY.match(c)]
                self.assertEqual(queries.count("AT+CPIN?"), 2, name)
                self.assertLessEqual(len(queries), 2 * 7, (name, queries))
            self.assertNotIn(b"AT+CPIN", bench.rx("ttyUSB6"))
            # No PIN is ever sent to a locked SIM.
            self.assertNotIn(b"AT+CPIN=", bench.rx("ttyUSB1"))


HEALTH_MEMBERS = ("sim", "registration", "operator", "technology", "dbm", "quality")
# The commands of the health queries; the detection sends none of them.
HEALTH_QUERY = re.compile(r"^AT\+(CMEE|CPIN|CREG|CGREG|CEREG|COPS|CFUN|CSCS)")


class DataConnection(unittest.TestCase):
    def test_a_held_second_at_port_is_left_alone_and_the_modem_works(self):
        import fcntl
        for vendor in ("2c7c", "2c7d"):  # in the role table, and probed tty by tty
            with self.subTest(vendor=vendor), Bench([usb_modem(0, vendor=vendor)], set_ini=NO_FIXED) as bench:
                # pppd on the second AT port: its lock file and a flock.
                lock = os.path.join(harness.LOCK_FOLDER, "LCK..ttyUSB3")
                with open(lock, "w") as f:
                    f.write("%10d\n" % os.getpid())
                fd = os.open("/dev/ttyUSB3", os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                try:
                    result = document(bench.run_tarnel([NUMBER, "hello"]))
                    self.assertEqual([(r["com"], r["code"]) for r in result["result"]], [("ttyUSB2", 0)])
                    scan = document(bench.run_tarnel(["sscan"]))
                    self.assertEqual([(m["name"], m["second"], m["usable"]) for m in scan["modems"]],
                                     [("ttyUSB2", "", True)])
                    self.assertFalse(wrote_to(bench, "ttyUSB3"))
                    with open(lock) as f:
                        self.assertEqual(int(f.read()), os.getpid())
                finally:
                    os.close(fd)
                    os.unlink(lock)


class RunsTogether(unittest.TestCase):
    def test_two_runs_on_a_modem_with_two_at_ports_send_once(self):
        modem = usb_modem(0, vendor="2c7d")  # not in the role table: both AT ports are probed
        with Bench([modem], time1=None, set_ini="[comm]\nfixedports=0\nbusywait=0\n") as bench:
            runs = [subprocess.Popen(bench.tarnel_argv([NUMBER, "hello"]), cwd=bench.workdir, env=bench._env(None),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    for _ in range(2)]
            codes = []
            for run in runs:
                out, err = run.communicate(timeout=60)
                codes += [(r["com"], r["code"], r["message"]) for r in json.loads(out)["result"]]
            # One run sent; the other found the modem held, whichever of its ttys it tried.
            self.assertEqual(sorted(c[1] for c in codes), [0, 1], codes)
            self.assertIn("port busy", [c for c in codes if c[1] == 1][0][2])
            self.assertEqual(len(bench.state("ttyUSB2")["sent"]), 1)

if __name__ == "__main__":
    harness.main()
