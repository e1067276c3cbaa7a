"""tarnel sms watch against simulated modems: the lines it prints, the
messages it reads on their announcement or finds by its listing, and what
it deletes, on a stop and when its standard output goes away."""

import json
import os
import signal
import subprocess
import threading
import time
import unittest

import harness
from harness import Bench

sim = harness.load_modemsim()

HI = {"from": "+8613900000000", "text": "hi", "time": "26-12-08 10:00:00"}
LONG = "Long message " * 12  # two UCS-2 parts
# Listings every 2 s: the safety net is seen at work within a test.
WATCH_INI = "[comm]\ndef=1\ntime1=100\nwatchpoll=2\n"


def watch_bench(modems):
    return Bench(modems, set_ini=WATCH_INI)


def modem(n, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F", "imei": "86123456789%04d" % n,
                 "iccid": "898600123456789%05d" % n, "storage": {"SM": [], "ME": [], "SR": []}}, **extra)


def msg(text, **extra):
    return dict(HI, text=text, **extra)


def part(seq, ref=7):
    """One part of LONG, sent now (its centre stamp is the present)."""
    now = time.strftime("%y-%m-%d %H:%M:%S", time.gmtime())
    return {"from": "10086", "text": LONG, "time": now, "split": {"ref": ref, "order": [seq]}}


class Watch:
    """A running "tarnel sms watch": its lines, parsed, with the time each came."""

    def __init__(self, bench, args=()):
        self.proc = subprocess.Popen(bench.tarnel_argv(["sms", "watch"] + list(args)), stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=bench._env({}), cwd=bench.workdir)
        self.lines = []  # (seconds since the epoch, parsed line)
        self.raw = []
        self._changed = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._taken = set()
        bench.children.append(self)

    def close(self, force=True):
        """The bench's clean-up: a watch a failed test left running ends,
        and so does its reader (the bench leaves the simulator's namespace
        only with one thread)."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._reader.join(5)
        self.proc.stdout.close()
        self.proc.stderr.close()

    def _read(self):
        for raw in self.proc.stdout:
            line = json.loads(raw)  # every line is one JSON object
            with self._changed:
                self.raw.append(raw)
                self.lines.append((time.time(), line))
                self._changed.notify_all()

    def wait_line(self, predicate, timeout=10.0, what="a line"):
        """The first line (after those already waited for) that `predicate` accepts, and when it came."""
        end = time.time() + timeout
        with self._changed:
            while True:
                for when, line in self.lines:
                    if predicate(line) and id(line) not in self._taken:
                        self._taken.add(id(line))
                        return when, line
                if time.time() >= end or self.proc.poll() is not None and not self._reader.is_alive():
                    raise AssertionError("no %s in %r" % (what, [l for _, l in self.lines]))
                self._changed.wait(0.1)

    def sms(self, text, timeout=10.0):
        return self.wait_line(lambda l: l["event"] == "sms" and l.get("text") == text, timeout, "sms %r" % text)

    def modem(self, state, name=None, timeout=10.0):
        return self.wait_line(lambda l: l["event"] == "modem" and l["state"] == state and
                              (name is None or l["name"] == name), timeout, "modem %s" % state)

    def stop(self, signo=signal.SIGTERM, timeout=30.0):
        self.proc.send_signal(signo)
        self.proc.wait(timeout)
        self._reader.join(timeout)
        return self.proc.returncode

    def sms_lines(self):
        return [l for _, l in self.lines if l["event"] == "sms"]


def cnmi_becomes(bench, name, values):
    """The simulator's record of the modem's AT+CNMI reaches `values` (it is written just after the command)."""
    harness.wait_for(lambda: bench.state(name)["cnmi"] == values, 15, "%s AT+CNMI %r" % (name, values))


def caught_up(bench, tty):
    """The watch set its indications again after the first listing of the modem on `tty`."""
    harness.wait_for(lambda: len(commands(bench, tty, "AT+CNMI=2")) >= 2, 10, "%s caught up" % tty)


def commands(bench, name, start):
    return [c for c, _, _ in bench.commands(name) if c.startswith(start)]


def deleted(bench, name):
    return [(e["mem"], i) for e in bench.events(name, "delete") for i in e["indices"]]


def stored_texts(bench, name, mem):
    return [sim.decode_pdu(m["pdu"])["text"] if "pdu" in m else m.get("text")
            for m in bench.state(name)["storage"][mem]]


class WatchLines(unittest.TestCase):
    def test_catch_up_then_announced_arrivals_then_the_modems_own_setting_back(self):
        first = modem(0, storage={"SM": [msg("on the SIM")], "ME": [msg("in the modem")], "SR": []})
        with watch_bench([first, modem(1)]) as bench:
            watch = Watch(bench)
            for name in ("ttyUSB0", "ttyUSB1"):
                _, line = watch.modem("watched", name)
                self.assertEqual((line["imei"], line["announces"]), (bench_imei(name), True))
            _, sim_line = watch.sms("on the SIM")
            _, dev_line = watch.sms("in the modem")
            self.assertEqual((sim_line["storage"], dev_line["storage"]), ("SIM", "DEV"))
            self.assertEqual(sim_line["kind"], "message")
            self.assertEqual((sim_line["name"], sim_line["iccid"], sim_line["from"]),
                             ("ttyUSB0", "89860012345678900000", "8613900000000"))
            harness.wait_for(lambda: sorted(deleted(bench, "ttyUSB0")) == [("ME", 1), ("SM", 1)], 10,
                             "catch-up deleted")
            cnmi_becomes(bench, "ttyUSB0", [2, 1, 0, 2, 0])

            # Announced: read by the index announced, printed, then deleted.
            # (How soon is bench/watch_bench.py's figure; here the machine may be loaded.)
            for n, name in enumerate(("ttyUSB0", "ttyUSB1", "ttyUSB1")):
                text = "arrival %d" % n
                reads = len(commands(bench, name, "AT+CMGR="))
                bench.deliver(name, msg(text))
                stored = bench.wait_event(name, lambda e: sim.decode_pdu(e["pdu"])["text"] == text, kind="stored")
                index = stored["index"]
                _, line = watch.sms(text)
                self.assertEqual(line["name"], name)
                self.assertEqual(commands(bench, name, "AT+CMGR=")[reads:], ["AT+CMGR=%d" % index])
                harness.wait_for(lambda: stored_texts(bench, name, "SM") == [], 5, "%s deleted" % text)
            self.assertEqual(len(set(l["id"] for l in watch.sms_lines())), 5)

            self.assertEqual(watch.stop(), 143)
            for name in ("ttyUSB0", "ttyUSB1"):
                cnmi_becomes(bench, name, [0, 0, 0, 0, 0])
            self.assertEqual(watch.proc.stderr.read(), b"")

    def test_a_model_whose_initialisation_sets_its_own_indications(self):
        # Its initialisation routes status reports to the terminal (ds 1):
        # the watch's setting is applied again after every listing, which
        # runs the initialisation, and the modem's setting from before it
        # is put back at the end.
        with watch_bench([modem(0, model="CPhone_TD_ME909")]) as bench:
            watch = Watch(bench)
            watch.modem("watched")
            listings = len(commands(bench, "ttyUSB0", "AT+CMGL"))
            harness.wait_for(lambda: len(commands(bench, "ttyUSB0", "AT+CMGL")) >= listings + 3, 10, "a listing")
            self.assertIn("AT+CNMI=1,1,0,1,0", commands(bench, "ttyUSB0", "AT+CNMI="))
            cnmi_becomes(bench, "ttyUSB0", [2, 1, 0, 2, 0])
            self.assertEqual(watch.stop(), 143)
            cnmi_becomes(bench, "ttyUSB0", [0, 0, 0, 0, 0])

    def test_the_listing_finds_what_no_announcement_told(self):
        # Every announcement lost: the listing every watchpoll seconds finds the message.
        with watch_bench([modem(0, drop_indications=1.0)]) as bench:
            watch = Watch(bench)
            watch.modem("watched")
            bench.deliver("ttyUSB0", msg("unannounced"))
            watch.sms("unannounced", timeout=6)
            self.assertEqual(commands(bench, "ttyUSB0", "AT+CMGR="), [])  # found by a listing
            harness.wait_for(lambda: deleted(bench, "ttyUSB0") == [("SM", 1)], 5, "deleted")
            self.assertEqual(watch.stop(signal.SIGINT), 130)

    def test_a_full_storage_fills_again_silently_and_the_listing_finds_it(self):
        # Full: new messages wait at the network and, once the catch-up made
        # room, are stored without an announcement.
        full = modem(0, capacity={"SM": 2}, storage={"SM": [msg("old 1"), msg("old 2")], "ME": [], "SR": []})
        with watch_bench([full]) as bench:
            bench.deliver("ttyUSB0", [msg("held 1"), msg("held 2")])
            harness.wait_for(lambda: len(bench.events("ttyUSB0", "storage_full")) == 2, 5, "both held")
            watch = Watch(bench)
            for text in ("old 1", "old 2", "held 1", "held 2"):
                watch.sms(text, timeout=10)
            self.assertEqual(len(bench.events("ttyUSB0", "stored_late")), 2)
            self.assertEqual(bench.events("ttyUSB0", "indicated"), [])
            harness.wait_for(lambda: stored_texts(bench, "ttyUSB0", "SM") == [], 5, "all deleted")
            self.assertEqual(len(watch.sms_lines()), 4)
            self.assertEqual(watch.stop(), 143)

    def test_a_modem_that_offers_no_announcement_is_listed(self):
        offer = "+CNMI: (0,3),(0,2),(0),(0,1),(1)"
        with watch_bench([modem(0, cnmi_offer=offer, cnmi="0,0,0,0,1")]) as bench:
            watch = Watch(bench)
            _, line = watch.modem("watched")
            self.assertIs(line["announces"], False)
            bench.deliver("ttyUSB0", msg("found anyway"))
            watch.sms("found anyway", timeout=6)
            self.assertEqual(watch.stop(), 143)
            # Nothing was changed, so nothing is put back.
            self.assertEqual(commands(bench, "ttyUSB0", "AT+CNMI="), ["AT+CNMI=?"])

    def test_long_message_parts_arriving_apart_are_printed_joined(self):
        with watch_bench([modem(0)]) as bench:
            watch = Watch(bench)
            watch.modem("watched")
            bench.deliver("ttyUSB0", part(1))
            bench.wait_event("ttyUSB0", kind="indicated")
            # Announced and listed (more than one safety listing), yet held on the modem.
            listings = len(commands(bench, "ttyUSB0", "AT+CMGL"))
            harness.wait_for(lambda: len(commands(bench, "ttyUSB0", "AT+CMGL")) >= listings + 6, 10,
                             "two more listings")
            self.assertEqual(watch.sms_lines(), [])
            self.assertEqual(deleted(bench, "ttyUSB0"), [])
            bench.deliver("ttyUSB0", part(2))
            _, line = watch.sms(LONG)
            self.assertNotIn("incomplete", line)
            harness.wait_for(lambda: sorted(deleted(bench, "ttyUSB0")) == [("SM", 1), ("SM", 2)], 5, "both deleted")
            self.assertEqual(len(watch.sms_lines()), 1)
            self.assertEqual(watch.stop(), 143)

    def test_status_report_from_the_sr_storage(self):
        report = {"status_report": {"ref": 42, "to": "+8613900000001", "time": "26-12-08 10:00:00",
                                    "done": "26-12-08 10:00:05", "status": 0}}
        with watch_bench([modem(0)]) as bench:
            watch = Watch(bench)
            watch.modem("watched")
            bench.deliver("ttyUSB0", report)
            _, line = watch.wait_line(lambda l: l.get("kind") == "status-report", 5, "status report")
            self.assertEqual((line["storage"], line["reference"], line["status"]), ("SR", 42, 0))
            harness.wait_for(lambda: deleted(bench, "ttyUSB0") == [("SR", 1)], 5, "report deleted")
            self.assertEqual(watch.stop(), 143)

    def test_a_message_whose_delete_is_refused_is_printed_once(self):
        # Index 1 cannot be deleted: its message stays, listed every 2 s, and
        # is printed once; the same text arriving again lies elsewhere and is
        # printed (and deleted) as a message of its own.
        stuck = modem(0, storage={"SM": [msg("stuck")], "ME": [], "SR": []},
                      refuse_delete={"1": "+CMS ERROR: 321"})
        with watch_bench([stuck]) as bench:
            watch = Watch(bench)
            _, first = watch.sms("stuck")
            listings = len(commands(bench, "ttyUSB0", "AT+CMGL"))
            harness.wait_for(lambda: len(commands(bench, "ttyUSB0", "AT+CMGL")) >= listings + 6, 10,
                             "two more listings")
            self.assertEqual(len(watch.sms_lines()), 1)
            bench.deliver("ttyUSB0", msg("stuck"))
            _, again = watch.sms("stuck")
            self.assertEqual(again["id"], first["id"])  # the same message, as far as anyone can tell
            harness.wait_for(lambda: ("SM", 2) in deleted(bench, "ttyUSB0"), 5, "the new one deleted")
            harness.wait_for(lambda: stored_texts(bench, "ttyUSB0", "SM") == ["stuck"], 5, "the old one alone left")
            self.assertEqual(watch.stop(), 143)

    def test_identical_messages_on_two_sims_keep_two_ids(self):
        same = {"SM": [msg("same")], "ME": [], "SR": []}
        with watch_bench([modem(0, storage=same), modem(1, storage=same)]) as bench:
            watch = Watch(bench)
            watch.sms("same")
            watch.sms("same")
            ids = {l["name"]: l["id"] for l in watch.sms_lines()}
            self.assertEqual(len(set(ids.values())), 2, ids)
            self.assertEqual(watch.stop(), 143)


class WatchModems(unittest.TestCase):
    def test_a_modem_unplugged_is_gone_and_taken_back_with_a_catch_up(self):
        two = modem(0, ttys=[{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1", "role": "at2"}])
        del two["path"]
        with watch_bench([two, modem(2)]) as bench:
            watch = Watch(bench)
            watch.modem("watched", "ttyUSB0")
            watch.modem("watched", "ttyUSB2")
            bench.unplug("ttyUSB0")
            _, gone = watch.modem("gone", "ttyUSB0")
            self.assertEqual((gone["imei"], gone["reason"]), ("861234567890000", "port gone"))
            # The others are still watched.
            bench.deliver("ttyUSB2", msg("meanwhile"))
            watch.sms("meanwhile")
            bench.deliver("ttyUSB0", msg("while away"))
            new_path = bench.plug("ttyUSB0")
            self.assertNotEqual(new_path, "/dev/ttyUSB0")
            _, back = watch.modem("back", timeout=15)
            self.assertEqual((back["name"], back["imei"]), (os.path.basename(new_path), "861234567890000"))
            _, line = watch.sms("while away")
            self.assertEqual(line["name"], os.path.basename(new_path))
            self.assertEqual(watch.stop(), 143)

    def test_announcements_on_the_other_at_port_are_heard(self):
        # The modem announces on its primary AT port only, which is not the
        # one the watch talks through: every AT port held is listened to.
        two = modem(0, ttys=[{"path": "/dev/ttyUSB0", "role": "at2"}, {"path": "/dev/ttyUSB1"}])
        del two["path"]
        with watch_bench([two]) as bench:
            watch = Watch(bench)
            _, line = watch.modem("watched")
            caught_up(bench, "ttyUSB0")
            bench.deliver("ttyUSB0", msg("on the primary"))
            indicated = bench.wait_event("ttyUSB1", kind="indicated")
            self.assertEqual(indicated["port"], "ttyUSB1")
            _, got = watch.sms("on the primary")
            self.assertEqual((line["name"], got["name"]), ("ttyUSB0", "ttyUSB0"))
            self.assertEqual(commands(bench, "ttyUSB0", "AT+CMGR="), ["AT+CMGR=1"])
            self.assertEqual(watch.stop(), 143)

    def test_a_modem_that_stops_answering_is_gone(self):
        # The commands of a start and its catch-up, counted on a modem that answers.
        with watch_bench([modem(0)]) as bench:
            watch = Watch(bench)
            watch.modem("watched")
            caught_up(bench, "ttyUSB0")
            started = len(bench.commands("ttyUSB0"))
            watch.stop()
        with watch_bench([modem(0, faults={"silent_after": started}), modem(1)]) as bench:
            watch = Watch(bench)
            watch.modem("watched", "ttyUSB0")
            _, gone = watch.modem("gone", "ttyUSB0", timeout=15)
            self.assertEqual(gone["reason"], "not answering")
            bench.deliver("ttyUSB1", msg("still watched"))
            watch.sms("still watched")
            self.assertEqual(watch.stop(), 143)

    def test_a_busy_modem_is_said_once_and_taken_when_let_go(self):
        with watch_bench([modem(0)]) as bench:
            holder = subprocess.Popen(bench.tarnel_argv(["sms", "watch"]), stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, env=bench._env({}), cwd=bench.workdir)
            bench.children.append(Holder(holder))
            self.assertEqual(json.loads(holder.stdout.readline())["state"], "watched")
            watch = Watch(bench)
            _, busy = watch.modem("busy")
            self.assertEqual(busy["reason"], "port busy: held by process %d" % holder.pid)
            holder.terminate()
            self.assertEqual(holder.wait(10), 143)
            watch.modem("watched", timeout=10)
            self.assertEqual(len([l for _, l in watch.lines if l.get("state") == "busy"]), 1)
            bench.deliver("ttyUSB0", msg("after the other"))
            watch.sms("after the other")
            self.assertEqual(watch.stop(), 143)


    def test_one_shot_runs_borrow_a_watched_modem_without_waiting_out_busywait(self):
        # busywait is far longer than any run here may take: a run that
        # waited it out, instead of borrowing, fails its bound.
        ini = WATCH_INI + "busywait=60\n"
        with Bench([modem(0), modem(1)], set_ini=ini) as bench:
            watch = Watch(bench)
            watch.modem("watched", "ttyUSB0")
            watch.modem("watched", "ttyUSB1")
            caught_up(bench, "ttyUSB0")
            runs = [
                (["USB0", "10086", "lent for a send"], lambda doc: doc["result"][0]["code"] == 0),
                (["sms", "sread", "USB0"], lambda doc: [(p["name"], "error" in p) for p in doc["ports"]] ==
                 [("ttyUSB0", False)]),
                (["sscan", "USB0"], lambda doc: doc["modems"][0]["imei"] == "861234567890000"),
            ]
            for args, good in runs:
                with self.subTest(args=args):
                    started = time.monotonic()
                    result = bench.run_tarnel(args, timeout=50)
                    took = time.monotonic() - started
                    self.assertEqual(result.rc, 0, result)
                    self.assertTrue(good(json.loads(result.out)), result)
                    self.assertLess(took, 20, "the run waited for the watch")
                    watch.modem("lent", "ttyUSB0")
                    watch.modem("back", "ttyUSB0")
            self.assertEqual(len(bench.events("ttyUSB0", "sms")), 1)
            # Watched again: the indications are the watch's, and a message is printed.
            cnmi_becomes(bench, "ttyUSB0", [2, 1, 0, 2, 0])
            bench.deliver("ttyUSB0", msg("after the lending"))
            _, line = watch.sms("after the lending")
            self.assertEqual(line["name"], "ttyUSB0")
            # The other modem was never lent.
            self.assertFalse([l for _, l in watch.lines if l.get("state") == "lent" and l["name"] == "ttyUSB1"])
            self.assertEqual(watch.stop(), 143)


class Holder:
    """Another watch holding the modems, ended by the bench if a test fails."""

    def __init__(self, proc):
        self.proc = proc

    def close(self, force=True):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class WatchEnds(unittest.TestCase):
    def test_a_stop_deletes_nothing_that_was_not_printed(self):
        many = {"SM": [msg("stored %d" % n) for n in range(30)], "ME": [], "SR": []}
        with watch_bench([modem(0, storage=many)]) as bench:
            watch = Watch(bench)
            watch.sms("stored 0")
            self.assertEqual(watch.stop(), 143)
            printed = {l["text"] for l in watch.sms_lines()}
            gone = {"stored %d" % (i - 1) for _, i in deleted(bench, "ttyUSB0")}
            self.assertLessEqual(gone, printed)
            every = {"stored %d" % n for n in range(30)}
            harness.wait_for(lambda: set(stored_texts(bench, "ttyUSB0", "SM")) | gone == every, 5, "storage settled")
            left = set(stored_texts(bench, "ttyUSB0", "SM"))
            self.assertFalse(left & gone)
            cnmi_becomes(bench, "ttyUSB0", [0, 0, 0, 0, 0])

            # The next run reports what is left, with the ids the first run gave.
            again = Watch(bench)
            for text in sorted(left):
                again.sms(text)
            first_ids = {l["text"]: l["id"] for l in watch.sms_lines()}
            for line in again.sms_lines():
                if line["text"] in first_ids:
                    self.assertEqual(line["id"], first_ids[line["text"]])
            self.assertEqual(again.stop(signal.SIGHUP), 129)

    def test_a_closed_standard_output_ends_the_watch_and_deletes_nothing_more(self):
        with watch_bench([modem(0)]) as bench:
            read_end, write_end = os.pipe()
            proc = subprocess.Popen(bench.tarnel_argv(["sms", "watch"]), stdout=write_end, stderr=subprocess.PIPE,
                                    env=bench._env({}), cwd=bench.workdir)
            os.close(write_end)
            first = b""
            while not first.endswith(b"\n"):
                chunk = os.read(read_end, 1)
                self.assertTrue(chunk, first)
                first += chunk
            self.assertEqual(json.loads(first)["state"], "watched")
            os.close(read_end)  # the reader goes away
            bench.deliver("ttyUSB0", msg("nobody listens"))
            try:
                self.assertEqual(proc.wait(10), 1)
                self.assertIn(b"sms watch could not write to standard output", proc.stderr.read())
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                proc.stderr.close()
            self.assertEqual(deleted(bench, "ttyUSB0"), [])
            self.assertEqual(stored_texts(bench, "ttyUSB0", "SM"), ["nobody listens"])
            cnmi_becomes(bench, "ttyUSB0", [0, 0, 0, 0, 0])

    def test_bad_arguments_give_one_error_line(self):
        with watch_bench([modem(0)]) as bench:
            result = bench.run_tarnel(["sms", "watch", "USB0", "more"])
            self.assertEqual(json.loads(result.out), {"event": "error",
                                                      "error": "too many arguments: sms watch [ports]"})
            self.assertEqual(bench.commands("ttyUSB0"), [])


def bench_imei(name):
    return "86123456789%04d" % int(name[len("ttyUSB"):])


if __name__ == "__main__":
    harness.main()
