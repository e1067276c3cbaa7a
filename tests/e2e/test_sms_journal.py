"""Read-and-clear deletes a message only once it is safe: its document
reached standard output, or the message was kept in the journal first. A
document that cannot be written (a full disk, /dev/full, a reader that went
away) is said on standard error with exit status 1, and the next read
reports the journalled messages first; a journal that cannot be written
means nothing is deleted."""

import json
import os
import subprocess
import unittest

import harness
from harness import Bench
from test_sms_subcommands import deleted, expected, modem, port_of, stored

STORAGE = {"SM": [stored("Gsm7Ascii")], "ME": [stored("Ucs2Chinese")]}
WANT = [expected("Gsm7Ascii", "SIM"), expected("Ucs2Chinese", "DEV")]


def run_into(bench, args, stdout):
    """tarnel with its standard output on `stdout` (a file object)."""
    proc = subprocess.run(bench.tarnel_argv(args), cwd=bench.workdir, env=bench._env(None), timeout=120,
                          stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE)
    return proc.returncode, proc.stderr.decode("utf-8", "replace")


def to_dev_full(bench, args):
    with open("/dev/full", "wb") as full:
        return run_into(bench, args, full)


def to_closed_pipe(bench, args):
    reader, writer = os.pipe()
    os.close(reader)  # the reader is gone before a byte is written
    with os.fdopen(writer, "wb") as pipe:
        return run_into(bench, args, pipe)


def to_full_disk(bench, args):
    """Standard output on a file system that has no room left."""
    disk = os.path.join(bench.root, "disk")
    os.mkdir(disk)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk], check=True)
    filler = os.path.join(disk, "filler")
    with open(filler, "wb") as f:
        try:
            f.write(b"x" * 256 * 1024)
        except OSError:
            pass
    with open(os.path.join(disk, "out.json"), "wb") as out:
        return run_into(bench, args, out)


# (case, how the document is lost)
LOST_DOCUMENTS = [("/dev/full", to_dev_full), ("closed pipe", to_closed_pipe), ("full disk", to_full_disk)]


def journal_files(bench):
    if not os.path.isdir(bench.journal):
        return []
    return sorted(n for n in os.listdir(bench.journal) if n.startswith("sms-"))


def document(bench, sub):
    result = bench.run_tarnel(["sms", sub])
    if result.rc != 0:
        raise AssertionError("tarnel sms %s: %r" % (sub, result))
    return json.loads(result.out)


class LostDocument(unittest.TestCase):
    def test_the_next_read_reports_what_a_lost_document_deleted(self):
        for case, lose in LOST_DOCUMENTS:
            for variant, reason in (("en", "could not be written"), ("zh", "无法写到标准输出")):
                with self.subTest(case=case, variant=variant), Bench([modem("/dev/ttyUSB0", storage=STORAGE)],
                                                                     binary=harness.tarnel_binary(variant)) as bench:
                    rc, err = lose(bench, ["sms", "readclear"])
                    self.assertEqual(rc, 1, err)
                    lines = err.splitlines()
                    self.assertEqual(len(lines), 1, err)
                    self.assertIn(reason, lines[0])
                    self.assertIn(bench.journal, lines[0])
                    # Deleted from the modem, but kept on disk.
                    self.assertEqual(deleted(bench, "ttyUSB0"), {"ME": [1], "SM": [1]})
                    self.assertEqual(len(journal_files(bench)), 1)

                    # The next read reports them first, then the journal entry goes.
                    port = port_of(document(bench, "read"), "ttyUSB0")
                    self.assertEqual(port["msgs"], WANT)
                    self.assertEqual(port["msgcount"], 2)
                    self.assertEqual(journal_files(bench), [])
                    self.assertEqual(port_of(document(bench, "read"), "ttyUSB0")["msgcount"], 0)

    def test_journalled_messages_come_before_the_new_ones_and_survive_a_second_loss(self):
        late = {"after": "AT+CMGD=1", "nth": 2, "message": stored("NationalSender")}
        with Bench([modem("/dev/ttyUSB0", storage=STORAGE, arrivals=[late])]) as bench:
            self.assertEqual(to_dev_full(bench, ["sms", "readclear"])[0], 1)
            self.assertEqual(to_closed_pipe(bench, ["sms", "sreadclear"])[0], 1)
            self.assertEqual(len(journal_files(bench)), 2)
            doc = document(bench, "readclear")
            port = port_of(doc, "ttyUSB0")
            self.assertEqual(port["msgs"], WANT + [expected("NationalSender", "SIM")])
            self.assertIs(port["clear"], True)
            self.assertEqual(doc["portcount"], 1)
            self.assertEqual(journal_files(bench), [])

    def test_a_port_gone_since_still_gets_its_journalled_messages(self):
        with Bench([modem("/dev/ttyUSB0", storage=STORAGE)]) as bench:
            self.assertEqual(to_dev_full(bench, ["sms", "readclear"])[0], 1)
            (name,) = journal_files(bench)
            with open(os.path.join(bench.journal, name), "rb") as f:
                entry = f.read()
        # The next run finds another modem on another port.
        with Bench([modem("/dev/ttyUSB1")]) as other:
            os.makedirs(other.journal, exist_ok=True)
            with open(os.path.join(other.journal, name), "wb") as f:
                f.write(entry)
            doc = document(other, "sread")
            self.assertEqual(port_of(doc, "ttyUSB0")["msgs"], WANT)
            self.assertEqual(port_of(doc, "ttyUSB1")["msgcount"], 0)
            self.assertEqual(doc["portcount"], 1)
            self.assertEqual(journal_files(other), [])

    def test_a_send_whose_document_is_lost_exits_1(self):
        with Bench([modem("/dev/ttyUSB0")]) as bench:
            rc, err = to_dev_full(bench, ["USB0", "13800000000", "hello"])
            self.assertEqual(rc, 1)
            self.assertEqual(len(err.splitlines()), 1, err)
            self.assertIn("results of the sends are lost", err)
            self.assertEqual(len(bench.events("ttyUSB0", "sms")), 1)


class JournalNotWritable(unittest.TestCase):
    def test_neither_journal_nor_document_loses_nothing(self):
        with Bench([modem("/dev/ttyUSB0", storage=STORAGE)]) as bench:
            with open(os.path.join(bench.root, "plain-file"), "w"):
                pass
            bench.write_file("set.ini", "[comm]\ndef=1\ntime1=100\njournaldir=%s/plain-file/journal\n" % bench.root)
            rc, err = to_dev_full(bench, ["sms", "readclear"])
            self.assertEqual(rc, 1, err)
            self.assertEqual(len(err.splitlines()), 2, err)  # the journal's line, then the document's
            self.assertIn("no message read was deleted", err)
            self.assertEqual(bench.events("ttyUSB0", "delete"), [])
            bench.write_file("set.ini", "[comm]\ndef=1\ntime1=100\njournaldir=%s\n" % bench.journal)
            self.assertEqual(port_of(document(bench, "readclear"), "ttyUSB0")["msgs"], WANT)

    def test_nothing_is_deleted_without_a_journal(self):
        for case in ("not a directory", "full"):
            with self.subTest(case=case), Bench([modem("/dev/ttyUSB0", storage=STORAGE)]) as bench:
                if case == "not a directory":
                    with open(os.path.join(bench.root, "plain-file"), "w"):
                        pass
                    journal = os.path.join(bench.root, "plain-file", "journal")
                else:
                    journal = os.path.join(bench.root, "tiny")
                    os.mkdir(journal)
                    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", journal], check=True)
                    with open(os.path.join(journal, "filler"), "wb") as f:
                        try:
                            f.write(b"x" * 64 * 1024)
                        except OSError:
                            pass
                bench.write_file("set.ini", "[comm]\ndef=1\ntime1=100\njournaldir=%s\n" % journal)
                result = bench.run_tarnel(["sms", "readclear"])
                self.assertEqual(result.rc, 0, result)
                port = port_of(json.loads(result.out), "ttyUSB0")
                self.assertEqual(port["msgs"], WANT)
                self.assertIs(port["clear"], False)
                self.assertEqual(bench.events("ttyUSB0", "delete"), [])
                self.assertIn(journal, result.err)
                self.assertIn("nothing deleted on ttyUSB0", result.err)
                # Still on the modem: the next run that can keep them deletes them.
                bench.write_file("set.ini", "[comm]\ndef=1\ntime1=100\njournaldir=%s\n" % bench.journal)
                port = port_of(document(bench, "readclear"), "ttyUSB0")
                self.assertEqual(port["msgs"], WANT)
                self.assertIs(port["clear"], True)


if __name__ == "__main__":
    harness.main()
