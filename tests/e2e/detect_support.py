"""The device table as each catalogue lays it out, and the menu driven on a terminal."""

import re
import termios

import pexpect

import harness

# Texts and byte widths of the two catalogues: header cells (the last has no
# width), then the cells of a device line; a placeholder may have a width of
# its own.
CATALOGUES = {
    "en": {
        "title": "Velta sms device check application V1.33 ",
        "headers": [("Port No.", 13), ("Baudrate", 10), ("AT status", 15), ("SIM No.", 25), ("RSSI", 10),
                    ("Dev No.", None)],
        "port": 13, "baud": 10, "at": 15, "sim": 25, "sim_none": 25, "rssi": 10, "rssi_none": 10,
        "no_at": "No AT", "no_card": "No card", "no_sig": "No SIG", "invalid": "Invalid",
        "status": r"Check used: (\d+) second\(s\)",
        "menu": "Enter to refresh, 1 send sms, 2 read sms, 3 AT send, q quit",
    },
    "zh": {
        "title": "Velta短信设备检测 V1.33 ",
        "headers": [("端口号", 13), ("波特率", 13), ("AT标识", 18), ("SMS卡号", 25), ("信号强度", 15),
                    ("设备序列号", None)],
        "port": 10, "baud": 10, "at": 16, "sim": 23, "sim_none": 26, "rssi": 12, "rssi_none": 15,
        "no_at": "不AT", "no_card": "未读卡", "no_sig": "无信号", "invalid": "无效序列号",
        "status": r"设备检测耗时: (\d+) 秒",
        "menu": "回车键刷新 1发送短信 2接收短信 3 发送AT数据 q退出",
    },
}


def cell(text, width):
    """A left-aligned printf cell of `width` bytes (never cut)."""
    data = text.encode("utf-8")
    return data if width is None else data.ljust(width)


def header_line(cat):
    return b"".join(cell(text, width) for text, width in cat["headers"])


def device_line(cat, port, baud, at_ok, sim, rssi, serial):
    """The bytes of one device line, placeholders in place of empty values."""
    return b"".join([
        cell(port, cat["port"]),
        cell(baud, cat["baud"]),
        cell("OK" if at_ok else cat["no_at"], cat["at"]),
        cell(sim, cat["sim"]) if sim else cell(cat["no_card"], cat["sim_none"]),
        cell(rssi, cat["rssi"]) if rssi else cell(cat["no_sig"], cat["rssi_none"]),
        cell(serial or cat["invalid"], None),
    ])


def unrecognised_line(cat, port):
    return device_line(cat, port, "115200", False, "", "", "")


def parse_screen(raw, cat):
    """(title line, header, [device lines], status seconds) of the last table in `raw`."""
    lines = raw.replace(b"\r\n", b"\n").split(b"\n")
    bars = [i for i, line in enumerate(lines) if line == b"=" * 90]
    assert len(bars) >= 2, raw
    top, bottom = bars[-2], bars[-1]
    body = lines[top + 1:bottom]
    rows = [line for i, line in enumerate(body[1:]) if i % 2 == 1]
    separators = [line for i, line in enumerate(body[1:]) if i % 2 == 0]
    assert all(s == b"-" * 90 for s in separators), body
    assert lines[bottom + 1] == b"", lines[bottom + 1:bottom + 3]
    status = lines[bottom + 2].decode("utf-8")
    match = re.fullmatch("\t" + cat["status"], status)
    assert match, status
    return lines[top - 1], body[0], rows, int(match.group(1))


def wait_raw(child, timeout=30.0):
    """Wait until the program has put its terminal into raw mode for a key."""
    harness.wait_for(lambda: not termios.tcgetattr(child.child_fd)[3] & termios.ICANON,
                     timeout, "the menu's key read")


class Menu:
    """tarnel's menu on a real terminal inside the bench."""

    def __init__(self, bench, variant="en", timeout=120):
        self.cat = CATALOGUES[variant]
        self.child = bench.spawn_tarnel([], timeout=timeout, binary=harness.tarnel_binary(variant))
        self.screens = []

    def wait_menu(self):
        """Everything printed up to the next menu line; the program then waits for a key."""
        self.child.expect_exact(self.cat["menu"])
        screen = self.child.before.encode("utf-8")
        self.screens.append(screen)
        wait_raw(self.child)
        return screen

    def key(self, k):
        self.child.send(k)

    def quit(self):
        """Press q; returns the exit status."""
        self.key("q")
        self.child.expect(pexpect.EOF)
        self.child.close()
        return self.child.exitstatus
