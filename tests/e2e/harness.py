"""End-to-end bench: the real tarnel binary against simulated modems.

    with Bench(modems=[{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F"}]) as bench:
        r = bench.run_tarnel(["sms", "read"])
        bench.rx("ttyUSB0")          # every byte tarnel wrote to that modem

The simulator (tools/modemsim.py --isolate) makes a private mount namespace with
a fresh /dev that holds only the simulated modems and a /sys that shows only
their USB devices; the test process joins that
namespace for the life of the bench, so the programs it starts, the ports it
opens and the terminals it spawns all see the simulated /dev and nothing of the
machine's own.  The bench also gets an empty /run/lock of its own, so the port
lock files of benches running side by side never meet.  Without root or
namespaces the tests are skipped (exit 77), never passed.
"""

import ctypes
import errno
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
PYTHON = "/usr/bin/python3"
SKIP_EXIT = 77

MODEMSIM = os.environ.get("MODEMSIM") or os.path.join(SOURCE_ROOT, "tools", "modemsim.py")
FIXTURES = os.environ.get("TARNEL_FIXTURES") or os.path.join(SOURCE_ROOT, "tests", "fixtures")

CLONE_NEWNS = 0x00020000
LOCK_FOLDER = "/run/lock"
_libc = ctypes.CDLL(None, use_errno=True)

SPEEDS = {9600: termios.B9600, 19200: termios.B19200, 38400: termios.B38400,
          57600: termios.B57600, 115200: termios.B115200, 921600: termios.B921600}

# A final result code of an AT exchange, or the send prompt.
FINAL = re.compile(rb"(\r\nOK\r\n|\r\nERROR\r\n|\r\n\+CM[ES] ERROR: [^\r\n]*\r\n|\r\n> )")


def tarnel_binary(variant="en"):
    """Path of the program under test: from ctest's environment, else the default build."""
    name = "TARNEL_BIN" if variant == "en" else "TARNEL_ZH_BIN"
    default = os.path.join(SOURCE_ROOT, "build", "tarnel" if variant == "en" else "tarnel-zh")
    return os.environ.get(name) or default


def load_modemsim():
    """The simulator as a module, for tests of its PDU helpers."""
    import importlib.util
    sys.dont_write_bytecode = True
    location = importlib.util.spec_from_file_location("modemsim", MODEMSIM)
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


def _setns(fd):
    if _libc.setns(fd, CLONE_NEWNS) != 0:
        err = ctypes.get_errno()
        raise OSError(err, os.strerror(err))


def wait_for(predicate, timeout, what):
    """Poll predicate() every few milliseconds until it gives a true value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(0.005)


IDENTITY_MEMBERS = ("imei", "iccid", "usb")


def without_identity(port):
    """A port object of the sms documents (or a send result) without the members
    that say which modem it is, which every one carries as strings."""
    missing = [key for key in IDENTITY_MEMBERS if not isinstance(port.get(key), str)]
    if missing:
        raise AssertionError("identity members %s missing from %r" % (missing, port))
    return {key: value for key, value in port.items() if key not in IDENTITY_MEMBERS}


def run_simulator(modems):
    """The simulator's verdict on a configuration, without serving it: a bad
    one is refused with exit status 2 and a message on stderr."""
    with tempfile.TemporaryDirectory() as folder:
        config = os.path.join(folder, "modems.json")
        with open(config, "w", encoding="utf-8") as f:
            json.dump({"modems": modems}, f)
        return subprocess.run([PYTHON, MODEMSIM, "--config", config, "--logdir", folder],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, timeout=60)


class Result:
    def __init__(self, rc, out, err):
        self.rc, self.raw_out, self.raw_err = rc, out, err
        self.out = out.decode("utf-8", "replace")
        self.err = err.decode("utf-8", "replace")

    def __repr__(self):
        return "Result(rc=%r, out=%r, err=%r)" % (self.rc, self.out[-2000:], self.err[-2000:])


class SerialClient:
    """A raw 8N1 client on one port, as a modem program would open it."""

    def __init__(self, path, speed=9600):
        self.path = path
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.buf = b""
        self.set_speed(speed)

    def set_speed(self, speed):
        attrs = termios.tcgetattr(self.fd)
        attrs[0] = 0
        attrs[1] = 0
        attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
        attrs[3] = 0
        attrs[4] = attrs[5] = SPEEDS[speed]
        attrs[6][termios.VMIN] = 1
        attrs[6][termios.VTIME] = 0
        termios.tcsetattr(self.fd, termios.TCSAFLUSH, attrs)
        self.buf = b""

    def write(self, data):
        view = memoryview(data)
        while view:
            try:
                n = os.write(self.fd, view)
            except BlockingIOError:
                select.select([], [self.fd], [], 1.0)
                continue
            view = view[n:]

    def _fill(self, timeout):
        r, _, _ = select.select([self.fd], [], [], max(0.0, timeout))
        if r:
            try:
                chunk = os.read(self.fd, 4096)
            except BlockingIOError:
                return True
            except OSError as e:
                if e.errno == errno.EIO:
                    raise EOFError("%s hung up" % self.path)
                raise
            if not chunk:
                raise EOFError("%s hung up" % self.path)
            self.buf += chunk
            return True
        return False

    def read_until(self, pattern, timeout=5.0):
        """Bytes up to and including the first match of pattern (bytes or compiled regex)."""
        regex = pattern if hasattr(pattern, "search") else re.compile(re.escape(pattern))
        deadline = time.monotonic() + timeout
        while True:
            m = regex.search(self.buf)
            if m:
                out, self.buf = self.buf[:m.end()], self.buf[m.end():]
                return out
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("%s: no %r within %.1f s; got %r"
                                     % (self.path, regex.pattern, timeout, self.buf))
            self._fill(left)

    def chat(self, command, timeout=5.0):
        """Write one command and return everything up to its final result code."""
        self.write(command)
        return self.read_until(FINAL, timeout)

    def pending(self):
        """What has arrived by now, without waiting."""
        while self._fill(0):
            pass
        out, self.buf = self.buf, b""
        return out

    def close(self):
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1


class Bench:
    """Simulated modems in a private /dev, and the tarnel binary run against them.

    modems: list of modem objects of the simulator's configuration.
    time1: the "time1" of set.ini in the working directory (read cycles of one
           serial read that receives nothing); None writes none, so tarnel
           uses its default timing. The default, 50 ms passes, keeps silent
           modems cheap while a simulator slowed by a loaded machine still
           answers within a five-pass exchange.
    set_ini: the whole set.ini instead.
    Every set.ini gets "journaldir" = the bench's own `journal` folder unless
    it names one.
    """

    def __init__(self, modems, time1=100, set_ini=None, binary=None, files=None, timeout=15.0):
        self.modems = modems
        self.time1 = time1
        self.set_ini = set_ini
        self.binary = self._absolute(binary or tarnel_binary(), os.getcwd())
        self.files = files or {}
        self.start_timeout = timeout
        self.sim = None
        self.home_ns = -1
        self.home_cwd = None
        self.clients = []
        self.children = []

    # -- life cycle

    def __enter__(self):
        if os.geteuid() != 0:
            raise unittest.SkipTest("the bench needs root for a private mount namespace")
        self.root = tempfile.mkdtemp(prefix="tarnel-e2e.")
        self.workdir = os.path.join(self.root, "work")
        self.logdir = os.path.join(self.root, "log")
        os.mkdir(self.workdir)
        config = os.path.join(self.root, "modems.json")
        with open(config, "w", encoding="utf-8") as f:
            json.dump({"modems": self.modems}, f, ensure_ascii=False, indent=1)
        # The journal of every bench is its own, never the machine's.
        self.journal = os.path.join(self.root, "journal")
        journal_line = "\n[comm]\njournaldir=%s\n" % self.journal
        if self.set_ini is not None:
            own = re.search(r"^\s*journaldir\s*=", self.set_ini, re.M | re.I)
            self.write_file("set.ini", self.set_ini + ("" if own else journal_line))
        elif self.time1 is not None:
            self.write_file("set.ini", "[comm]\ndef=1\ntime1=%d\n" % self.time1 + journal_line)
        else:
            self.write_file("set.ini", journal_line)
        for name, content in self.files.items():
            self.write_file(name, content)
        self.sim_err_path = os.path.join(self.root, "modemsim.stderr")
        try:
            self._start_simulator(config)
            self._enter_namespace()
        except BaseException:
            self._cleanup()
            raise
        return self

    def _start_simulator(self, config):
        with open(self.sim_err_path, "wb") as err:
            self.sim = subprocess.Popen(
                [PYTHON, MODEMSIM, "--config", config, "--logdir", self.logdir, "--isolate"],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
        line = b""
        deadline = time.monotonic() + self.start_timeout
        while not line.endswith(b"\n"):
            r, _, _ = select.select([self.sim.stdout], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(self.sim.stdout.fileno(), 256) if r else b""
            if not chunk:
                code = self.sim.poll()
                if code is None and time.monotonic() < deadline:
                    continue
                message = self.sim_errors() or "no READY line"
                if code == SKIP_EXIT:
                    raise unittest.SkipTest("no private namespace for the simulated modems: " + message)
                raise RuntimeError("modem simulator failed (exit %r): %s" % (code, message))
            line += chunk
        if not line.startswith(b"READY "):
            raise RuntimeError("modem simulator said %r" % line)
        self.sim_pid = int(line.split()[1])

    def _enter_namespace(self):
        self.home_cwd = os.getcwd()
        self.home_ns = os.open("/proc/self/ns/mnt", os.O_RDONLY)
        target = os.open("/proc/%d/ns/mnt" % self.sim_pid, os.O_RDONLY)
        try:
            _setns(target)
        except OSError as e:
            raise unittest.SkipTest("cannot join the simulator's mount namespace: %s" % e)
        finally:
            os.close(target)
        os.chdir(self.workdir)

    def __exit__(self, kind, value, tb):
        problems = self._cleanup()
        if problems and kind is None:
            raise AssertionError(problems)
        return False

    def _cleanup(self):
        for child in self.children:
            try:
                child.close(force=True)
            except Exception:
                pass
        for client in self.clients:
            client.close()
        if self.home_ns >= 0:
            # A process with more than one thread cannot change its mount
            # namespace: a test's helper threads end first.
            for thread in threading.enumerate():
                if thread is not threading.current_thread():
                    thread.join(10)
            _setns(self.home_ns)
            os.close(self.home_ns)
            self.home_ns = -1
            os.chdir(self.home_cwd)
        problems = ""
        if self.sim is not None:
            if self.sim.poll() is None:
                self.sim.send_signal(signal.SIGTERM)
                try:
                    self.sim.wait(10)
                except subprocess.TimeoutExpired:
                    self.sim.kill()
                    self.sim.wait()
            self.sim.stdout.close()
            errors = self.sim_errors()
            if errors:
                problems = "the modem simulator reported: " + errors
            self.sim = None
        if os.environ.get("TARNEL_E2E_KEEP"):
            sys.stderr.write("bench kept in %s\n" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)
        return problems

    def sim_errors(self):
        try:
            with open(self.sim_err_path, encoding="utf-8", errors="replace") as f:
                return f.read().strip()
        except OSError:
            return ""

    # -- running programs inside

    def write_file(self, name, content):
        with open(os.path.join(self.workdir, name), "w", encoding="utf-8") as f:
            f.write(content)

    def _env(self, extra):
        # The sanitizers' options too: a sanitizer build's report must fail the test.
        kept = ("PATH", "HOME", "LANG", "LC_ALL", "TERM", "TSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS")
        env = {k: v for k, v in os.environ.items() if k in kept}
        env.setdefault("PATH", "/usr/sbin:/usr/bin:/sbin:/bin")
        env.setdefault("LANG", "C.UTF-8")
        # A watch's hand-over socket, and where runs look for it: the bench's own.
        env["TARNEL_RUN_DIR"] = os.path.join(self.workdir, "run")
        env.update(extra or {})
        return env

    def run(self, argv, timeout=120, env=None, input=None):
        """Run any program in the bench's working directory; returns a Result."""
        proc = subprocess.run(argv, cwd=self.workdir, env=self._env(env), timeout=timeout,
                              input=input, stdin=None if input is not None else subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return Result(proc.returncode, proc.stdout, proc.stderr)

    @staticmethod
    def _absolute(path, base):
        # Programs run in the bench's working folder, so a relative path must
        # be fixed against where the test started.
        return os.path.join(base, path) if "/" in path and not os.path.isabs(path) else path

    def tarnel_argv(self, args, binary=None):
        """The program and its arguments, behind the emulator of a cross build."""
        emulator = os.environ.get("TARNEL_EMULATOR", "").split()
        program = self._absolute(binary, self.home_cwd or os.getcwd()) if binary else self.binary
        return emulator + [program] + list(args)

    def run_tarnel(self, args, timeout=120, env=None, input=None, binary=None):
        return self.run(self.tarnel_argv(args, binary), timeout, env, input)

    def spawn(self, argv, timeout=30, env=None, dimensions=(50, 160)):
        """argv on a real terminal (pexpect), in the working directory."""
        import pexpect
        child = pexpect.spawn(argv[0], list(argv[1:]), cwd=self.workdir, env=self._env(env),
                              timeout=timeout, dimensions=dimensions, encoding="utf-8",
                              codec_errors="replace")
        self.children.append(child)
        return child

    def spawn_tarnel(self, args=(), timeout=30, env=None, binary=None):
        return self.spawn(self.tarnel_argv(args, binary), timeout, env)

    def control(self, line):
        """One line to the simulator's control FIFO."""
        with open(os.path.join(self.logdir, "control"), "w", encoding="utf-8") as f:
            f.write(line + "\n")

    def _device_event(self, verb, name, timeout):
        seen = len(self.events(name, verb))
        self.control("%s %s" % (verb, name))

        def done():
            new = self.events(name, verb)[seen:]
            return new[0]["path"] if new else None
        return wait_for(done, timeout, "%s of %s" % (verb, name))

    def replug(self, name, timeout=10.0):
        """Unplug the USB device of modem tty `name` (the modem, without one) and
        plug it in again under new tty numbers; returns the tty's new path."""
        return self._device_event("replug", name, timeout)

    def unplug(self, name, timeout=10.0):
        """Unplug the USB device of tty `name`: its ttys and links go; returns its old path."""
        return self._device_event("unplug", name, timeout)

    def plug(self, name, timeout=10.0):
        """Plug an unplugged device in again; returns tty `name`'s new path."""
        return self._device_event("plug", name, timeout)

    def deliver(self, name, message):
        """The network delivers message (an object as a storage entry, or a
        list) to the modem of tty `name`; wait on its events for the outcome."""
        self.control("deliver %s %s" % (name, json.dumps(message, ensure_ascii=False)))

    def open_port(self, path="/dev/ttyUSB0", speed=9600):
        client = SerialClient(path, speed)
        self.clients.append(client)
        return client

    # -- what the modems saw

    def rx(self, name):
        """Every byte written to modem `name` so far."""
        with open(os.path.join(self.logdir, name + ".rx"), "rb") as f:
            return f.read()

    def events(self, name, kind=None):
        out = []
        with open(os.path.join(self.logdir, name + ".events"), encoding="utf-8") as f:
            for line in f:
                if line.endswith("\n"):
                    record = json.loads(line)
                    if kind is None or record["event"] == kind:
                        out.append(record)
        return out

    def commands(self, name):
        """The command lines modem `name` received, in order, as (command, speed, outcome)."""
        return [(e["cmd"], e["speed"], e["outcome"]) for e in self.events(name, "command")]

    def state(self, name):
        with open(os.path.join(self.logdir, name + ".state.json"), encoding="utf-8") as f:
            return json.load(f)

    def wait_event(self, name, predicate=lambda e: True, timeout=10.0, kind=None):
        """The first event of modem `name` that satisfies predicate, waiting for it."""
        def find():
            for e in self.events(name, kind):
                if predicate(e):
                    return e
            return None
        return wait_for(find, timeout, "an event of %s" % name)

    def wait_rx(self, name, data, timeout=10.0):
        return wait_for(lambda: data in self.rx(name), timeout, "%r on %s" % (data, name))


def main():
    """Run the calling test module; exit 77 when every test was skipped."""
    if os.geteuid() != 0:
        print("SKIP: the end-to-end bench needs root (private mount namespace)")
        sys.exit(SKIP_EXIT)
    program = unittest.main(exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        print("SKIP: %s" % result.skipped[0][1])
        sys.exit(SKIP_EXIT)
    sys.exit(0)
