"""A bank of modems: every port at once, one program per port, and runs that are interrupted."""

import fcntl
import json
import os
import re
import signal
import subprocess
import termios
import unittest

import pexpect

import harness
from detect_support import CATALOGUES, Menu, cell, device_line, parse_screen
from harness import LOCK_FOLDER, Bench

ICCID = "89860012345678901234"
IMEI = "861234567890123"
NUMBER = "13912345678"
# What a scan writes to an EC20F with a SIM card.
SCAN_BYTES = b"ATE0\r\nAT\r\nAT\r\nATI\r\nAT+CGSN\rAT+CCID\rat+csq\r"


def modem(n, **extra):
    return dict({"path": "/dev/ttyUSB%d" % n, "model": "CPhone_EC20F"}, **extra)


def stored(n, count):
    """`count` messages on the SIM card of modem n, each text naming its modem and place."""
    return {"SM": [{"from": "+8613800000000", "text": "m%d-%d" % (n, i), "time": "24-01-02 03:04:05",
                    "stat": 1} for i in range(count)]}


def document(result, err=""):
    """The one JSON document on standard output; standard error must be `err` exactly (a string) or
    match it whole (a compiled pattern)."""
    err_ok = err.fullmatch(result.err) if isinstance(err, re.Pattern) else result.err == err
    if not err_ok or not result.out.endswith("}\n\n"):
        raise AssertionError("one JSON document and %r on standard error expected: %r" % (err, result))
    return json.loads(result.out)


def gave_up(name, pid, seconds):
    """What a command-line run says on standard error of a wait for a port that stays held."""
    return re.compile(r"%s: held by process %d, waiting up to %d s\n%s: still held by process %d after %d\.\d s, "
                      r"given up\n" % (name, pid, seconds, name, pid, seconds))


def lock_files():
    return sorted(os.listdir(LOCK_FOLDER)) if os.path.isdir(LOCK_FOLDER) else []


def dead_pid():
    """The PID of a process that has ended."""
    child = subprocess.Popen(["/bin/true"])
    child.wait()
    return child.pid


class Holder:
    """Another program on a port, as picocom holds it: its lock file and a flock on the device."""

    def __init__(self, path, pid=None, lock_file=True, flock=True):
        self.pid = pid or os.getpid()
        self.lock_path = os.path.join(LOCK_FOLDER, "LCK.." + os.path.basename(path))
        if lock_file:
            with open(self.lock_path, "w") as f:
                f.write("%10d\n" % self.pid)
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        if flock:
            fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)

    def close(self):
        os.close(self.fd)
        if os.path.exists(self.lock_path):
            os.unlink(self.lock_path)


class Bank(unittest.TestCase):
    def test_every_port_of_a_bank_in_port_list_order(self):
        # Default timing: one simulator answering 64 modems under a sanitizer may
        # take longer than a short read pass, which would add a resynchronising AT.
        for count in (16, 64):
            with self.subTest(count=count), Bench([modem(n) for n in range(count)], time1=None) as bench:
                result = bench.run_tarnel([])
                self.assertEqual(result.rc, 0, result)
                cat = CATALOGUES["en"]
                rows = parse_screen(result.raw_out, cat)[2]
                # ls lists by name: ttyUSB10 before ttyUSB2.
                names = sorted("ttyUSB%d" % n for n in range(count))
                # The simulator gives modem n its own IMEI, n up from the first one's.
                self.assertEqual(rows[:count], [device_line(cat, name, "9600", True, ICCID, "23,99",
                                                            IMEI[:-7] + "%07d" % (int(IMEI[-7:]) + int(name[6:])))
                                                for name in names])
                self.assertEqual(len(rows), count + 2)
                for name in names:
                    self.assertEqual(bench.rx(name), SCAN_BYTES)
                self.assertEqual(lock_files(), [])

    def test_readclear_of_a_bank_reports_every_message_once(self):
        count = 16
        # Default timing: one simulator answering 16 modems at once on a loaded
        # machine may take longer than five 10 ms passes, and a modem that late
        # is rightly given up on; each read still ends as soon as its answer is in.
        with Bench([modem(n, storage=stored(n, 3)) for n in range(count)], time1=None) as bench:
            doc = document(bench.run_tarnel(["sms", "readclear"]))
            self.assertEqual(doc["portcount"], count)
            self.assertEqual([p["name"] for p in doc["ports"]], sorted("ttyUSB%d" % n for n in range(count)))
            for port in doc["ports"]:
                n = int(port["name"][len("ttyUSB"):])
                self.assertEqual([m["text"] for m in port["msgs"]], ["m%d-%d" % (n, i) for i in range(3)])
                self.assertTrue(port["clear"])
                self.assertEqual(bench.state(port["name"])["storage"]["SM"], [])

    def test_two_runs_at_once_report_every_message_exactly_once(self):
        count = 8
        with Bench([modem(n, storage=stored(n, 2)) for n in range(count)], time1=20) as bench:
            argv = bench.tarnel_argv(["sms", "readclear"])
            runs = [subprocess.Popen(argv, cwd=bench.workdir, env=bench._env(None), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE) for _ in range(2)]
            docs = []
            for run in runs:
                out, err = run.communicate(timeout=120)
                # Where one run waits for the other, it says so on standard error, and only that.
                for line in err.decode().splitlines():
                    self.assertRegex(line, r"^ttyUSB\d: (held by process \d+, waiting up to 10 s|free after [\d.]+ s)$")
                docs.append(document(harness.Result(run.returncode, out, err), err.decode()))
                self.assertEqual(run.returncode, 0)
            reported = sorted(m["text"] for doc in docs for port in doc.get("ports", [])
                              for m in port.get("msgs", []))
            self.assertEqual(reported, sorted("m%d-%d" % (n, i) for n in range(count) for i in range(2)))
            for n in range(count):
                self.assertEqual(bench.state("ttyUSB%d" % n)["storage"]["SM"], [])

    def test_a_slow_modem_does_not_hold_back_the_others(self):
        # ttyUSB0's network takes seconds to confirm its message; ttyUSB1's result is shown meanwhile.
        slow = {"pdu": "ok", "delay_ms": 2500}
        with Bench([modem(0, send=[slow]), modem(1)], time1=None) as bench:
            menu = Menu(bench)
            menu.wait_menu()
            child = menu.child
            menu.key("1")
            child.expect_exact("Input received phone number: ")
            child.sendline(NUMBER)
            child.expect_exact("Input port number(ex: /dev/ttyUSB0, input USB0):")
            child.sendline("USB0,USB1")
            child.expect_exact("Input message:")
            child.sendline("Hello there")
            child.expect(r"ttyUSB(\d)\x1b\[0m\x1b\[1m\x1b\[32m send to ")
            # ttyUSB0 comes first in the list: a port after port engine would print it first.
            self.assertEqual(child.match.group(1), "1")
            child.expect(r"ttyUSB(\d)\x1b\[0m\x1b\[1m\x1b\[32m send to ")
            self.assertEqual(child.match.group(1), "0")
            child.expect_exact("Time used: ")
            menu.wait_menu()
            self.assertEqual(menu.quit(), 0)

    def test_a_modem_hanging_up_mid_send_fails_alone(self):
        # Seven commands of the scan, then the send's: the link closes inside them.
        # Default timing: a late answer under load must not add a command that moves the hangup.
        with Bench([modem(0), modem(1, faults={"hangup_after": 9}), modem(2)], time1=None) as bench:
            doc = document(bench.run_tarnel(["USB0,USB1,USB2", NUMBER + ",13812345678", "Hello there"]))
            got = [(e["com"], e["number"], e["code"]) for e in doc["result"]]
            self.assertEqual(got, [("ttyUSB0", NUMBER, 0), ("ttyUSB0", "13812345678", 0),
                                   ("ttyUSB1", NUMBER, 1), ("ttyUSB1", "13812345678", 1),
                                   ("ttyUSB2", NUMBER, 0), ("ttyUSB2", "13812345678", 0)])
            self.assertEqual(len(bench.events("ttyUSB0", "sms")), 2)
            self.assertEqual(len(bench.events("ttyUSB2", "sms")), 2)

    def test_progress_line_while_the_menu_scans_on_a_terminal(self):
        with Bench([modem(0), modem(1)], time1=20) as bench:
            menu = Menu(bench)
            screen = menu.wait_menu().decode("utf-8")
            self.assertEqual(menu.quit(), 0)
            # Four ports: the two modems, ttyS0 and ttyS1; the last count is erased before the table.
            table = screen.index("=" * 90)
            self.assertLess(screen.index("\rScanning 4 ports: 4 done\x1b[K\r\x1b[K"), table)
            self.assertNotIn("Scanning", screen[table:])

    def test_fixed_ports_left_out_on_request(self):
        with Bench([modem(0)], set_ini="[comm]\ndef=1\ntime1=20\nfixedports=0\n") as bench:
            result = bench.run_tarnel([])
            self.assertEqual(result.rc, 0, result)
            rows = parse_screen(result.raw_out, CATALOGUES["en"])[2]
            self.assertEqual([row.split()[0] for row in rows], [b"ttyUSB0"])


class OneProgramPerPort(unittest.TestCase):
    BUSY_INI = "[comm]\ndef=1\ntime1=20\nbusywait=1\n"

    def test_a_held_port_gets_not_one_byte(self):
        with Bench([modem(0, storage=stored(0, 1)), modem(1, storage=stored(1, 1))],
                   set_ini=self.BUSY_INI) as bench:
            holder = Holder("/dev/ttyUSB0")
            try:
                busy = "port busy: held by process %d" % os.getpid()
                # The wait is said on standard error; standard output is still the one document.
                doc = document(bench.run_tarnel(["sms", "read"]), gave_up("ttyUSB0", os.getpid(), 1))
                self.assertEqual(doc["portcount"], 1)
                self.assertEqual(harness.without_identity(doc["ports"][0]), {"name": "ttyUSB0", "error": busy})
                self.assertEqual(doc["ports"][1]["msgcount"], 1)

                sent = document(bench.run_tarnel(["USB0,USB1", NUMBER, "Hello there"]),
                                gave_up("ttyUSB0", os.getpid(), 1))
                self.assertEqual([(e["com"], e["code"], e["message"]) for e in sent["result"]],
                                 [("ttyUSB0", 1, busy), ("ttyUSB1", 0, "Succeed")])

                for variant, text in (("en", "Busy"), ("zh", "被占用")):
                    table = bench.run_tarnel([], binary=harness.tarnel_binary(variant))
                    cat = CATALOGUES[variant]
                    row = parse_screen(table.raw_out, cat)[2][0]
                    self.assertEqual(row, b"".join([cell("ttyUSB0", cat["port"]), cell("115200", cat["baud"]),
                                                    cell(text, cat["at"]), cell(cat["no_card"], cat["sim_none"]),
                                                    cell(cat["no_sig"], cat["rssi_none"]), cell(cat["invalid"], None)]))
                self.assertEqual(bench.rx("ttyUSB0"), b"")
            finally:
                holder.close()

    def test_lock_files_of_dead_and_live_processes(self):
        sleeper = subprocess.Popen(["/bin/sleep", "60"])
        try:
            for label, pid, busy in (("dead", dead_pid(), False), ("live", sleeper.pid, True)):
                with self.subTest(label), Bench([modem(0, storage=stored(0, 1))], set_ini=self.BUSY_INI) as bench:
                    with open(os.path.join(LOCK_FOLDER, "LCK..ttyUSB0"), "w") as f:
                        f.write("%10d\n" % pid)
                    result = bench.run_tarnel(["sms", "read"])
                    doc = document(result, gave_up("ttyUSB0", pid, 1) if busy else "")
                    if busy:
                        self.assertEqual([harness.without_identity(p) for p in doc["ports"]],
                                         [{"name": "ttyUSB0", "error": "port busy: held by process %d" % pid}])
                        self.assertEqual(bench.rx("ttyUSB0"), b"")
                        self.assertEqual(lock_files(), ["LCK..ttyUSB0"])
                    else:
                        self.assertEqual(doc["ports"][0]["msgcount"], 1)
                        self.assertEqual(lock_files(), [])
        finally:
            sleeper.kill()
            sleeper.wait()

    def test_a_lock_folder_that_takes_no_file_is_said_as_such(self):
        reason = "Cannot create the lock file: Read-only file system"
        with Bench([modem(0, storage=stored(0, 1))], set_ini=self.BUSY_INI + "fixedports=0\n") as bench:
            # The bench's own /run/lock, read-only even for root.
            subprocess.run(["mount", "-t", "tmpfs", "-o", "ro", "tmpfs", LOCK_FOLDER], check=True)
            try:
                doc = document(bench.run_tarnel(["sms", "read"]))
                self.assertEqual(doc["ports"], [{"name": "ttyUSB0", "error": reason, "imei": "", "iccid": "",
                                                 "usb": ""}])
                self.assertEqual(doc["portcount"], 0)
                sent = document(bench.run_tarnel(["USB0", NUMBER, "Hello there"]))
                self.assertEqual([(e["com"], e["code"], e["message"]) for e in sent["result"]],
                                 [("ttyUSB0", 1, reason)])
                for variant, text in (("en", "Lock error"), ("zh", "锁错误")):
                    table = bench.run_tarnel([], binary=harness.tarnel_binary(variant))
                    cat = CATALOGUES[variant]
                    row = parse_screen(table.raw_out, cat)[2][0]
                    self.assertEqual(row[:len(cell("ttyUSB0", cat["port"]) + cell("115200", cat["baud"]))],
                                     cell("ttyUSB0", cat["port"]) + cell("115200", cat["baud"]))
                    self.assertIn(cell(text, cat["at"]), row)
                self.assertEqual(bench.rx("ttyUSB0"), b"")
            finally:
                subprocess.run(["umount", LOCK_FOLDER], check=True)

    def test_a_port_let_go_within_the_wait_is_examined_and_read(self):
        with Bench([modem(0, storage=stored(0, 1)), modem(1)],
                   set_ini="[comm]\ndef=1\ntime1=20\nbusywait=30\n") as bench:
            holder = Holder("/dev/ttyUSB0")
            run = subprocess.Popen(bench.tarnel_argv(["sms", "read"]), cwd=bench.workdir, env=bench._env(None),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                # Past the scan, ttyUSB1 is being read while ttyUSB0's worker waits for its holder.
                harness.wait_for(lambda: len(bench.rx("ttyUSB1")) > len(SCAN_BYTES), 30, "the read of ttyUSB1")
            finally:
                holder.close()
            out, err = run.communicate(timeout=60)
            lines = err.decode().splitlines()
            self.assertEqual(lines[0], "ttyUSB0: held by process %d, waiting up to 30 s" % os.getpid())
            self.assertRegex(lines[1], r"^ttyUSB0: free after \d+\.\d s$")
            doc = document(harness.Result(run.returncode, out, err), err.decode())
            self.assertEqual(doc["portcount"], 2)
            self.assertEqual(doc["ports"][0]["msgs"][0]["text"], "m0-0")
            # Examined once it was free, as the scan would have done.
            self.assertTrue(bench.rx("ttyUSB0").startswith(SCAN_BYTES), bench.rx("ttyUSB0"))


class Interrupted(unittest.TestCase):
    def test_signal_during_a_send_prints_the_document_and_lets_go(self):
        for signo in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=signo), Bench([modem(0, send=["silent"]), modem(1)], time1=20) as bench:
                # The trace tells when ttyUSB1's result is known.
                run = subprocess.Popen(bench.tarnel_argv(["USB0,USB1", NUMBER, "Hello there"]), cwd=bench.workdir,
                                       env=bench._env({"VT-DEBUG": ""}), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                trace = b""
                while b"ttyUSB1: to send pdu for phone handle result\n" not in trace:
                    line = run.stdout.readline()
                    self.assertTrue(line, trace)
                    trace += line
                # The modem has the whole PDU and keeps tarnel waiting for its answer.
                bench.wait_event("ttyUSB0", kind="sms", timeout=30)
                run.send_signal(signo)
                out, err = run.communicate(timeout=30)
                self.assertEqual(run.returncode, 128 + signo)
                doc = json.loads(out.decode().partition("{")[1] + out.decode().partition("{")[2])
                self.assertEqual([(e["com"], e["code"], e["message"]) for e in doc["result"]],
                                 [("ttyUSB0", 1, "Interrupted"), ("ttyUSB1", 0, "Succeed")])
                # The simulator logs what it reads: the ESC may reach its log after tarnel ended.
                harness.wait_for(lambda: bench.rx("ttyUSB0").endswith(b"\x1b"), 10, "the ESC on ttyUSB0")
                self.assertEqual(lock_files(), [])

    def test_signal_during_a_readclear_prints_what_was_read(self):
        # ttyUSB0's modem never answers the delete of its first message: the
        # run is interrupted while it waits.
        modems = [modem(0, storage=stored(0, 2), answers={"AT+CMGD=1": None}), modem(1, storage=stored(1, 1))]
        with Bench(modems, time1=20) as bench:
            run = subprocess.Popen(bench.tarnel_argv(["sms", "readclear"]), cwd=bench.workdir, env=bench._env(None),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT+CMGD=1", kind="command", timeout=30)
            # ttyUSB1 deletes only once it has read everything.
            bench.wait_event("ttyUSB1", lambda e: e["cmd"].startswith("AT+CMGD"), kind="command", timeout=30)
            run.send_signal(signal.SIGTERM)
            out, err = run.communicate(timeout=30)
            self.assertEqual((run.returncode, err), (128 + signal.SIGTERM, b""))
            doc = json.loads(out.decode())
            self.assertEqual([m["text"] for m in doc["ports"][0]["msgs"]], ["m0-0", "m0-1"])
            self.assertFalse(doc["ports"][0]["clear"])
            self.assertEqual([m["text"] for m in doc["ports"][1]["msgs"]], ["m1-0"])
            # Nothing after the interrupted delete: the second message was not
            # deleted, and no further command reached the modem.
            commands = [c for c, _, _ in bench.commands("ttyUSB0")]
            self.assertEqual(commands[-1], "AT+CMGD=1", commands[-3:])
            self.assertEqual(len(bench.state("ttyUSB0")["storage"]["SM"]), 2)
            self.assertEqual(lock_files(), [])

    def test_signal_during_a_scan_or_a_key_restores_the_terminal(self):
        # Ctrl-C typed at the menu's raw key read arrives as a byte, and counts as SIGINT.
        for label, signo in (("scan", signal.SIGTERM), ("key", signal.SIGINT), ("key", signal.SIGHUP),
                             ("ctrl-c", signal.SIGINT)):
            with self.subTest(label, signal=signo), Bench([modem(0, faults={"delay_ms": 400})],
                                                          time1=None) as bench:
                menu = Menu(bench)
                child = menu.child
                before = termios.tcgetattr(child.child_fd)
                if label == "scan":
                    bench.wait_event("ttyUSB0", lambda e: e["cmd"] == "AT", kind="command", timeout=30)
                else:
                    menu.wait_menu()
                if label == "ctrl-c":
                    menu.key("\x03")
                else:
                    child.kill(signo)
                child.expect(pexpect.EOF)
                after = termios.tcgetattr(child.child_fd)
                child.close()
                self.assertEqual(child.exitstatus, 128 + signo)
                self.assertEqual(after, before)
                self.assertEqual(lock_files(), [])


if __name__ == "__main__":
    harness.main()
