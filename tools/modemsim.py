#!/usr/bin/python3
"""Simulated cellular modems on pseudo-terminals.

Each modem of the configuration gets a pseudo-terminal and a link at a device
path such as /dev/ttyUSB0, and answers AT commands there as the chosen model
does: identity, SIM, signal, SMS storage in PDU mode, the send prompt, the CDMA
model's own commands, and faults on demand.  Every byte a client writes is
appended to <logdir>/<name>.rx at once; <logdir>/<name>.events receives one JSON
object per line for each command and message; <logdir>/<name>.state.json holds
the storage after every change.  "READY" is printed on standard output (and the
ready file written) once every link exists.

    modemsim.py --config modems.json --logdir DIR
    modemsim.py --config modems.json --isolate -- tarnel      # private /dev

With --isolate the simulator first moves into a private mount namespace with a
fresh /dev (root only), so links at /dev/ttyUSB* are seen by the command it
runs and by nobody else.  Only Debian's python3 standard library is used.
"""

import argparse
import collections
import errno
import fcntl
import json
import os
import random
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import termios
import time
import traceback
import tty

# Exit status when the private namespace or /dev cannot be made; test runners
# report it as "skipped".
EXIT_NO_NAMESPACE = 77

SPEED_CODES = {}
for _rate in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600):
    _code = getattr(termios, "B%d" % _rate, None)
    if _code is not None:
        SPEED_CODES[_code] = _rate

CTRL_Z = 0x1A
ESC = 0x1B

# Bytes of answers waiting for the client above which a modem takes in no
# more commands until they have left.
OUTPUT_HIGH_WATER = 65536

# ---------------------------------------------------------------------------
# SMS PDUs (3GPP TS 23.040 / 23.038): enough to store received messages and to
# read back what a client submits.
# ---------------------------------------------------------------------------

GSM7_BASIC = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
              "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
GSM7_EXT = {0x0A: "\f", 0x14: "^", 0x28: "{", 0x29: "}", 0x2F: "\\", 0x3C: "[",
            0x3D: "~", 0x3E: "]", 0x40: "|", 0x65: "€"}
_GSM7_ENC = {ch: i for i, ch in enumerate(GSM7_BASIC) if i != 0x1B}
_GSM7_EXT_ENC = {ch: code for code, ch in GSM7_EXT.items()}


class PduError(ValueError):
    pass


def gsm7_septets(text):
    """Septets of text in the default alphabet, or None if a character has none."""
    out = []
    for ch in text:
        if ch in _GSM7_ENC:
            out.append(_GSM7_ENC[ch])
        elif ch in _GSM7_EXT_ENC:
            out.extend((0x1B, _GSM7_EXT_ENC[ch]))
        else:
            return None
    return out


def pack7(septets, fill_bits=0):
    acc, nbits, out = 0, fill_bits, bytearray()
    for s in septets:
        acc |= (s & 0x7F) << nbits
        nbits += 7
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits > 0:
        out.append(acc & 0xFF)
    return bytes(out)


def unpack7(data, count, fill_bits=0):
    value = int.from_bytes(data, "little")
    if fill_bits + 7 * count > 8 * len(data):
        raise PduError("user data shorter than its length")
    return [(value >> (fill_bits + 7 * i)) & 0x7F for i in range(count)]


def gsm7_text(septets):
    out, escape = [], False
    for s in septets:
        if escape:
            out.append(GSM7_EXT.get(s, GSM7_BASIC[s] if s != 0x1B else " "))
            escape = False
        elif s == 0x1B:
            escape = True
        else:
            out.append(GSM7_BASIC[s])
    return "".join(out)


def swap_digits(digits):
    if len(digits) % 2:
        digits += "F"
    return bytes(int(digits[i + 1] + digits[i], 16) for i in range(0, len(digits), 2))


def unswap_digits(data, count):
    digits = "".join("%X%X" % (b & 0x0F, b >> 4) for b in data)
    return digits[:count]


def encode_address(number, toa=None):
    """Originating or destination address: length in semi-octets, type, digits."""
    if number.startswith("+"):
        digits, kind = number[1:], 0x91
    else:
        digits, kind = number, 0x81
    if digits and all(c in "0123456789*#abcABC" for c in digits):
        digits = digits.replace("*", "A").replace("#", "B")
        return bytes([len(digits), toa if toa is not None else kind]) + swap_digits(digits)
    septets = gsm7_septets(number)
    if septets is None:
        raise PduError("address %r has no GSM 7-bit form" % number)
    packed = pack7(septets)
    return bytes([len(packed) * 2, toa if toa is not None else 0xD0]) + packed


def encode_smsc(number):
    if not number:
        return b"\x00"
    digits = number[1:] if number.startswith("+") else number
    body = bytes([0x91 if number.startswith("+") else 0x81]) + swap_digits(digits)
    return bytes([len(body)]) + body


def encode_scts(time_text, tz_quarters=0):
    """'YY-MM-DD hh:mm:ss' (or 'YYYY-...'), or the 12/14 plain time-stamp digits."""
    digits = "".join(c for c in time_text if c.isdigit())
    if len(digits) == 14 and time_text.isdigit():
        return swap_digits(digits)
    if len(digits) == 14:
        digits = digits[2:]
    if len(digits) != 12:
        raise PduError("time %r is not YY-MM-DD hh:mm:ss" % time_text)
    tz = abs(tz_quarters)
    zone = swap_digits("%02d" % tz)[0] | (0x08 if tz_quarters < 0 else 0)
    return swap_digits(digits) + bytes([zone])


def concat_header(concat):
    ref, total, seq = int(concat["ref"]), int(concat["total"]), int(concat["seq"])
    if concat.get("ref16", ref > 0xFF):
        return bytes([0x08, 0x04, (ref >> 8) & 0xFF, ref & 0xFF, total, seq])
    return bytes([0x00, 0x03, ref & 0xFF, total, seq])


def choose_dcs(text):
    return 0x00 if gsm7_septets(text) is not None else 0x08


def alphabet(dcs):
    """0 = GSM 7-bit, 1 = 8-bit data, 2 = UCS-2."""
    if dcs & 0x80 == 0:
        if dcs & 0x20:
            return 1  # compressed: octets, whatever alphabet they unpack to
        kind = (dcs >> 2) & 0x03
        return 0 if kind == 3 else kind
    if dcs & 0xF0 == 0xE0:
        return 2
    if dcs & 0xF0 == 0xF0:
        return 1 if dcs & 0x04 else 0
    return 0


def encode_user_data(text, dcs, udh=b""):
    """(UDL, user data bytes) for text in the alphabet that dcs names."""
    kind = alphabet(dcs)
    header = bytes([len(udh)]) + udh if udh else b""
    if kind == 0:
        septets = gsm7_septets(text)
        if septets is None:
            raise PduError("text has characters outside the GSM 7-bit alphabet")
        if not header:
            return len(septets), pack7(septets)
        header_septets = (len(header) * 8 + 6) // 7
        fill = header_septets * 7 - len(header) * 8
        return header_septets + len(septets), header + pack7(septets, fill)
    body = text.encode("utf-16-be") if kind == 2 else text.encode("latin-1")
    return len(header) + len(body), header + body


def encode_deliver(sender, text, time_text, smsc="", dcs=None, concat=None, tz=0, toa=None):
    """Hex text of an SMS-DELIVER as a network hands it to the modem."""
    if dcs is None:
        dcs = choose_dcs(text)
    udh = concat_header(concat) if concat else b""
    first = 0x40 if udh else 0x00
    udl, ud = encode_user_data(text, dcs, udh)
    pdu = (encode_smsc(smsc) + bytes([first]) + encode_address(sender, toa) +
           bytes([0x00, dcs]) + encode_scts(time_text, tz) + bytes([udl]) + ud)
    return pdu.hex().upper()


def split_long_text(text, dcs):
    """Part texts of a concatenated message, never splitting an escape or a surrogate pair."""
    parts, current, used = [], "", 0
    limit = 153 if alphabet(dcs) == 0 else 134
    for ch in text:
        cost = len(gsm7_septets(ch)) if alphabet(dcs) == 0 else len(ch.encode("utf-16-be"))
        if used + cost > limit:
            parts.append(current)
            current, used = "", 0
        current += ch
        used += cost
    parts.append(current)
    return parts


def stored_length(pdu_hex):
    """Length for a listing header; a deliberately broken stored PDU still lists."""
    try:
        return tpdu_length(pdu_hex)
    except PduError:
        return len(pdu_hex) // 2


def tpdu_length(pdu_hex):
    """Octets after the service-centre field, as AT+CMGS announces them."""
    try:
        data = bytes.fromhex(pdu_hex)
    except ValueError:
        raise PduError("not hexadecimal")
    if not data:
        raise PduError("empty PDU")
    return len(data) - 1 - data[0]


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise PduError("PDU ends at octet %d, %d more needed" % (self.pos, n))
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def byte(self):
        return self.take(1)[0]


def _decode_address(reader):
    count, toa = reader.byte(), reader.byte()
    raw = reader.take((count + 1) // 2)
    if toa & 0x70 == 0x50:
        septets = unpack7(raw, count * 4 // 7)
        # A length counted in whole octets can add one zero septet of padding.
        if septets and septets[-1] == 0 and len(septets) % 8 == 0:
            septets.pop()
        return gsm7_text(septets), toa
    digits = unswap_digits(raw, count).replace("A", "*").replace("B", "#")
    return ("+" + digits if toa & 0x70 == 0x10 else digits), toa


def decode_pdu(pdu_hex, kind=None):
    """Fields of an SMS-DELIVER or SMS-SUBMIT given as hex text; PduError on malformed input.

    kind ("deliver" or "submit") overrides the message-type bits, which some
    stored PDUs leave at zero whatever they hold.
    """
    try:
        reader = _Reader(bytes.fromhex(pdu_hex))
    except ValueError:
        raise PduError("not hexadecimal")
    out = {}
    sca_len = reader.byte()
    sca = reader.take(sca_len)
    if sca_len:
        digits = unswap_digits(sca[1:], 2 * (sca_len - 1)).rstrip("F")
        out["smsc"] = ("+" if sca[0] & 0x70 == 0x10 else "") + digits
    else:
        out["smsc"] = ""
    first = reader.byte()
    mti = {"deliver": 0, "submit": 1}.get(kind, first & 0x03)
    if mti == 1:
        out["type"] = "submit"
        out["mr"] = reader.byte()
        out["to"], toa = _decode_address(reader)
    elif mti == 0:
        out["type"] = "deliver"
        out["from"], toa = _decode_address(reader)
    else:
        raise PduError("message type %d is neither deliver nor submit" % mti)
    out["toa"] = "%02X" % toa
    out["pid"] = reader.byte()
    dcs = out["dcs"] = reader.byte()
    if mti == 1:
        vpf = (first >> 3) & 0x03
        reader.take({0: 0, 2: 1}.get(vpf, 7))
    else:
        out["scts"] = unswap_digits(reader.take(7), 14)
    udl = reader.byte()
    rest = reader.data[reader.pos:]
    header = b""
    if first & 0x40:
        if not rest:
            raise PduError("header flag set but no user data")
        header = rest[:1 + rest[0]]
        if len(header) != 1 + rest[0]:
            raise PduError("user-data header runs past the PDU")
        ies, i = header[1:], 0
        while i + 2 <= len(ies):
            iei, length = ies[i], ies[i + 1]
            value = ies[i + 2:i + 2 + length]
            if iei == 0x00 and len(value) == 3:
                out["concat"] = {"ref": value[0], "total": value[1], "seq": value[2], "ref16": False}
            elif iei == 0x08 and len(value) == 4:
                out["concat"] = {"ref": value[0] << 8 | value[1], "total": value[2],
                                 "seq": value[3], "ref16": True}
            i += 2 + length
    kind = alphabet(dcs)
    if kind == 0:
        header_septets = (len(header) * 8 + 6) // 7
        if udl < header_septets:
            raise PduError("user-data length shorter than its header")
        septets = unpack7(rest[len(header):], udl - header_septets,
                          header_septets * 7 - len(header) * 8)
        out["text"] = gsm7_text(septets)
    else:
        if udl > len(rest):
            raise PduError("user data shorter than its length")
        body = rest[len(header):udl]
        out["text"] = body.decode("utf-16-be", "replace") if kind == 2 else body.hex().upper()
    return out


# ---------------------------------------------------------------------------
# Models
# ---------------------------------------------------------------------------

# Per model: how it reads the SIM number ("+CCID" or "^ICCID"), whether its IMEI
# comes as '+CGSN: "<imei>"' (the Yuga modules) or bare, how it reads
# stored messages ("cmgl" lists, "cmgr" reads one at a time, "cdma" uses ^HCMGL),
# and which vendor commands it knows.  Commands outside its set answer ERROR, so
# a client that sends one model's command to another is caught.
MODELS = {
    "CPhone_KG70_FT_ON":              {"iccid": "+CCID",  "read": "cmgl", "vendor": set()},
    "CPhone_M26":                     {"iccid": "+CCID",  "read": "cmgl", "vendor": set()},
    "CPhone_EC20F":                   {"iccid": "+CCID",  "read": "cmgl", "vendor": set()},
    "CPhone_K2210_NC5":               {"iccid": "+CCID",  "read": "cmgr", "vendor": {"+ATVER"}, "cgsn": "prefixed"},
    "CPhone_K2210_ME":                {"iccid": "^ICCID", "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_MG301_ON_KW40010":        {"iccid": "+CCID",  "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_K1100_FT_ON":             {"iccid": "+CCID",  "read": "cmgl", "vendor": set()},
    "CPhone_MC323_ON":                {"iccid": "+CCID",  "read": "cdma", "vendor": {"^RSSIREP", "^CURC"}},
    "CPhone_MH5000":                  {"iccid": "^ICCID", "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_K2210_RC3":               {"iccid": "+CCID",  "read": "cmgr", "vendor": set(), "cgsn": "prefixed"},
    "CPhone_K2210_RV3":               {"iccid": "+CCID",  "read": "cmgr", "vendor": set(), "cgsn": "prefixed"},
    "CPhone_MeigDev":                 {"iccid": "+CCID",  "read": "cmgr", "vendor": set()},
    "CPhone_TD_ME909":                {"iccid": "^ICCID", "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_TD_ME901":                {"iccid": "+CCID",  "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_TD_MH5000":               {"iccid": "^ICCID", "read": "cmgl", "vendor": {"^CURC"}},
    "CPhone_INCORPORATED_A7600C1_SE": {"iccid": "+CCID",  "read": "cmgr", "vendor": set()},
}

CME_TEXT = {3: "operation not allowed", 4: "operation not supported", 10: "SIM not inserted",
            13: "SIM failure", 100: "unknown"}

STORAGE_NAMES = ("SM", "ME")
DEFAULT_CAPACITY = {"SM": 50, "ME": 100}


def ati_search_dirs(extra):
    here = os.path.dirname(os.path.abspath(__file__))
    dirs = [extra] if extra else []
    if os.environ.get("MODEMSIM_ATI_DIR"):
        dirs.append(os.environ["MODEMSIM_ATI_DIR"])
    dirs += [os.path.join(here, "ati"), os.path.join(here, "..", "tests", "fixtures", "ati")]
    return dirs


def load_ati(model, dirs):
    for d in dirs:
        path = os.path.join(d, model + ".txt")
        if os.path.isfile(path):
            with open(path, "rb") as f:
                return f.read()
    raise ConfigError("no ATI sample for model %s (looked in %s)" % (model, ", ".join(dirs)))


class ConfigError(Exception):
    pass


def answer_bytes(value):
    """A configured answer: text (UTF-8) or {"hex": "..."} for arbitrary bytes."""
    if isinstance(value, dict):
        return bytes.fromhex(value["hex"])
    return value.encode("utf-8")


# ---------------------------------------------------------------------------
# One simulated modem
# ---------------------------------------------------------------------------

class Modem:
    def __init__(self, cfg, number, logdir, ati_dirs):
        if not isinstance(cfg, dict):
            raise ConfigError("modem %d: not an object" % number)
        self.path = cfg.get("path", "/dev/ttyUSB%d" % number)
        self.name = cfg.get("name", os.path.basename(self.path))
        if not self.name or "/" in self.name or self.name.startswith("."):
            raise ConfigError("modem %d: %r cannot name its log files" % (number, self.name))
        self.model = cfg.get("model", "CPhone_EC20F")
        if self.model not in MODELS and "ati" not in cfg:
            raise ConfigError("%s: unknown model %r" % (self.name, self.model))
        self.caps = dict(MODELS.get(self.model, MODELS["CPhone_EC20F"]))
        for key in ("iccid", "read"):
            if key in cfg.get("caps", {}):
                self.caps[key] = cfg["caps"][key]
        self.ati = answer_bytes(cfg["ati"]) if "ati" in cfg else load_ati(self.model, ati_dirs)
        self.speeds = [int(s) for s in cfg.get("speeds", [9600, 115200])]
        self.wrong_speed = cfg.get("wrong_speed", "silent")
        self.sim = bool(cfg.get("sim", True))
        self.imei = str(cfg.get("imei", self._imei_from_ati()))
        self.iccid = str(cfg.get("iccid", "89860012345678901234"))
        self.csq = str(cfg.get("csq", "23,99"))
        self.smsc = str(cfg.get("smsc", "+8613800100500"))
        self.cmee = int(cfg.get("cmee", 1))
        self.echo = bool(cfg.get("echo", True))
        self.cmgf = 0
        self.check_length = bool(cfg.get("check_length", True))
        self.answers = {self._normalise(k): (v if isinstance(v, list) else [v])
                        for k, v in cfg.get("answers", {}).items()}
        self.send_script = list(cfg.get("send", []))
        faults = cfg.get("faults", {})
        self.silent = bool(faults.get("silent", False))
        self.garbage = bool(faults.get("garbage", False))
        self.delay = float(faults.get("delay_ms", 0)) / 1000.0
        chunk = faults.get("chunk") or {}
        self.chunk_bytes = int(chunk.get("bytes", 0))
        self.chunk_gap = float(chunk.get("ms", 0)) / 1000.0
        self.hangup_after = faults.get("hangup_after")
        self.silent_after = faults.get("silent_after")
        # Bytes leave (and arrive) at the line speed the client set, 10 bits each.
        self.pace = bool(faults.get("pace", False))
        urc = faults.get("urc") or {}
        self.urc_text = answer_bytes(urc["text"]) if "text" in urc else b""
        self.urc_at = set(urc.get("at", []))
        self.rng = random.Random(cfg.get("seed", self.name))
        self.closed = False
        self.capacity = dict(DEFAULT_CAPACITY, **cfg.get("capacity", {}))
        self.storage = {mem: {} for mem in STORAGE_NAMES}
        self._fill_storage(cfg.get("storage", {}))
        self.arrivals = [self._arrival(a) for a in cfg.get("arrivals", [])]
        # Deletes by index answered with a final line of the configuration;
        # the message stays.
        try:
            self.refuse_delete = {int(i): str(line) for i, line in cfg.get("refuse_delete", {}).items()}
        except (AttributeError, ValueError):
            raise ConfigError("%s: refuse_delete maps indices to answers" % self.name)
        self.mems = ["SM", "SM", "SM"]
        self.echo_buf = bytearray()
        self.sent = []
        self.message_ref = 0
        self.commands_heard = 0
        self.line = bytearray()
        self.body = None          # bytes of a message being typed after the prompt
        self.body_kind = None
        self.body_len = 0
        self.body_to = ""
        self.pending_send = None  # the send-script entry of the message being typed
        self.out = collections.deque()  # [due time, bytes] waiting for the master
        self.queued = 0           # bytes in self.out
        self.line_free = 0.0      # when the last queued byte has left (paced: and the line is free)
        self.rx_free = 0.0        # paced: when the client's last byte has crossed the line
        self.seq = 0
        self.master = self.slave = -1
        self.link_made = False
        os.makedirs(logdir, exist_ok=True)
        self.rx_fd = os.open(os.path.join(logdir, self.name + ".rx"),
                             os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_APPEND, 0o644)
        self.events = open(os.path.join(logdir, self.name + ".events"), "w", encoding="utf-8")
        self.state_path = os.path.join(logdir, self.name + ".state.json")
        self._write_state()

    # -- configuration helpers

    def _imei_from_ati(self):
        # A CDMA module names its ESN where others name their IMEI.
        for line in self.ati.decode("latin-1").splitlines():
            if line.startswith(("IMEI:", "ESN:")):
                return line.split(":", 1)[1].strip()
        return "861234567890123"

    def _fill_storage(self, storage):
        for mem, entries in storage.items():
            if mem not in self.storage:
                raise ConfigError("%s: unknown storage %r (SM or ME)" % (self.name, mem))
            index = 1
            for entry in entries:
                entry = dict(entry)
                wanted = entry.pop("index", None)
                for msg in self._expand(entry):
                    if wanted is not None:
                        index, wanted = int(wanted), None
                    while index in self.storage[mem]:
                        index += 1
                    self.storage[mem][index] = msg
                    index += 1

    LISTING_FAULTS = {"missing", "cut", "not_hex", "length"}

    def _listing_fault(self, fault):
        """A storage entry's "listing": how AT+CMGL answers show it damaged."""
        if not isinstance(fault, dict) or not set(fault) <= {"fault", "octets", "index", "listings"}:
            raise ConfigError("%s: \"listing\" takes fault, octets, index and listings" % self.name)
        if "fault" in fault and fault["fault"] not in self.LISTING_FAULTS:
            raise ConfigError("%s: unknown listing fault %r (%s)"
                              % (self.name, fault["fault"], ", ".join(sorted(self.LISTING_FAULTS))))
        return fault

    def _expand(self, entry):
        """Storage entries as configured -> stored records (several for a split long text)."""
        msg = dict(entry)
        msg["stat"] = int(msg.get("stat", 1))
        if "listing" in msg:
            msg["listing"] = self._listing_fault(msg["listing"])
        if self.caps["read"] == "cdma":
            msg.setdefault("from", "13912345678")
            msg.setdefault("time", "2023-05-17 08:30:00")
            msg.setdefault("encoding", 1)
            msg.setdefault("text", "")
            return [msg]
        if "pdu" in msg:
            msg["pdu"] = msg["pdu"].upper()
            return [msg]
        text = msg.pop("text", "")
        sender = msg.pop("from", "+8613912345678")
        when = msg.pop("time", "23-05-17 08:30:00")
        dcs = msg.pop("dcs", None)
        dcs = choose_dcs(text) if dcs is None else int(dcs)
        tz = int(msg.pop("tz", 0))
        smsc = msg.pop("smsc", self.smsc)
        split = msg.pop("split", None)
        if split:
            parts = split_long_text(text, dcs)
            order = split.get("order") or list(range(1, len(parts) + 1))
            if any(not 1 <= int(seq) <= len(parts) for seq in order):
                raise ConfigError("%s: the text has %d parts; order %r names others"
                                  % (self.name, len(parts), order))
            out = []
            for seq in order:
                concat = {"ref": int(split.get("ref", 1)), "total": len(parts), "seq": seq,
                          "ref16": bool(split.get("ref16", False))}
                pdu = encode_deliver(sender, parts[seq - 1], when, smsc, dcs, concat, tz)
                out.append(dict(msg, pdu=pdu))
            return out
        concat = msg.pop("concat", None)
        msg["pdu"] = encode_deliver(sender, text, when, smsc, dcs, concat, tz)
        return [msg]

    def _arrival(self, cfg):
        """A message delivered while a client works: after the n-th command
        that starts with "after", into the storage selected then."""
        if not isinstance(cfg, dict) or "after" not in cfg or "message" not in cfg:
            raise ConfigError("%s: an arrival needs \"after\" and \"message\"" % self.name)
        storage = cfg.get("storage")
        if storage is not None and storage not in STORAGE_NAMES:
            raise ConfigError("%s: unknown storage %r (SM or ME)" % (self.name, storage))
        message = dict(cfg["message"])
        message.pop("index", None)  # the storage gives it the lowest free one
        return {"after": self._normalise(cfg["after"]), "nth": int(cfg.get("nth", 1)), "heard": 0,
                "storage": storage, "messages": self._expand(message)}

    def _arrive(self, cmd):
        for arrival in self.arrivals:
            if not cmd.startswith(arrival["after"]):
                continue
            arrival["heard"] += 1
            if arrival["heard"] != arrival["nth"]:
                continue
            mem = arrival["storage"] or self.mems[0]
            box, indices = self.storage[mem], []
            for msg in arrival["messages"]:
                # The lowest free index, as modems fill their storage.
                index = 1
                while index in box:
                    index += 1
                box[index] = dict(msg)
                indices.append(index)
            self.event("arrival", mem=mem, indices=indices)
            self._write_state()

    @staticmethod
    def _normalise(command):
        """Upper case and no blanks outside double quotes, as modems compare commands."""
        out, quoted = [], False
        for ch in command.strip("\r\n\t\x00 "):
            if ch == '"':
                quoted = not quoted
            if quoted:
                out.append(ch)
            elif ch not in " \t":
                out.append(ch.upper())
        return "".join(out)

    # -- pseudo-terminal and link

    def open(self):
        self.master, self.slave = os.openpty()
        # Raw from the start: a client that has not configured the line yet must
        # not have our answers echoed back to us by the slave's line discipline.
        tty.setraw(self.slave)
        fcntl.fcntl(self.master, fcntl.F_SETFL, fcntl.fcntl(self.master, fcntl.F_GETFL) | os.O_NONBLOCK)
        target = os.ttyname(self.slave)
        if os.path.lexists(self.path):
            raise ConfigError("%s already exists; not replacing it" % self.path)
        os.makedirs(os.path.dirname(self.path) or ".", exist_ok=True)
        os.symlink(target, self.path)
        self.link_made = True
        self.event("open", pty=target, path=self.path)

    def close(self, reason="exit"):
        if self.closed:
            return
        self.closed = True
        if self.link_made:
            try:
                os.unlink(self.path)
            except OSError:
                pass
            self.link_made = False
        for fd in (self.master, self.slave):
            if fd >= 0:
                os.close(fd)
        self.master = self.slave = -1
        self.out.clear()
        self.queued = 0
        if reason != "exit":
            self.event(reason)
        self._write_state()

    # -- logs

    def event(self, kind, /, **fields):
        self.seq += 1
        record = {"seq": self.seq, "t": round(time.time(), 6), "event": kind}
        record.update(fields)
        self.events.write(json.dumps(record, ensure_ascii=False) + "\n")
        self.events.flush()

    def _write_state(self):
        state = {
            "storage": {mem: [dict(msg, index=i) for i, msg in sorted(self.storage[mem].items())]
                        for mem in STORAGE_NAMES},
            "mems": self.mems, "echo": self.echo, "cmgf": self.cmgf, "cmee": self.cmee,
            "sent": self.sent, "closed": self.closed,
        }
        tmp = self.state_path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(state, f, ensure_ascii=False, indent=1)
        os.replace(tmp, self.state_path)

    # -- line speed

    def speed(self):
        try:
            attrs = termios.tcgetattr(self.slave)
        except termios.error:
            return 0
        return SPEED_CODES.get(attrs[5], 0)

    # -- output

    def byte_time(self):
        """Seconds one byte takes on the line when pacing, else 0."""
        speed = self.speed() if self.pace else 0
        return 10.0 / speed if speed > 0 else 0.0

    def send(self, data, delay=None):
        """Queue bytes for the client, after the configured delay, in chunks, and
        (pacing) one byte per character time, never before the command that asked
        for them has crossed the line."""
        if not data or self.closed:
            return
        if self.echo_buf:
            self._flush_echo()
        now = time.monotonic()
        due = max(now + (self.delay if delay is None else delay), self.line_free, self.rx_free)
        step = self.byte_time()
        size = self.chunk_bytes if self.chunk_bytes > 0 else len(data)
        for n, i in enumerate(range(0, len(data), size)):
            piece = data[i:i + size]
            if n:
                due += self.chunk_gap
            if step:
                for b in piece:
                    due += step  # handed over once it has crossed the line
                    self.out.append([due, bytes([b])])
            else:
                self.out.append([due, piece])
        self.queued += len(data)
        self.line_free = due

    def flush(self):
        now = time.monotonic()
        while self.out and self.out[0][0] <= now and not self.closed:
            data = self.out[0][1]
            try:
                n = os.write(self.master, data)
            except OSError as e:
                if e.errno in (errno.EAGAIN, errno.EWOULDBLOCK):
                    return
                raise
            self.queued -= n
            if n < len(data):
                self.out[0][1] = data[n:]
                return
            self.out.popleft()

    def next_due(self):
        return self.out[0][0] if self.out else None

    def listening(self):
        """Whether to take in more commands now. Queued output is never
        dropped: while much of it waits for a client that reads slowly (or a
        paced line), no more commands are taken in, so the client's writes
        wait in the terminal's buffer, as behind a real modem that is busy."""
        return self.queued <= OUTPUT_HIGH_WATER

    # -- input

    def on_input(self, data):
        os.write(self.rx_fd, data)
        step = self.byte_time()
        if step:
            self.rx_free = max(time.monotonic(), self.rx_free) + len(data) * step
        speed = self.speed()
        heard = speed in self.speeds
        if not heard and self.wrong_speed == "garbage":
            self.send(self._garbage(), delay=0)
        echoing = heard and not (self.silent or self.garbage)
        for i in range(len(data)):
            if self.closed:
                return
            # Echo follows the setting at each byte: nothing after "ATE0\r".
            if echoing and self.echo:
                self.echo_buf.append(data[i])
            self._feed(data[i], speed, heard)
        self._flush_echo()

    def drain(self):
        """Take in what a client wrote just before we were stopped, so the log is whole."""
        while not self.closed:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            if not data:
                return
            try:
                self.on_input(data)
            except Exception:
                return

    def _flush_echo(self):
        if self.echo_buf:
            echo, self.echo_buf = bytes(self.echo_buf), bytearray()
            self.send(echo, delay=0)

    def _garbage(self):
        return bytes(self.rng.randrange(256) for _ in range(self.rng.randrange(8, 40)))

    def _feed(self, byte, speed, heard):
        if self.body is not None:
            self._feed_body(byte, speed, heard)
            return
        if byte != 0x0D:
            if len(self.line) < 4096:
                self.line.append(byte)
            return
        raw = bytes(self.line)
        self.line.clear()
        text = raw.decode("latin-1").lstrip("\n\x00 \t")
        if not text:
            return
        self._command(text, speed, heard)

    def _command(self, text, speed, heard):
        cmd = self._normalise(text)
        if not heard:
            self.event("command", cmd=cmd, speed=speed, outcome="wrong-speed")
            return
        self.commands_heard += 1
        if self.hangup_after is not None and self.commands_heard > int(self.hangup_after):
            self.event("command", cmd=cmd, speed=speed, outcome="hangup")
            self.close("hangup")
            return
        if self.silent or (self.silent_after is not None and self.commands_heard > int(self.silent_after)):
            self.event("command", cmd=cmd, speed=speed, outcome="silent")
            return
        if self.garbage:
            junk = self._garbage()
            self.send(junk)
            self.event("command", cmd=cmd, speed=speed, outcome="garbage", answer=junk.hex())
            return
        if not cmd.startswith("AT"):
            self.event("command", cmd=cmd, speed=speed, outcome="ignored")
            return
        if cmd in self.answers:
            queue = self.answers[cmd]
            value = queue.pop(0) if len(queue) > 1 else queue[0]
            reply = None if value is None else answer_bytes(value)
            self.send(reply)
            self.event("command", cmd=cmd, speed=speed, outcome="configured",
                       answer=None if reply is None else reply.decode("latin-1"))
            self._arrive(cmd)
            return
        reply = self._with_urc(self._builtin(cmd))
        self.send(reply)
        self.event("command", cmd=cmd, speed=speed, outcome="answered",
                   answer=reply.decode("latin-1"))
        # After the answer is made: a message arriving now is not in it.
        self._arrive(cmd)

    def _with_urc(self, reply):
        """The answer with the unsolicited line in front ("before") and in front
        of its final result line ("inside")."""
        if not self.urc_text or not reply:
            return reply
        if "inside" in self.urc_at:
            final = reply.rstrip(b"\r\n").rfind(b"\r\n")
            if final > 0:
                reply = reply[:final] + self.urc_text + reply[final:]
        if "before" in self.urc_at:
            reply = self.urc_text + reply
        return reply

    # -- answers

    @staticmethod
    def ok():
        return b"\r\nOK\r\n"

    @staticmethod
    def info(*lines):
        return ("\r\n" + "\r\n".join(lines) + "\r\n\r\nOK\r\n").encode("utf-8")

    @staticmethod
    def error():
        return b"\r\nERROR\r\n"

    def cme(self, code):
        if self.cmee == 0:
            return self.error()
        if self.cmee == 2:
            return ("\r\n+CME ERROR: %s\r\n" % CME_TEXT.get(code, "unknown")).encode()
        return ("\r\n+CME ERROR: %d\r\n" % code).encode()

    def cms(self, code):
        if self.cmee == 0:
            return self.error()
        return ("\r\n+CMS ERROR: %d\r\n" % code).encode()

    def _builtin(self, cmd):
        body = cmd[2:]
        cdma = self.caps["read"] == "cdma"
        if body in ("", "Z", "&F", "&W", "V1", "Q0", "+CMEE?"):
            if body == "Z":
                self.echo, self.cmgf = True, 0
            if body == "+CMEE?":
                return self.info("+CMEE: %d" % self.cmee)
            return self.ok()
        if body in ("E0", "E1", "E"):
            self.echo = body == "E1"
            self._write_state()
            return self.ok()
        if body in ("I", "I0"):
            return self.ati
        if body in ("+CGSN", "+GSN", "+CGSN=1"):
            if not self.imei:
                return self.error()
            if self.caps.get("cgsn") == "prefixed":
                return self.info('+CGSN: "%s"' % self.imei)
            return self.info(self.imei)
        if body in ("+CGMI", "+GMI"):
            return self.info(self.ati.decode("latin-1").strip().splitlines()[0])
        if body.startswith("+CMEE="):
            value = body[6:]
            if value not in ("0", "1", "2"):
                return self.error()
            self.cmee = int(value)
            return self.ok()
        if body in ("+CCID", "+CCID?", "+ICCID"):
            if self.caps["iccid"] != "+CCID":
                return self.error()
            return self.info('+CCID: "%s"' % self.iccid) if self.sim else self.cme(10)
        if body == "^ICCID?":
            if self.caps["iccid"] != "^ICCID":
                return self.error()
            return self.info("^ICCID: %s" % self.iccid) if self.sim else self.cme(10)
        if body == "+CIMI":
            return self.info("460001234567890") if self.sim else self.cme(10)
        if body == "+CSQ":
            return self.info("+CSQ: %s" % self.csq)
        if body == "+CSQ=?":
            return self.info("+CSQ: (0-31,99),(0-7,99)")
        if body in ("+CREG?", "+CGREG?"):
            return self.info("%s: 0,%d" % (body[:-1], 1 if self.sim else 0))
        if body.startswith(("+CREG=", "+CGREG=", "+CLIP=", "+CNMI=", "+CSCS=")):
            return self.ok()
        if body.startswith("+CSMS="):
            return self.info("+CSMS: 1,1,1")
        if body.startswith("^") or body.startswith("+ATVER"):
            return self._vendor(body)
        # The SMS service commands below need a SIM; +CMGF is a mere setting.
        if not self.sim and body.startswith(("+CSCA", "+CPMS", "+CMGL", "+CMGR", "+CMGS", "+CMGD")):
            return self.cms(310)
        if body == "+CSCA?":
            kind = 145 if self.smsc.startswith("+") else 129
            return self.info('+CSCA: "%s",%d' % (self.smsc, kind))
        if body.startswith("+CSCA="):
            self.smsc = body[6:].split(",")[0].strip('"')
            return self.ok()
        if body.startswith("+CMGF="):
            value = body[6:]
            if value not in ("0", "1") or (cdma and value == "0"):
                return self.error()
            self.cmgf = int(value)
            self._write_state()
            return self.ok()
        if body == "+CMGF?":
            return self.info("+CMGF: %d" % self.cmgf)
        if body.startswith("+CPMS"):
            return self._cpms(body[5:])
        if body == "+CMGD=?":
            used = ",".join(str(i) for i in sorted(self.storage[self.mems[0]]))
            return self.info("+CMGD: (%s),(0-4)" % used)
        if body.startswith("+CMGD="):
            return self._cmgd(body[6:])
        if body.startswith("+CMGL"):
            return self._cmgl(body[5:])
        if body.startswith("+CMGR="):
            return self._cmgr(body[6:])
        if body.startswith("+CMGS="):
            return self._cmgs(body[6:])
        return self.error()

    def _vendor(self, body):
        cdma = self.caps["read"] == "cdma"
        name = body.split("=")[0].rstrip("?")
        if name == "^ICCID":
            return self.error()
        if cdma and name == "^HSMSSS":
            return self.ok()
        if cdma and name == "^HCMGS":
            if not self.sim:
                return self.cms(310)
            return self._prompt("cdma", 0, body.split("=", 1)[1].strip('"') if "=" in body else "")
        if cdma and name == "^HCMGL":
            return self._hcmgl(body.split("=", 1)[1] if "=" in body else "4")
        if cdma and name == "^HCMGR":
            return self._hcmgr(body.split("=", 1)[1] if "=" in body else "")
        if name in self.caps["vendor"]:
            return self.ok()
        return self.error()

    def _cpms(self, args):
        def report():
            parts = []
            for mem in self.mems:
                parts.append("%d,%d" % (len(self.storage[mem]), self.capacity[mem]))
            return parts
        if args == "?":
            parts = report()
            return self.info("+CPMS: " + ",".join('"%s",%s' % (m, p) for m, p in zip(self.mems, parts)))
        if args == "=?":
            return self.info('+CPMS: ("SM","ME"),("SM","ME"),("SM","ME")')
        if not args.startswith("="):
            return self.error()
        names = [a.strip('"') for a in args[1:].split(",") if a]
        if not names or len(names) > 3 or any(n not in STORAGE_NAMES for n in names):
            return self.cms(302)
        for i, n in enumerate(names):
            self.mems[i] = n
        self._write_state()
        return self.info("+CPMS: " + ",".join(report()))

    def _number(self, text):
        try:
            return int(text)
        except ValueError:
            return None

    def _cmgd(self, args):
        pieces = args.split(",")
        index = self._number(pieces[0])
        flag = self._number(pieces[1]) if len(pieces) > 1 else 0
        if index is None or flag is None or not 0 <= flag <= 4:
            return self.cms(302)
        box = self.storage[self.mems[0]]
        if flag == 0 and index in self.refuse_delete:
            answer = self.refuse_delete[index]
            self.event("delete-refused", mem=self.mems[0], index=index, answer=answer)
            return b"\r\n" + answer_bytes(answer) + b"\r\n"
        if flag == 0:
            gone = [index] if index in box else []
        else:
            keep = {1: {0, 2, 3}, 2: {0, 2}, 3: {0}, 4: set()}[flag]
            gone = [i for i, msg in box.items() if msg["stat"] not in keep]
        for i in gone:
            del box[i]
        self.event("delete", mem=self.mems[0], indices=sorted(gone))
        self._write_state()
        return self.ok()

    def _cmgl(self, args):
        if self.caps["read"] != "cmgl":
            return self.error()
        if self.cmgf != 0:
            return self.cms(302)
        stat = self._number(args[1:]) if args.startswith("=") else 0
        if stat is None or not 0 <= stat <= 4:
            return self.cms(302)
        lines = []
        box = self.storage[self.mems[0]]
        for index in sorted(box):
            msg = box[index]
            if stat != 4 and msg["stat"] != stat:
                continue
            shown, pdu, length = self._listed(index, msg)
            lines.append("+CMGL: %d,%d,,%d" % (shown, msg["stat"], length))
            if pdu is not None:
                lines.append(pdu)
            if msg["stat"] == 0:
                msg["stat"] = 1
        self._write_state()
        return self.info(*lines) if lines else self.ok()

    def _listed(self, index, msg):
        """(index shown, PDU line or None, announced length) of a stored entry
        in this listing: as stored, or as its "listing" fault damages it while
        that lasts (the first "listings" listings that show it; all without).
        AT+CMGR always reads it whole."""
        pdu, length = msg["pdu"], stored_length(msg["pdu"])
        fault = msg.get("listing")
        if not fault:
            return index, pdu, length
        listed = msg.get("listed", 0)
        msg["listed"] = listed + 1
        if fault.get("listings") is not None and listed >= int(fault["listings"]):
            return index, pdu, length
        kind = fault.get("fault")
        if kind == "missing":
            pdu = None
        elif kind == "cut":
            pdu = pdu[:max(0, len(pdu) - 2 * int(fault.get("octets", 10)))]
        elif kind == "not_hex":
            pdu = pdu[:len(pdu) // 2] + "?" + pdu[len(pdu) // 2 + 1:]
        elif kind == "length":
            length += int(fault.get("octets", 1))
        return int(fault.get("index", index)), pdu, length

    def _cmgr(self, args):
        index = self._number(args)
        box = self.storage[self.mems[0]]
        if self.caps["read"] == "cdma":
            return self.error()
        if self.cmgf != 0:
            return self.cms(302)
        if index is None or index not in box:
            return self.cms(321)
        msg = box[index]
        reply = self.info("+CMGR: %d,,%d" % (msg["stat"], stored_length(msg["pdu"])), msg["pdu"])
        if msg["stat"] == 0:
            msg["stat"] = 1
            self._write_state()
        return reply

    def _hcmgl(self, args):
        stat = self._number(args)
        if stat is None or not 0 <= stat <= 4:
            return self.error()
        box = self.storage[self.mems[0]]
        lines = ["^HCMGL:%d,%d" % (i, box[i]["stat"]) for i in sorted(box)
                 if stat == 4 or box[i]["stat"] == stat]
        return self.info(*lines) if lines else self.ok()

    def _hcmgr(self, args):
        index = self._number(args)
        box = self.storage[self.mems[0]]
        if index is None or index not in box:
            return self.cms(321)
        msg = box[index]
        stamp = "".join(c for c in msg["time"] if c.isdigit())
        if len(stamp) == 12:
            stamp = "20" + stamp
        if len(stamp) != 14:
            stamp = "20230517083000"
        year, rest = stamp[:4], stamp[4:]
        fields = [msg["from"], year] + [rest[i:i + 2] for i in range(0, 10, 2)]
        encoding = int(msg["encoding"])
        if "body_hex" in msg:
            body = bytes.fromhex(msg["body_hex"])
        elif encoding == 6:
            # Unicode text ends in a zero byte before Ctrl-Z, as the MC323 sends it.
            body = msg["text"].encode("utf-16-be")
        else:
            body = msg["text"].encode("latin-1", "replace")
        end = b"\x00\x1a" if encoding == 6 and "body_hex" not in msg else b"\x1a"
        # <lang>,<format>,<length>,<prt>,<prv>,<type>,<stat>
        fields += ["0", str(encoding), str(len(body)), "0", "0", "0", str(msg["stat"])]
        if msg["stat"] == 0:
            msg["stat"] = 1
            self._write_state()
        return (b"\r\n^HCMGR:" + ",".join(fields).encode("latin-1") + b"\r\n" +
                body + end + b"\r\n\r\nOK\r\n")

    # -- sending

    def _cmgs(self, args):
        if self.caps["read"] == "cdma":
            return self.error()
        if self.cmgf == 0:
            length = self._number(args)
            if length is None or not 1 <= length <= 255:
                return self.cms(304)
            return self._prompt("pdu", length, "")
        return self._prompt("text", 0, args.strip('"'))

    def _prompt(self, kind, length, to):
        entry = self.send_script.pop(0) if self.send_script else "ok"
        if isinstance(entry, dict) and "len" in entry:
            # The script refuses the length command itself; no prompt, no body.
            value = entry["len"]
            return b"" if value is None else b"\r\n" + answer_bytes(value) + b"\r\n"
        self.body, self.body_kind, self.body_len, self.body_to = bytearray(), kind, length, to
        self.pending_send = entry
        return b"\r\n> "

    def _feed_body(self, byte, speed, heard):
        if not heard:
            return
        body = self.body
        if byte == ESC:
            self.body = None
            self.event("sms", kind=self.body_kind, outcome="cancelled", body=bytes(body).hex())
            self.send(self.ok())
            return
        if byte == CTRL_Z:
            # A UCS-2 body ends in a zero byte then Ctrl-Z on an even boundary;
            # a 0x1A inside a character (as in U+4E1A) is text, not the end.
            if self.body_kind != "cdma" or (len(body) % 2 == 1 and body[-1] == 0):
                self.body = None
                self._finish_send(bytes(body), speed)
                return
        if len(body) < 65536:
            body.append(byte)

    def _finish_send(self, body, speed):
        record = {"kind": self.body_kind}
        invalid = False
        if self.body_kind == "pdu":
            pdu = body.decode("latin-1").strip("\r\n\t ")
            record.update(announced=self.body_len, pdu=pdu)
            try:
                record["length"] = tpdu_length(pdu)
                invalid = self.check_length and record["length"] != self.body_len
                record["decoded"] = decode_pdu(pdu, "submit")
            except PduError as e:
                record["error"] = str(e)
                invalid = True
        elif self.body_kind == "cdma":
            record.update(to=self.body_to, body=body.hex().upper(),
                          text=body[:-1].decode("utf-16-be", "replace"))
        else:
            record.update(to=self.body_to, text=body.decode("utf-8", "replace"))
        entry = self.pending_send
        self.pending_send = None
        delay = None
        if isinstance(entry, dict):
            # The network's time: the answer to the message comes this late.
            delay = float(entry.get("delay_ms", 0)) / 1000.0 if "delay_ms" in entry else None
            entry = entry.get("pdu", "ok")
        if invalid:
            # What a modem says to a PDU whose length or form is wrong; the
            # script entry is not used up by it.
            answer, record["outcome"] = self.cms(304), "invalid"
            self.send_script.insert(0, entry)
        else:
            answer = self._send_answer(entry)
            record["outcome"] = "silent" if answer is None else entry
        record["answer"] = None if answer is None else answer.decode("latin-1")
        self.sent.append(record)
        self.send(answer, delay)
        self.event("sms", speed=speed, **record)
        self._write_state()

    def _send_answer(self, entry):
        if entry is None or entry == "silent":
            return None
        if entry == "ok":
            self.message_ref = (self.message_ref + 1) % 256
            if self.body_kind == "cdma":
                return ("\r\nOK\r\n\r\n^HCMGSS: %d\r\n" % self.message_ref).encode()
            return ("\r\n+CMGS: %d\r\n\r\nOK\r\n" % self.message_ref).encode()
        return b"\r\n" + answer_bytes(entry) + b"\r\n"


# ---------------------------------------------------------------------------
# Serving
# ---------------------------------------------------------------------------

class StopRequest:
    """The stop signals' handler. It notes the request and wakes the select
    through a pipe; it raises nothing, since an exception thrown between a
    read from a pty and its logging would lose the bytes just read."""

    def __init__(self):
        self.requested = False
        self.wake_fd, self._write_fd = os.pipe()
        os.set_blocking(self._write_fd, False)

    def __call__(self, signum, frame):
        self.requested = True
        try:
            os.write(self._write_fd, b"!")
        except OSError:
            pass


class Simulator:
    def __init__(self, config, logdir, ati_dir=None):
        modems = config.get("modems") if isinstance(config, dict) else config
        if not isinstance(modems, list) or not modems:
            raise ConfigError("the configuration needs a non-empty list of modems")
        dirs = ati_search_dirs(ati_dir)
        self.modems = [Modem(cfg, i, logdir, dirs) for i, cfg in enumerate(modems)]
        names = [m.name for m in self.modems]
        if len(set(names)) != len(names):
            raise ConfigError("modem names must differ: %s" % ", ".join(names))

    def start(self):
        for m in self.modems:
            m.open()

    def stop(self):
        # What a client wrote just before the stop may still be on its way
        # through the kernel's tty buffers: take it in until every line has
        # been quiet for a moment (a bounded number of times), so the logs are whole.
        for _ in range(20):
            # A start that failed part way leaves later modems without a pty.
            live = [m for m in self.modems if not m.closed and m.master >= 0]
            ready = select.select([m.master for m in live], [], [], 0.1)[0] if live else []
            if not ready:
                break
            for m in live:
                if m.master in ready:
                    m.drain()
        for m in self.modems:
            m.drain()
            m.close()

    def serve(self, stop):
        """Answer until `stop` (a StopRequest) has been requested."""
        while not stop.requested:
            live = [m for m in self.modems if not m.closed]
            now = time.monotonic()
            dues = [m.next_due() for m in live if m.next_due() is not None]
            timeout = 0.2 if not dues else max(0.0, min(dues) - now)
            readers = [m.master for m in live if m.listening()] + [stop.wake_fd]
            writers = [m.master for m in live if m.out and m.out[0][0] <= now]
            r, w, _ = select.select(readers, writers, [], min(timeout, 0.2))
            for m in live:
                if m.closed:
                    continue
                if m.master in r:
                    try:
                        data = os.read(m.master, 4096)
                    except BlockingIOError:
                        data = b""
                    except OSError as e:
                        if e.errno != errno.EIO:
                            raise
                        data = b""
                    if data:
                        try:
                            m.on_input(data)
                        except Exception:
                            # A fault of ours must show, but not stop the other modems.
                            detail = traceback.format_exc()
                            sys.stderr.write("modemsim: %s: %s" % (m.name, detail))
                            m.event("crash", traceback=detail)
                            m.send(m.error())
                if not m.closed:
                    m.flush()


# Mount-namespace system calls, made directly: the same steps as
# "unshare -m --propagation private" and mount(8), without a process for each.
CLONE_NEWNS = 0x00020000
MS_BIND, MS_REC, MS_PRIVATE = 0x1000, 0x4000, 0x40000
MNT_DETACH = 2
LOCK_FOLDER = "/run/lock"


def _syscalls():
    import ctypes
    libc = ctypes.CDLL(None, use_errno=True)

    def check(result, what):
        if result != 0:
            err = ctypes.get_errno()
            raise OSError(err, "%s: %s" % (what, os.strerror(err)))

    def mount(source, target, fstype, flags, data=None):
        enc = lambda v: None if v is None else v.encode()
        check(libc.mount(enc(source), enc(target), enc(fstype), ctypes.c_ulong(flags), enc(data)),
              "mount %s on %s" % (source or fstype, target))

    def umount(target):
        check(libc.umount2(target.encode(), MNT_DETACH), "umount " + target)

    def unshare_mounts():
        check(libc.unshare(CLONE_NEWNS), "unshare")
        # Private all the way down: nothing mounted here reaches the machine.
        mount(None, "/", None, MS_REC | MS_PRIVATE)

    return mount, umount, unshare_mounts


def setup_private_dev(mount, umount):
    """Replace /dev of this (already private) mount namespace with a minimal tmpfs."""
    aside = tempfile.mkdtemp(prefix="modemsim-dev.")
    old_dev, old_pts = os.path.join(aside, "dev"), os.path.join(aside, "pts")
    os.mkdir(old_dev)
    os.mkdir(old_pts)
    try:
        mount("/dev", old_dev, None, MS_BIND)
        mount("/dev/pts", old_pts, None, MS_BIND)
        mount("tmpfs", "/dev", "tmpfs", 0, "mode=755")
        for node in ("null", "zero", "tty", "random", "urandom", "full"):
            open("/dev/" + node, "w").close()
            mount(os.path.join(old_dev, node), "/dev/" + node, None, MS_BIND)
        os.mkdir("/dev/pts")
        mount(old_pts, "/dev/pts", None, MS_BIND)
        os.mknod("/dev/ptmx", 0o666 | stat.S_IFCHR, os.makedev(5, 2))
        os.chmod("/dev/ptmx", 0o666)
        for name, target in (("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"),
                             ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2")):
            os.symlink(target, "/dev/" + name)
        umount(old_dev)
        umount(old_pts)
    finally:
        shutil.rmtree(aside, ignore_errors=True)


def setup_private_lock_folder(mount):
    """An empty tmpfs on /run/lock, where programs keep a lock file per port:
    the simulated ttyUSB0 must neither meet the machine's real ttyUSB0 lock nor
    that of another namespace's simulated one."""
    if os.path.isdir(LOCK_FOLDER):  # without one, programs guard ports by flock alone
        mount("tmpfs", LOCK_FOLDER, "tmpfs", 0, "mode=1777")


def isolate():
    """Move this process into a private mount namespace with its own /dev and /run/lock."""
    if os.geteuid() != 0:
        sys.stderr.write("modemsim: --isolate needs root (a private mount namespace)\n")
        sys.exit(EXIT_NO_NAMESPACE)
    try:
        mount, umount, unshare_mounts = _syscalls()
        unshare_mounts()
        setup_private_dev(mount, umount)
        setup_private_lock_folder(mount)
    except OSError as e:
        sys.stderr.write("modemsim: cannot set up a private /dev and %s: %s\n" % (LOCK_FOLDER, e))
        sys.exit(EXIT_NO_NAMESPACE)


def load_config(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    parser = argparse.ArgumentParser(
        description="Serve simulated modems on pseudo-terminals linked at device paths.")
    parser.add_argument("--config", required=True, help="JSON file: a list of modems, or {\"modems\": [...]}")
    parser.add_argument("--logdir", help="where <name>.rx, .events and .state.json go and stay "
                        "(default: a temporary folder, removed at the end)")
    parser.add_argument("--ready-file", help="file written once every link exists")
    parser.add_argument("--ati-dir", help="folder of <model>.txt ATI answers")
    parser.add_argument("--isolate", action="store_true",
                        help="run in a private mount namespace with a fresh /dev and /run/lock (root)")
    parser.add_argument("command", nargs="*", help="after --: run this command while serving, then stop")
    args = parser.parse_args(argv)
    if args.isolate:
        isolate()
    sim = None
    try:
        config = load_config(args.config)
        logdir = args.logdir or tempfile.mkdtemp(prefix="modemsim.")
        sim = Simulator(config, logdir, args.ati_dir)
        sim.start()
    except (ConfigError, OSError, ValueError, KeyError, TypeError, AttributeError) as e:
        sys.stderr.write("modemsim: %s\n" % e)
        if sim is not None:
            sim.stop()
        return 2

    stop = StopRequest()

    if not args.command:
        try:
            signal.signal(signal.SIGTERM, stop)
            signal.signal(signal.SIGINT, stop)
            if args.ready_file:
                with open(args.ready_file, "w") as f:
                    f.write("%d\n" % os.getpid())
            sys.stdout.write("READY %d %s\n" % (os.getpid(), logdir))
            sys.stdout.flush()
            sim.serve(stop)
        finally:
            signal.signal(signal.SIGTERM, signal.SIG_IGN)
            signal.signal(signal.SIGINT, signal.SIG_IGN)
            sim.stop()
            if not args.logdir:
                shutil.rmtree(logdir, ignore_errors=True)
        return 0

    # Run the command with our terminal, serving from a child process; Ctrl-C is
    # the command's to handle, not ours.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    server = os.fork()
    if server == 0:
        code = 0
        try:
            signal.signal(signal.SIGTERM, stop)
            # The terminal is the command's; keep only stderr for our own faults.
            devnull = os.open(os.devnull, os.O_RDWR)
            os.dup2(devnull, 0)
            os.dup2(devnull, 1)
            os.close(devnull)
            sim.serve(stop)
        except BaseException:
            traceback.print_exc()
            code = 1
        finally:
            signal.signal(signal.SIGTERM, signal.SIG_IGN)
            sim.stop()
        os._exit(code)
    for m in sim.modems:
        m.events.close()
        os.close(m.rx_fd)
        for fd in (m.master, m.slave):
            os.close(fd)
        m.master = m.slave = -1
    if args.ready_file:
        with open(args.ready_file, "w") as f:
            f.write("%d\n" % server)
    try:
        child = subprocess.Popen(args.command,
                                 preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        code = child.wait()
    except OSError as e:
        sys.stderr.write("modemsim: cannot run %s: %s\n" % (args.command[0], e))
        code = 127
    os.kill(server, signal.SIGTERM)
    os.waitpid(server, 0)
    if not args.logdir:
        shutil.rmtree(logdir, ignore_errors=True)
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main())
