#!/usr/bin/python3
"""A soak of `tarnel sms watch` at full scale: nothing lost, nothing repeated.

    sudo bench/watch_soak.py [--binary build/tarnel] [--messages 1000] [--modems 16] [--minutes 4]
                             [--output /tmp/watch_soak.jsonl]

16 simulated modems in a private /dev (two of them USB modems with two AT
ports), every indication dropped with a chance of 20 % (fixed seeds), set.ini
with watchpoll=5 (so that the listings find the unannounced within the run)
and partwait=10 (minutes: parts delivered tens of seconds apart are held, not
flushed). Over --minutes the network delivers --messages messages through the
simulator's control FIFO, each text with its sequence number: single texts,
20 texts sent alike to two SIMs, long messages of 2 or 3 parts (half of them
with their last parts delivered 20 to 40 s after the first, stamped with the
first's centre time), a burst of 12 into a modem whose storage holds 5, and
one long message whose last part never comes (it must stay on its modem).
Meanwhile a modem is unplugged and plugged in again under other tty numbers;
the first watch gets SIGTERM as it prints the first of a message delivered
to every modem at once (the others in flight) and a second starts; the
second's reader closes the pipe at a quiet moment, having read what was
written (its watch must end with status 1 on its next line and delete
nothing more); a third watch runs to the end. Every line of the three runs is appended to --output.

Checks: every message printed exactly once (long ones joined), except a
repeat by the run after a SIGTERM or a closed pipe, with the same "id"; every
line valid JSON; the two SIMs' ids of one text differ; every message the
simulator logs as deleted was printed; nothing left on the modems but the
unfinished long message; exit statuses 143, 1, 143. Figures: from +CMTI to
the line, and from an unannounced message's storing to its line.
"""

import argparse
import json
import os
import random
import select
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
from harness import Bench  # noqa: E402
from results import print_table  # noqa: E402
from watch_bench import modem  # noqa: E402

sim = harness.load_modemsim()

WATCHPOLL = 5
SET_INI = "[comm]\nwatchpoll=%d\npartwait=10\n" % WATCHPOLL
DROP = 0.2
PAIRS = 20
BURST, CAPACITY = 12, 5
FULL_MODEM, REPLUGGED_MODEM = 5, 0
STOP_AT = 0.45  # of the time the deliveries take
CLOSED_PIPE_ERROR = b"sms watch could not write to standard output"


def layout(count):
    """Modem configurations and the log names of each one's ttys, its primary
    AT tty first. Modem 0 is a USB modem with a diagnostic port, a GPS port
    and two AT ports; modem 1 has two AT ports; the others one each."""
    roles = {0: ["at", "at2", "diag", "nmea"], 1: ["at", "at2"]}
    modems, names, tty = [], [], 0
    for n in range(count):
        extra = {"drop_indications": DROP, "seed": "soak-%d" % n}
        if n == FULL_MODEM:
            extra["capacity"] = {"SM": CAPACITY, "ME": CAPACITY}
        if n == 0:
            extra["usb"] = {"position": "1-1.3", "vendor": "2c7c", "product": "0125", "serial": "SOAK0001"}
        if n in roles:
            # The device's interface order: diag, nmea, at, at2 for the USB one.
            order = sorted(roles[n], key=["diag", "nmea", "at", "at2"].index)
            ttys = [{"path": "/dev/ttyUSB%d" % (tty + i), "role": role} for i, role in enumerate(order)]
            cfg = modem(n, ttys=ttys, **extra)
            del cfg["path"]
            names.append(["ttyUSB%d" % (tty + order.index(role)) for role in roles[n]])
            tty += len(order)
        else:
            cfg = modem(n, path="/dev/ttyUSB%d" % tty, **extra)
            names.append(["ttyUSB%d" % tty])
            tty += 1
        modems.append(cfg)
    return modems, names


def stamp(seconds):
    return time.strftime("%y-%m-%d %H:%M:%S", time.gmtime(seconds))


def long_text(seq, parts):
    filler = " and so on %04d" % seq
    text = "soak #%04d long" % seq
    while len(text) <= 153 * (parts - 1):
        text += filler
    return text


class Plan:
    """What the network delivers and when, and what the watch must print:
    expected maps (iccid, text) to the kind of delivery."""

    def __init__(self, messages, modems, span, rng):
        self.actions = []  # (seconds after the start, order, callable name, arguments)
        self.expected = {}
        self.pairs = []
        self.held = None
        self.long_refs = {}  # (modem, concatenation reference) -> text
        iccids = [m["iccid"] for m in modems]
        refs = [0] * len(modems)
        count = len(modems)
        seq = 0

        def add(at, what, *args):
            self.actions.append((at, len(self.actions), what, args))

        def single(at, n, text):
            self.expected[(iccids[n], text)] = "single"
            add(at, "deliver", n, {"from": "+86139%08d" % seq, "text": text})

        burst = [{"from": "+8613700000000", "text": "soak #%04d burst" % (seq + i)} for i in range(BURST)]
        for m in burst:
            self.expected[(iccids[FULL_MODEM], m["text"])] = "burst"
        add(span * 0.15, "deliver", FULL_MODEM, burst)
        seq += BURST
        for i in range(PAIRS):
            at = span * rng.uniform(0.05, 0.9)
            a, b = rng.sample(range(count), 2)
            text = "soak #%04d same on two SIMs" % seq
            for n in (a, b):
                self.expected[(iccids[n], text)] = "pair"
            # One delivery each, with the same sender and centre stamp: only the SIM differs.
            add(at, "deliver_pair", (a, b), {"from": "+8613600000000", "text": text})
            self.pairs.append(((iccids[a], text), (iccids[b], text)))
            seq += 1
        longs = max(2, (messages - BURST - 2 * PAIRS) // 16)
        for i in range(longs):
            at = span * rng.uniform(0.02, 0.85)
            n = rng.randrange(count)
            parts = rng.choice((2, 3))
            text = long_text(seq, parts)
            refs[n] += 1
            self.long_refs[(n, refs[n])] = text
            apart = i % 2 == 1
            self.expected[(iccids[n], text)] = "long apart" if apart else "long"
            message = {"from": "+8613500000000", "text": text}
            if apart:
                later = rng.uniform(20, 40)
                add(at, "deliver_parts", n, message, refs[n], list(range(1, parts)))
                add(at + later, "deliver_parts", n, message, refs[n], [parts])
            else:
                add(at, "deliver_parts", n, message, refs[n], list(range(1, parts + 1)))
            seq += 1
        # One message to every modem just before the SIGTERM, which comes as the
        # first of them is printed: the others are being read, printed, deleted.
        self.before_stop = []
        for n in range(count):
            text = "soak #%04d before the stop" % seq
            self.expected[(iccids[n], text)] = "before the stop"
            self.before_stop.append((iccids[n], text))
            add(span * STOP_AT, "deliver", n, {"from": "+8613300000000", "text": text})
            seq += 1
        singles = messages - BURST - 2 * PAIRS - longs - count
        for i in range(singles):
            single(span * (i + 0.5) / singles, rng.randrange(count), "soak #%04d" % seq)
            seq += 1
        # A long message whose third part never comes: held on its modem, never printed.
        n = rng.randrange(count)
        refs[n] += 1
        self.held = (n, long_text(seq, 3))
        self.long_refs[(n, refs[n])] = self.held[1]
        add(span * 0.5, "deliver_parts", n, {"from": "+8613400000000", "text": self.held[1]}, refs[n], [1, 2])
        self.actions.sort()


class Run:
    """One `tarnel sms watch` whose standard output a reader collects line by line."""

    def __init__(self, soak, number):
        self.soak, self.number = soak, number
        read_end, write_end = os.pipe()
        self.stderr_path = os.path.join(soak.bench.root, "watch%d.stderr" % number)
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen(soak.bench.tarnel_argv(["sms", "watch"]), stdin=subprocess.DEVNULL,
                                         stdout=write_end, stderr=err, env=soak.bench._env({}),
                                         cwd=soak.bench.workdir)
        os.close(write_end)
        self.fd = read_end
        self.started = time.time()
        self.ended = None
        self.closing = threading.Event()
        self.closed_at = None
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        soak.bench.children.append(self)

    def _read(self):
        pending = b""
        while True:
            if self.closing.is_set():
                # Whatever was written before the reader leaves is read: no line is lost in the pipe.
                os.set_blocking(self.fd, False)
                try:
                    while True:
                        chunk = os.read(self.fd, 65536)
                        if not chunk:
                            break
                        pending = self.soak.take(self, pending + chunk)
                except BlockingIOError:
                    pass
                self.closed_at = time.time()
                os.close(self.fd)
                self.fd = -1
                break
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if not ready:
                continue
            chunk = os.read(self.fd, 65536)
            if not chunk:
                os.close(self.fd)
                self.fd = -1
                break
            pending = self.soak.take(self, pending + chunk)
        if pending:
            self.soak.take(self, pending + b"\n")  # a line cut short counts as invalid

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        return self.wait(30)

    def wait(self, timeout):
        rc = self.proc.wait(timeout)
        self.reader.join(timeout)
        self.ended = time.time()
        return rc

    def close_pipe(self):
        self.closing.set()
        self.reader.join(10)

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read()

    def close(self, force=True):
        """The bench's clean-up after a failure: the watch ends and so does its reader
        (the bench can leave the namespace only with one thread left)."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.closing.set()
        self.reader.join(10)


class Soak:
    def __init__(self, bench, plan, names, modems, output):
        self.bench, self.plan, self.names, self.modems = bench, plan, names, modems
        self.output = output
        self.lock = threading.Condition()
        self.lines = []  # (arrival time, run number, parsed line or None)
        self.runs = []
        self.statuses = []
        self.marks = {}

    # -- output

    def take(self, run, data):
        *whole, rest = data.split(b"\n")
        now = time.time()
        with self.lock:
            for raw in whole:
                self.output.write(raw + b"\n")
                try:
                    line = json.loads(raw)
                    if not isinstance(line, dict):
                        line = None
                except ValueError:
                    line = None
                self.lines.append((now, run.number, line))
            self.output.flush()
            self.lock.notify_all()
        return rest

    def sms_keys(self):
        with self.lock:
            return {(l.get("iccid"), l.get("text")) for _, _, l in self.lines if l and l.get("event") == "sms"}

    def wait_lines(self, predicate, timeout, what):
        end = time.time() + timeout
        with self.lock:
            while not predicate():
                if time.time() > end:
                    raise RuntimeError("timed out waiting for %s" % what)
                self.lock.wait(0.2)

    # -- the network and the devices

    def deliver(self, n, message):
        if isinstance(message, list):
            message = [dict(m, time=stamp(time.time())) for m in message]
        else:
            message = dict(message, time=stamp(time.time()))
        self.bench.deliver(self.names[n][0], message)

    def deliver_pair(self, pair, message):
        message = dict(message, time=stamp(time.time()))
        for n in pair:
            self.bench.deliver(self.names[n][0], message)

    def deliver_parts(self, n, message, ref, order):
        # Every part carries the centre stamp of the first: later ones arrive with a stamp in the past.
        when = self.first_stamps.setdefault((n, ref), stamp(time.time()))
        self.bench.deliver(self.names[n][0], dict(message, time=when, split={"ref": ref, "order": order}))

    def unplug(self):
        name = self.names[REPLUGGED_MODEM][0]
        self.marks["unplugged"] = (self.bench.unplug(name), time.time())

    def plug(self):
        name = self.names[REPLUGGED_MODEM][0]
        self.marks["plugged"] = (self.bench.plug(name), time.time())

    # -- the watches

    def start_run(self):
        run = Run(self, len(self.runs) + 1)
        self.runs.append(run)
        count = len(self.modems)
        self.wait_lines(lambda: sum(1 for _, r, l in self.lines if r == run.number and l and
                                    l.get("event") == "modem" and l.get("state") == "watched") >= count - 1,
                        60, "run %d watching" % run.number)

    def sigterm(self):
        want = set(self.plan.before_stop)
        self.wait_lines(lambda: want & self.sms_keys(), 6 * WATCHPOLL, "a line before the stop")
        self.statuses.append(("SIGTERM mid-run", self.runs[-1].stop(), 143))
        time.sleep(3)  # messages arrive while no watch runs
        self.start_run()

    def close_pipe(self):
        """At a quiet moment (all delivered so far printed), the reader closes the pipe."""
        run = self.runs[-1]
        want = set(self.done_keys)
        try:
            self.wait_lines(lambda: want <= self.sms_keys(), 6 * WATCHPOLL, "a quiet moment")
            self.marks["quiet"] = True
        except RuntimeError:
            self.marks["quiet"] = False
        time.sleep(1)  # the deletes after the last lines
        run.close_pipe()
        self.marks["closed"] = run.closed_at

    def restart_after_close(self):
        run = self.runs[-1]
        try:
            rc = run.wait(6 * WATCHPOLL)
        except subprocess.TimeoutExpired:
            run.close()
            rc = None
        self.statuses.append(("closed standard output", rc, 1))
        self.marks["closed_error"] = CLOSED_PIPE_ERROR in run.stderr()
        self.marks["restarted"] = time.time()
        self.start_run()

    # -- the whole

    def play(self, span):
        self.start = time.time()
        self.shift = 0.0
        self.done_keys = []
        self.first_stamps = {}
        actions = list(self.plan.actions)
        extra = [(span * 0.25, -1, "unplug", ()), (span * 0.35, -1, "plug", ()),
                 (span * STOP_AT + 0.001, -1, "sigterm", ()),
                 (span * 0.7, -1, "close_pipe", ()), (span * 0.7 + 8, -1, "restart_after_close", ())]
        actions = sorted(actions + extra)
        iccids = [m["iccid"] for m in self.modems]
        for at, _, what, args in actions:
            left = self.start + self.shift + at - time.time()
            if left > 0:
                time.sleep(left)
            before = time.time()
            getattr(self, what)(*args)
            if what in ("sigterm", "close_pipe", "restart_after_close"):
                # The timeline waits for the watch, not the other way round.
                self.shift += time.time() - before
            self.done_keys.extend(self._whole_after(what, args, iccids))

    def _whole_after(self, what, args, iccids):
        if what == "deliver":
            n, message = args[0], args[1]
            return [(iccids[n], m["text"]) for m in (message if isinstance(message, list) else [message])]
        if what == "deliver_pair":
            return [(iccids[n], args[1]["text"]) for n in args[0]]
        if what == "deliver_parts":
            n, message, _, order = args
            total = len(sim.split_long_text(message["text"], sim.choose_dcs(message["text"])))
            key = (iccids[n], message["text"])
            return [key] if max(order) == total and key in self.plan.expected else []
        return []


def modem_events(bench, names):
    """Events of all a modem's ttys, in the order they happened."""
    out = []
    for name in names:
        out.extend(bench.events(name))
    return sorted(out, key=lambda e: (e["t"], e["seq"]))


def storage_story(bench, names):
    """(deleted message keys, (t, text) of each single stored with an indication / without one,
    by the index they took)."""
    slots, deleted, indicated, dropped = {}, [], [], []
    for e in modem_events(bench, names):
        kind = e["event"]
        if kind in ("stored", "stored_late"):
            fields = sim.decode_pdu(e["pdu"])
            slots[(e["mem"], e["index"])] = fields
            if "concat" not in fields:
                (dropped if kind == "stored_late" else indicated).append([e["t"], fields["text"], kind, e])
        elif kind == "indication_dropped":
            for item in indicated:
                if item[3]["mem"] == e["mem"] and item[3]["index"] == e["index"] and item[2] == "stored":
                    item[2] = "dropped"
        elif kind == "indicated":
            for item in reversed(indicated):
                if item[2] == "stored" and e["line"].endswith('"%s",%d' % (item[3]["mem"], item[3]["index"])):
                    item[2] = "indicated"
                    item[0] = e["t"]
                    break
        elif kind == "delete":
            for index in e["indices"]:
                fields = slots.pop((e["mem"], index), None)
                deleted.append((e["t"], fields))
    told = [(t, text) for t, text, k, _ in indicated if k == "indicated"]
    silent = [(t, text) for t, text, k, _ in indicated + dropped if k in ("dropped", "stored_late")]
    return deleted, told, silent, slots


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "tarnel"))
    parser.add_argument("--messages", type=int, default=1000)
    parser.add_argument("--modems", type=int, default=16)
    parser.add_argument("--minutes", type=float, default=4.0)
    parser.add_argument("--output", default="/tmp/watch_soak.jsonl")
    args = parser.parse_args()
    if args.modems < 6:
        parser.error("--modems: at least 6")
    binary = os.path.abspath(args.binary)
    span = args.minutes * 60
    modems, names = layout(args.modems)
    plan = Plan(args.messages, modems, span, random.Random(2026))
    iccids = [m["iccid"] for m in modems]
    began = time.monotonic()

    with open(args.output, "wb") as output, Bench(modems, set_ini=SET_INI, binary=binary, timeout=60) as bench:
        soak = Soak(bench, plan, names, modems, output)
        soak.start_run()
        soak.play(span)
        # The end: everything printed, then the last watch stopped.
        try:
            soak.wait_lines(lambda: set(plan.expected) <= soak.sms_keys(), 12 * WATCHPOLL + 60, "every message")
        except RuntimeError:
            pass
        time.sleep(2 * WATCHPOLL)  # the deletes after the last lines, and a listing more
        soak.statuses.append(("SIGTERM at the end", soak.runs[-1].stop(), 143))
        wall = time.monotonic() - began

        stories = {}
        for n in range(len(modems)):
            stories[n] = storage_story(bench, names[n])
        left = {n: [(mem, i) for mem, box in bench.state(names[n][0])["storage"].items() for i in box]
                for n in range(len(modems))}
        full_events = (len(bench.events(names[FULL_MODEM][0], "storage_full")),
                       len(bench.events(names[FULL_MODEM][0], "stored_late")))
        lines = list(soak.lines)
        # Standard error holds nothing but the closed pipe's one line.
        stray = [(run.number, line) for run in soak.runs for line in run.stderr().splitlines()
                 if not (run.closed_at and CLOSED_PIPE_ERROR in line)]
        runs = soak.runs
        statuses = soak.statuses
        marks = soak.marks

    # -- verdicts
    invalid = sum(1 for _, _, l in lines if l is None)
    sms = [(t, r, l) for t, r, l in lines if l and l.get("event") == "sms"]
    by_key = {}
    for t, r, l in sms:
        by_key.setdefault((l.get("iccid"), l.get("text")), []).append((t, r, l))
    interrupted = {run.number for run in runs[:-1]}  # each ended by SIGTERM or a closed pipe
    lost = [k for k in plan.expected if k not in by_key]
    unexpected = [k for k in by_key if k not in plan.expected]
    incomplete = sum(1 for _, _, l in sms if l.get("incomplete"))
    once = repeated_ok = repeated_bad = 0
    for key, seen in by_key.items():
        if key not in plan.expected:
            continue
        if len(seen) == 1:
            once += 1
            continue
        ids = {l.get("id") for _, _, l in seen}
        seen_runs = [r for _, r, _ in seen]
        across = len(set(seen_runs)) == len(seen_runs) and all(r in interrupted for r in seen_runs[:-1])
        if len(ids) == 1 and across:
            repeated_ok += 1
        else:
            repeated_bad += 1
    pair_ids = [(by_key.get(a, [(0, 0, {})])[0][2].get("id"), by_key.get(b, [(0, 0, {})])[0][2].get("id"))
                for a, b in plan.pairs]
    pairs_apart = sum(1 for x, y in pair_ids if x and y and x != y)

    # Deletes: every message a modem lost was printed (by a run whose reader got it).
    deleted_unprinted, deletes = [], 0
    held_n, held_text = plan.held
    for n, (deleted, _, _, _) in stories.items():
        for t, fields in deleted:
            deletes += 1
            if fields is None:
                deleted_unprinted.append((n, "unknown slot"))
                continue
            text = plan.long_refs.get((n, fields["concat"]["ref"])) if "concat" in fields else fields["text"]
            if (iccids[n], text) not in by_key:
                deleted_unprinted.append((n, fields.get("text")))
    after_close = [t for n, (deleted, _, _, _) in stories.items() for t, _ in deleted
                   if marks.get("closed") and marks["closed"] < t < marks.get("restarted", 0)]

    # Left on the modems: the unfinished long message's two parts alone.
    leftovers = {n: v for n, v in left.items() if v}
    held_ok = list(leftovers) == [held_n] and len(leftovers[held_n]) == 2
    held_printed = any(l.get("text", "").startswith(held_text[:len("soak #0000 long")]) for _, _, l in sms)

    # Latency of the lines, for singles the run alive at the time printed.
    def alive(t):
        for run in runs:
            if run.started < t and (run.ended is None or t < run.ended) and not (
                    run.closed_at and t > run.closed_at):
                return run.number
        return None

    unplugged = marks.get("unplugged", (None, 0))[1], marks.get("plugged", (None, 0))[1]
    told_delays, silent_delays = [], []
    for n, (_, told, silent, _) in stories.items():
        for bucket, items in ((told_delays, told), (silent_delays, silent)):
            for t, text in items:
                seen = by_key.get((iccids[n], text))
                run = alive(t)
                if not seen or run is None or (n == REPLUGGED_MODEM and unplugged[0] <= t <= unplugged[1] + 15):
                    continue
                first = seen[0]
                if first[1] == run and first[0] >= t:
                    bucket.append(first[0] - t)

    def q95(values):
        return sorted(values)[int(0.95 * (len(values) - 1))] if values else float("nan")

    status_text = ", ".join("%s" % rc for _, rc, _ in statuses)
    want_text = ", ".join("%s" % want for _, _, want in statuses)
    gone_back = [l.get("state") for _, _, l in lines if l and l.get("event") == "modem" and
                 l.get("imei") == modems[REPLUGGED_MODEM]["imei"] and l.get("state") in ("gone", "back")]
    new_path = marks.get("plugged", ("",))[0]
    rows = [
        ("messages delivered (%d long, %d parts apart; %d to two SIMs; burst %d into %d)" % (
            sum(1 for v in plan.expected.values() if v.startswith("long")),
            sum(1 for v in plan.expected.values() if v == "long apart"), 2 * PAIRS, BURST, CAPACITY),
         str(len(plan.expected)), "", None),
        ("sms lines printed (runs: %s)" % ", ".join(
            str(sum(1 for _, r, _ in sms if r == run.number)) for run in runs), str(len(sms)), "", None),
        ("  printed exactly once", str(once), "", None),
        ("  lost", str(len(lost)), "0", not lost),
        ("  repeated after a SIGTERM or closed pipe, same id", str(repeated_ok), "", None),
        ("  repeated otherwise", str(repeated_bad), "0", repeated_bad == 0),
        ("  unexpected (not delivered, incomplete, the held one)", "%d" % (len(unexpected) + incomplete), "0",
         not unexpected and not incomplete and not held_printed),
        ("lines not valid JSON objects (of %d)" % len(lines), str(invalid), "0", invalid == 0),
        ("one text to two SIMs: pairs with two ids", "%d/%d" % (pairs_apart, PAIRS), "%d/%d" % (PAIRS, PAIRS),
         pairs_apart == PAIRS),
        ("deletes of a message never printed (of %d deletes)" % deletes, str(len(deleted_unprinted)), "0",
         not deleted_unprinted),
        ("left on the modems: the unfinished long one's 2 parts", "%s" % sum(len(v) for v in leftovers.values()),
         "2", held_ok),
        ("storage full: held by the network / stored late", "%d/%d" % full_events, "equal, >= %d" % (
            BURST - CAPACITY), full_events[0] == full_events[1] and full_events[0] >= BURST - CAPACITY),
        ("unplugged and back as %s: gone, back" % os.path.basename(new_path or "?"), ",".join(gone_back),
         "gone,back", gone_back == ["gone", "back"] and not new_path.endswith("/ttyUSB0")),
        ("exit statuses", status_text, want_text, all(rc == want for _, rc, want in statuses)),
        ("closed pipe: said on stderr, deletes until the restart", "%s, %d" % (
            "yes" if marks.get("closed_error") else "no", len(after_close)), "yes, 0",
         bool(marks.get("closed_error")) and not after_close),
        ("standard error of the runs, beside the closed pipe's line", "%d lines" % len(stray),
         "0 lines", not stray),
        ("announced: +CMTI to line, median of %d" % len(told_delays),
         "%.3f s" % (statistics.median(told_delays) if told_delays else float("nan")), "", None),
        ("  95th percentile", "%.3f s" % q95(told_delays), "<= 1.0 s", q95(told_delays) <= 1.0),
        ("  worst", "%.3f s" % (max(told_delays) if told_delays else float("nan")), "", None),
        ("unannounced: stored to line, worst of %d (watchpoll %d)" % (len(silent_delays), WATCHPOLL),
         "%.3f s" % (max(silent_delays) if silent_delays else float("nan")), "<= %d.0 s" % (WATCHPOLL + 1),
         bool(silent_delays) and max(silent_delays) <= WATCHPOLL + 1),
        ("wall time", "%.0f s" % wall, "", None),
    ]
    status = print_table(rows)
    for what, items in (("stderr", stray), ("lost", lost), ("unexpected", unexpected),
                        ("deleted unprinted", deleted_unprinted)):
        if items:
            print("%s: %r" % (what, items[:10]))
    print("lines of all runs in %s" % args.output)
    return status


if __name__ == "__main__":
    sys.exit(main())
