"""Modems with several ttys, bridges, the private /sys and /dev/serial links, and
renumbering, as a program finds them without udev."""

import os
import unittest

import harness
from harness import Bench

# A modem with a diagnostics, a GPS and two AT ports; numbers given by the simulator.
FOUR_PORTS = {"usb": {"position": "1-1.3", "vendor": "2C7C", "product": "0125", "serial": "EC25X001",
                      "manufacturer": "Acme Mobile", "product_name": "LTE Module"},
              "imei": "860000000000013",
              "ttys": [{"role": "diag"}, {"role": "nmea", "nmea_period_ms": 100}, {"role": "at"}, {"role": "at2"}]}
ACM = {"usb": {"position": "1-2", "driver": "cdc_acm", "vendor": "1e0e", "product": "9001"},
       "ttys": [{"interface": 0}, {"interface": 2, "role": "at2"}]}


def bridge(port, tty, imei):
    return {"usb": {"position": "2-1", "driver": "ch341", "vendor": "1a86", "product": "55d7"},
            "path": "/dev/ttyUSB%d" % tty, "interface": port, "imei": imei}


def up_to(path, member):
    """The first folder from path upwards that holds member, as a program walks sysfs."""
    path = os.path.realpath(path)
    while path != "/":
        if os.path.exists(os.path.join(path, member)):
            return path
        path = os.path.dirname(path)
    return None


def read(folder, name):
    with open(os.path.join(folder, name)) as f:
        return f.read().strip()


class SimulatorSysfs(unittest.TestCase):
    def test_walk_from_class_tty_to_the_usb_device(self):
        # tty, interface number, interface driver, usb-serial driver (None: ACM), vendor, product, serial
        rows = [("ttyUSB0", "00", "option", "option1", "2c7c", "0125", "EC25X001"),
                ("ttyUSB2", "02", "option", "option1", "2c7c", "0125", "EC25X001"),
                ("ttyUSB3", "03", "option", "option1", "2c7c", "0125", "EC25X001"),
                ("ttyACM1", "02", "cdc_acm", None, "1e0e", "9001", None),
                ("ttyUSB11", "01", "ch341", "ch341-uart", "1a86", "55d7", None)]
        with Bench([FOUR_PORTS, ACM, bridge(0, 10, "860000000000021"), bridge(1, 11, "860000000000039")]) as bench:
            for name, number, driver, serial_driver, vendor, product, serial in rows:
                entry = "/sys/class/tty/" + name
                self.assertEqual(read(entry, "dev"), "%d:%d" % (os.major(os.stat("/dev/" + name).st_rdev),
                                                                 os.minor(os.stat("/dev/" + name).st_rdev)), name)
                self.assertEqual(os.path.realpath("/sys/dev/char/" + read(entry, "dev")), os.path.realpath(entry))
                device = os.path.realpath(entry + "/device")
                interface = up_to(device, "bInterfaceNumber")
                if serial_driver is None:
                    self.assertEqual(interface, device, name)  # ACM: the interface itself
                else:
                    self.assertEqual(os.path.basename(os.path.realpath(device + "/driver")), serial_driver, name)
                    self.assertEqual(read(device, "port_number"), "0", name)
                self.assertEqual(read(interface, "bInterfaceNumber"), number, name)
                self.assertEqual(os.path.basename(os.path.realpath(interface + "/driver")), driver, name)
                usb = up_to(interface, "idVendor")
                self.assertEqual((read(usb, "idVendor"), read(usb, "idProduct")), (vendor, product), name)
                self.assertEqual(os.path.exists(usb + "/serial") and read(usb, "serial"), serial or False, name)
                # The driver's own folder links back to what it drives.
                self.assertEqual(os.path.realpath(interface + "/driver/" + os.path.basename(interface)), interface)

    def test_only_modems_with_a_usb_position_appear(self):
        with Bench([{"path": "/dev/ttyUSB0"}, dict(FOUR_PORTS, ttys=[{"path": "/dev/ttyUSB5"}])]) as bench:
            self.assertEqual(sorted(os.listdir("/sys/class/tty")), ["ttyUSB5"])
            self.assertFalse(os.path.exists("/sys/class/tty/ttyUSB0"))
            port = bench.open_port("/dev/ttyUSB0")
            self.assertEqual(port.chat(b"AT\r"), b"AT\r\r\nOK\r\n")

    def test_serial_links_named_as_udev_names_them(self):
        with Bench([FOUR_PORTS, ACM, bridge(0, 10, "860000000000021")]) as bench:
            rows = [("by-id/usb-Acme_Mobile_LTE_Module_EC25X001-if02-port0", "ttyUSB2"),
                    ("by-id/usb-1e0e_9001-if02", "ttyACM1"),
                    ("by-id/usb-1a86_55d7-if00-port0", "ttyUSB10"),
                    ("by-path/platform-xhci-hcd.0.auto-usb-0:1.3:1.1-port0", "ttyUSB1"),
                    ("by-path/platform-xhci-hcd.0.auto-usb-0:2:1.0", "ttyACM0"),
                    ("by-path/platform-xhci-hcd.1.auto-usb-0:1:1.0-port0", "ttyUSB10")]
            for link, name in rows:
                path = "/dev/serial/" + link
                self.assertEqual(os.readlink(path), "../../" + name)
                self.assertEqual(os.stat(path).st_rdev, os.stat("/dev/" + name).st_rdev, link)
            self.assertEqual(len(os.listdir("/dev/serial/by-id")), 4 + 2 + 1)


class SimulatorSharedModem(unittest.TestCase):
    def test_two_at_ports_share_sim_and_storage_but_not_settings(self):
        messages = {"SM": [{"from": "+8613912345678", "text": "one"}, {"from": "+8613912345678", "text": "two"}]}
        with Bench([dict(FOUR_PORTS, storage=messages, iccid="89860000000000000013")]) as bench:
            first, second = bench.open_port("/dev/ttyUSB2"), bench.open_port("/dev/ttyUSB3")
            self.assertEqual(first.chat(b"ATE0\r"), b"ATE0\r\r\nOK\r\n")
            self.assertEqual(second.chat(b"AT\r"), b"AT\r\r\nOK\r\n")  # echo is a setting of each port
            second.chat(b"ATE0\r")
            for port in (first, second):
                self.assertEqual(port.chat(b"AT+CGSN\r"), b"\r\n860000000000013\r\n\r\nOK\r\n")
                self.assertEqual(port.chat(b"AT+CCID\r"), b'\r\n+CCID: "89860000000000000013"\r\n\r\nOK\r\n')
            self.assertEqual(first.chat(b"AT+CMGD=1\r"), b"\r\nOK\r\n")
            listing = second.chat(b"AT+CMGL=4\r")
            self.assertEqual(listing.count(b"+CMGL:"), 1)
            self.assertIn(b"+CMGL: 2,", listing)
            for name in ("ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"):
                self.assertEqual([m["index"] for m in bench.state(name)["storage"]["SM"]], [2], name)
            self.assertEqual((bench.state("ttyUSB2")["echo"], bench.state("ttyUSB3")["echo"]), (False, False))

    def test_bridge_ports_are_independent_modems(self):
        with Bench([bridge(0, 0, "860000000000021"),
                    dict(bridge(1, 1, "860000000000039"), storage={"SM": [{"text": "only here"}]})]) as bench:
            answers = []
            for path in ("/dev/ttyUSB0", "/dev/ttyUSB1"):
                port = bench.open_port(path)
                port.chat(b"ATE0\r")
                answers.append((port.chat(b"AT+CGSN\r"), port.chat(b"AT+CMGL=4\r").count(b"+CMGL:")))
            self.assertEqual(answers, [(b"\r\n860000000000021\r\n\r\nOK\r\n", 0),
                                       (b"\r\n860000000000039\r\n\r\nOK\r\n", 1)])

    def test_ports_that_are_not_at_ports(self):
        with Bench([FOUR_PORTS, dict(ACM, ttys=[{"role": "silent"}])]) as bench:
            gps = bench.open_port("/dev/ttyUSB1")
            burst = gps.read_until(b"$GPGSV", timeout=5) + gps.read_until(b"\r\n", timeout=5)
            sentences = [line for line in burst.split(b"\r\n") if line.startswith(b"$")]
            self.assertGreaterEqual(len(sentences), 2)
            for sentence in sentences:
                body, checksum = sentence[1:].split(b"*")
                value = 0
                for byte in body:
                    value ^= byte
                self.assertEqual(b"%02X" % value, checksum, sentence)
            # The next second's burst comes by itself.
            gps.read_until(b"$GPGGA", timeout=5)
            for path, name, outcome in (("/dev/ttyUSB1", "ttyUSB1", "silent"), ("/dev/ttyACM0", "ttyACM0", "silent"),
                                        ("/dev/ttyUSB0", "ttyUSB0", "garbage")):
                port = gps if path == "/dev/ttyUSB1" else bench.open_port(path)
                port.pending()
                port.write(b"AT\r")
                event = bench.wait_event(name, lambda e: e["cmd"] == "AT", kind="command")
                self.assertEqual(event["outcome"], outcome, name)
                answer = port.pending()
                self.assertNotIn(b"OK", answer, name)
                self.assertNotIn(b"AT\r", answer, name)  # no echo either
                if outcome == "garbage":
                    self.assertGreaterEqual(len(answer), 8)


class SimulatorRenumbering(unittest.TestCase):
    def test_replug_moves_every_tty_of_the_device_and_keeps_the_modem(self):
        with Bench([{"path": "/dev/ttyUSB0"}, dict(FOUR_PORTS, storage={"SM": [{"text": "kept"}]})]) as bench:
            held = bench.open_port("/dev/ttyUSB3")
            held.chat(b"ATE0\r")
            new_path = bench.replug("ttyUSB3")
            # The old numbers 1-4 are held by clients as far as the kernel knows; 0 is the other modem's.
            self.assertEqual(new_path, "/dev/ttyUSB7")
            self.assertEqual(sorted(os.listdir("/sys/class/tty")), ["ttyUSB5", "ttyUSB6", "ttyUSB7", "ttyUSB8"])
            self.assertFalse(os.path.lexists("/dev/ttyUSB3"))
            with self.assertRaises(EOFError):
                held.read_until(b"OK", timeout=2)
            self.assertEqual(os.path.realpath("/dev/serial/by-id/usb-Acme_Mobile_LTE_Module_EC25X001-if02-port0"),
                             os.path.realpath(new_path))
            self.assertEqual(read("/sys/class/tty/ttyUSB7", "dev"),
                             "%d:%d" % (os.major(os.stat(new_path).st_rdev), os.minor(os.stat(new_path).st_rdev)))
            self.assertEqual(up_to("/sys/class/tty/ttyUSB7/device", "idVendor").rsplit("/", 1)[1], "1-1.3")
            port = bench.open_port(new_path)
            # Power-on settings again (echo on); the storage is the same.
            self.assertEqual(port.chat(b"AT+CMGL=4\r").count(b"+CMGL:"), 1)
            self.assertEqual(bench.replug("ttyUSB3"), "/dev/ttyUSB3")  # 5-8 are held now, 1-4 free again
            self.assertEqual(bench.events("ttyUSB3", "replug")[-1]["old"], "/dev/ttyUSB7")

    def test_a_modem_without_usb_position_moves_alone(self):
        with Bench([{"path": "/dev/ttyUSB0"}, {"path": "/dev/ttyUSB1"}]) as bench:
            self.assertEqual(bench.replug("ttyUSB0"), "/dev/ttyUSB2")
            self.assertEqual(sorted(n for n in os.listdir("/dev") if n.startswith("tty")),
                             ["tty", "ttyUSB1", "ttyUSB2"])
            self.assertEqual(bench.open_port("/dev/ttyUSB2").chat(b"AT\r"), b"AT\r\r\nOK\r\n")


class SimulatorTtyConfiguration(unittest.TestCase):
    def test_ttys_without_paths_take_the_lowest_free_numbers(self):
        imeis = ["860000000000%03d" % n for n in range(4)]
        modems = [{"path": "/dev/ttyUSB1", "imei": imeis[0]}, {"ttys": [{}, {}], "imei": imeis[1]},
                  {"imei": imeis[2]}, dict(ACM, imei=imeis[3])]
        expected = [("ttyUSB1", 0), ("ttyUSB0", 1), ("ttyUSB3", 1), ("ttyUSB2", 2), ("ttyACM0", 3), ("ttyACM1", 3)]
        with Bench(modems) as bench:
            self.assertEqual(sorted(n for n in os.listdir("/dev") if n.startswith("tty") and n != "tty"),
                             sorted(name for name, _ in expected))
            for name, modem in expected:
                port = bench.open_port("/dev/" + name)
                port.chat(b"ATE0\r")
                self.assertEqual(port.chat(b"AT+CGSN\r"), b"\r\n%s\r\n\r\nOK\r\n" % imeis[modem].encode(), name)

    def test_bad_configurations_are_refused(self):
        rows = [({"ttys": []}, "non-empty"),
                ({"path": "/dev/ttyUSB0", "ttys": [{}]}, "belong in its ttys"),
                ({"ttys": [{"role": "modem"}]}, "role"),
                ({"ttys": [{"storage": {}}]}, "a tty is an object"),
                ({"usb": {"vendor": "2c7c"}}, "position"),
                ({"usb": {"position": "1-0"}}, "not like 1-1.3"),
                ({"usb": {"position": "1-1", "vendor": "2c7"}}, "four hex digits"),
                ({"usb": {"position": "1-1", "driver": "usbserial"}}, "driver"),
                ({"usb": {"position": "1-1", "colour": "red"}}, "unknown usb keys"),
                ({"usb": {"position": "1-1", "driver": "cdc_acm"}, "path": "/dev/ttyUSB0"}, "ttyACM"),
                ({"usb": {"position": "1-1", "driver": "cdc_acm"}, "ttys": [{"interface": 0}, {"interface": 0}]},
                 "has a tty already")]
        rows = [([modem], message) for modem, message in rows]
        rows.append(([bridge(0, 0, "1"), dict(bridge(1, 1, "2"), usb={"position": "2-1", "vendor": "0403"})],
                     "vendor is '1a86' and '0403'"))
        for modems, message in rows:
            with self.subTest(modems=modems):
                result = harness.run_simulator(modems)
                self.assertEqual(result.returncode, 2, result)
                self.assertRegex(result.stderr, message)


if __name__ == "__main__":
    harness.main()
