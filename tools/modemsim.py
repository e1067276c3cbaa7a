#!/usr/bin/python3
"""Simulated cellular modems on pseudo-terminals.

Each modem of the configuration gets a pseudo-terminal and a link at a device
path such as /dev/ttyUSB0 (or several, one per tty, sharing the modem's SIM and
storage), and answers AT commands there as the chosen model does: identity,
SIM, signal, SMS storage in PDU mode, the send prompt, the CDMA model's own
commands, and faults on demand.  Every byte a client writes is appended to
<logdir>/<name>.rx at once; <logdir>/<name>.events receives one JSON object per
line for each command and message; <logdir>/<name>.state.json holds the
storage after every change.  "READY" is printed on standard output (and the
ready file written) once every link exists.

Control: lines written to the FIFO <logdir>/control, one at a time (a line
under 4096 bytes is never mixed with another writer's); <name> is a tty's
configured name (its log files' name, e.g. ttyUSB0), which stays when the tty
comes back under another path.  A line the simulator cannot carry out is
reported on standard error.

    replug <name>     unplug that tty's USB device (its modem's ttys, without
                      one) and plug it in again under new tty numbers
    unplug <name>     the same device gone: its ttys hang up, their /dev links
                      (and /sys, /dev/serial entries) go; SIM, storage and
                      settings stay, what the network delivers meanwhile waits
    plug <name>       an unplugged device back: each tty under the lowest
                      /dev/tty{USB,ACM}<n> that no open tty holds and that is
                      not its own old number, with power-on settings
    deliver <name> <json>
                      the network delivers to that tty's modem a message (a
                      JSON object, on one line) or several (a list): objects as
                      "storage" entries take them ("from", "text", "time" the
                      centre time stamp "YY-MM-DD hh:mm:ss", "tz", "dcs",
                      "smsc", "concat" {"ref", "total", "seq"} for one part of
                      a long message, "split" for all its parts, "pdu" as is,
                      "stat" default 0), or a status report:
                      {"status_report": {"ref", "to", "status", "time", "done"}}

Each of replug, unplug and plug logs an event of that name ("path"; "old" for
replug and plug) for every tty of the device once all of them are done.

Arrivals: configuration "arrivals" entries {"after": "<command>", "nth": n,
"message": {...}, "storage": "SM"} put a message straight into a storage once
the n-th command starting so has been answered, silently; entries {"at":
seconds after the start, "message": {...} or [...]} and "deliver" lines go
through the network as a modem receives: by AT+CNMI (mode, mt, bm, ds, bfr;
"cnmi" at power-on, default "0,0,0,0,0", values allowed by "cnmi_offer", the
whole AT+CNMI=? line, default "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"; a value
outside it is refused with +CMS ERROR: 303) and the AT+CPMS of the modem's
primary AT port (the first tty of role "at"):
  - a message with mode 1 or 2 and mt 2 is routed: "+CMT: ,<length>" and its
    PDU on the primary AT port, never stored (lost if nobody reads it);
  - otherwise it is stored in the receive storage (the AT+CPMS third one) at
    the lowest free index, and with mode 1 or 2 and mt 1 or 3 announced by
    '+CMTI: "<mem>",<index>' on the primary AT port, unless dropped: each
    indication is dropped with the chance "drop_indications" (0 to 1) drawn
    from a random sequence seeded by "seed" (default the name of the modem's
    first tty), so that a run repeats;
  - a status report (SMS-STATUS-REPORT) with ds 0 is discarded; with ds 1 and
    mode 1 or 2 routed as "+CDS: <length>" and its PDU; else stored in the
    "SR" storage when the configuration's "storage" names one (AT+CPMS can
    select it as first storage to list, read and delete it), else in the
    receive storage, and with ds 2 and mode 1 or 2 announced by
    '+CDSI: "<mem>",<index>';
  - a storage at its "capacity" takes nothing: the network holds the message
    (event "storage_full") and stores it without any indication as soon as a
    delete makes room ("stored_late"), in the order they came.
Mode 0 thus stores everything not discarded, silently.  Indications go to the
first open tty of role "at"; with none open they are lost.
A PDU send (AT+CMGS) whose first octet asks for a status report (TP-SRR) gets
one, "delivered" (status 0) with its message reference, "status_report_ms"
(default 500) after the answer.

Events of the network side go to the events file of the modem's first tty of
role "at" (its first tty without one), open or not: "deliver" (a control line taken: "count" records), "stored" (mem, index,
pdu), "indicated" (port, line), "indication_dropped" (mem, index, reason),
"routed" (port, line, pdu), "report_discarded", "storage_full", "stored_late";
"delete" (mem, indices) goes to the tty that deleted.

    modemsim.py --config modems.json --logdir DIR
    modemsim.py --config modems.json --isolate -- tarnel      # private /dev

With --isolate the simulator first moves into a private mount namespace with a
fresh /dev and an empty /sys (root only), so links at /dev/ttyUSB* are seen by
the command it runs and by nobody else, and /sys shows the USB devices of the
simulated modems only.  Only Debian's python3 standard library is used.
"""

import argparse
import collections
import errno
import fcntl
import heapq
import itertools
import json
import os
import random
import re
import resource
import select
import shutil
import signal
import stat
import struct
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


def encode_status_report(report, smsc=""):
    """Hex text of an SMS-STATUS-REPORT: {"ref", "to", "status", "time", "done"}.

    "time" is the centre time stamp of the message reported on, "done" when
    its status was reached (default: the same); status 0 = delivered."""
    if not isinstance(report, dict) or "to" not in report:
        raise PduError("a status report needs at least \"to\"")
    sent = str(report.get("time", "23-05-17 08:30:00"))
    pdu = (encode_smsc(smsc) + bytes([0x06, int(report.get("ref", 0)) & 0xFF]) +
           encode_address(str(report["to"])) + encode_scts(sent) +
           encode_scts(str(report.get("done", sent))) + bytes([int(report.get("status", 0)) & 0xFF]))
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


def first_octet(pdu_hex):
    """The octet after the service-centre field, or None when there is none."""
    try:
        data = bytes.fromhex(pdu_hex)
        return data[1 + data[0]]
    except (ValueError, IndexError):
        return None


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
    """Fields of an SMS-DELIVER, SMS-SUBMIT or SMS-STATUS-REPORT given as hex text;
    PduError on malformed input.

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
    if mti == 2:
        out["type"] = "status_report"
        out["mr"] = reader.byte()
        out["to"], toa = _decode_address(reader)
        out["toa"] = "%02X" % toa
        out["scts"] = unswap_digits(reader.take(7), 14)
        out["done"] = unswap_digits(reader.take(7), 14)
        out["status"] = reader.byte()
        return out
    if mti == 1:
        out["type"] = "submit"
        out["mr"] = reader.byte()
        out["to"], toa = _decode_address(reader)
    elif mti == 0:
        out["type"] = "deliver"
        out["from"], toa = _decode_address(reader)
    else:
        raise PduError("message type %d is none of deliver, submit and status report" % mti)
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
# a client that sends one model's command to another is caught.  One entry per
# class of tarnel's model table (include/model/phones/ModelTable.h), as the
# end-to-end tests check.
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

CME_TEXT = {3: "operation not allowed", 4: "operation not supported", 5: "PH-SIM PIN required",
            6: "PH-FSIM PIN required", 7: "PH-FSIM PUK required", 10: "SIM not inserted",
            11: "SIM PIN required", 12: "SIM PUK required", 13: "SIM failure", 14: "SIM busy",
            15: "SIM wrong", 30: "no network service", 40: "network personalization PIN required",
            41: "network personalization PUK required", 100: "unknown"}

# Character sets of AT+CSCS.
CHARSETS = ("GSM", "IRA", "UCS2", "8859-1")

# AT+CNMI=? of a modem that says nothing else: <mode>,<mt>,<bm>,<ds>,<bfr>.
DEFAULT_CNMI_OFFER = "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"


def parse_cnmi_offer(text):
    """'+CNMI: (0-2),(0-3),...' -> one set of allowed values per field; None if malformed."""
    groups = re.findall(r"\(([^)]*)\)", text)
    if len(groups) != 5:
        return None
    offer = []
    for group in groups:
        allowed = set()
        for item in group.split(","):
            low, _, high = item.strip().partition("-")
            if not low.isdigit() or (high and not high.isdigit()):
                return None
            allowed.update(range(int(low), int(high or low) + 1))
        offer.append(allowed)
    return offer


def parse_cnmi(text):
    """'2,1,0,2' -> [2, 1, 0, 2, 0]: missing and empty fields are 0; None if malformed."""
    fields = text.split(",")
    if len(fields) > 5 or not all(f.strip().isdigit() or not f.strip() for f in fields):
        return None
    values = [int(f) if f.strip() else 0 for f in fields]
    return values + [0] * (5 - len(values))


HEALTH_COMMAND = re.compile(r"\+(CPIN|CREG|CGREG|CEREG|COPS|CFUN)(\?|=.*)")

STORAGE_NAMES = ("SM", "ME")
# "SR", the status-report storage, only on modems whose configured storage names it.
STATUS_STORAGE = "SR"
DEFAULT_CAPACITY = {"SM": 50, "ME": 100, STATUS_STORAGE: 20}


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


def nmea_sentence(body):
    checksum = 0
    for byte in body.encode("ascii"):
        checksum ^= byte
    return "$%s*%02X\r\n" % (body, checksum)


def nmea_burst(now):
    """What a GPS port with a fix sends each second: position, course, satellites."""
    clock, date = time.strftime("%H%M%S.00", now), time.strftime("%d%m%y", now)
    return "".join(nmea_sentence(body) for body in (
        "GPGGA,%s,3110.4200,N,12128.3000,E,1,08,0.9,15.0,M,0.0,M,," % clock,
        "GPRMC,%s,A,3110.4200,N,12128.3000,E,0.0,0.0,%s,,,A" % (clock, date),
        "GPGSV,1,1,04,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45")).encode("ascii")


# ---------------------------------------------------------------------------
# SIM and network of one modem (3GPP TS 27.007), shared by its ttys
# ---------------------------------------------------------------------------

# "+CPIN: <state>" of a locked SIM, and the +CME error SIM commands get meanwhile.
SIM_LOCKS = {"SIM PIN": 11, "SIM PUK": 12, "PH-SIM PIN": 5, "PH-FSIM PIN": 6, "PH-FSIM PUK": 7,
             "PH-NET PIN": 40, "PH-NET PUK": 41}
# States in which the SIM serves: PIN2 and PUK2 guard only a few files.
SIM_READY = ("READY", "SIM PIN2", "SIM PUK2")
SIM_NOT_READY = "NOT READY"
# The +CMS error (27.005) of SMS commands for a +CME SIM error; other locks give 312.
CMS_OF_SIM_ERROR = {10: 310, 11: 311, 12: 316, 13: 313, 14: 314, 15: 315}

# <stat> of +CREG and its kin that count as registered: home (1), roaming (5),
# for SMS only (6 home, 7 roaming), with CSFB not preferred (9 home, 10 roaming).
REGISTERED = (1, 5, 6, 7, 9, 10)
SEARCHING = 2
# The registration queries and the highest <n> each takes.
REGISTRATION_MODES = {"CREG": 3, "CGREG": 4, "CEREG": 5}
DEFAULT_OPERATOR = {"long": "Test Network", "short": "TestNet", "numeric": "00101"}
COPS_FORMATS = ("long", "short", "numeric")


class Network:
    """What a modem's SIM and network say, as time goes: a SIM still busy
    after power-on, a registration still searching, the operator."""

    def __init__(self, cfg, name):
        self.sim = bool(cfg.get("sim", True))
        self.cpin = cfg.get("cpin", "READY")
        if type(self.cpin) is not int and self.cpin not in SIM_READY + (SIM_NOT_READY,) + tuple(SIM_LOCKS):
            raise ConfigError("%s: cpin %r is neither a +CPIN state nor a +CME error number" % (name, self.cpin))
        self.busy_s = float(cfg.get("sim_busy_s", 0))
        self.searching_s = float(cfg.get("searching_s", 0))
        # Modems without LTE know no +CEREG.
        self.stats = {}
        for domain, default in (("CREG", 1), ("CGREG", 1), ("CEREG", "error")):
            value = cfg.get(domain.lower(), default)
            if value != "error" and (type(value) is not int or not 0 <= value <= 11):
                raise ConfigError("%s: %s %r is neither a <stat> nor \"error\"" % (name, domain.lower(), value))
            self.stats[domain] = value
        self.cfun = int(cfg.get("cfun", 1))
        operator = cfg.get("operator", DEFAULT_OPERATOR)
        if not isinstance(operator, dict) or set(operator) - set(COPS_FORMATS):
            raise ConfigError("%s: operator is an object of %s" % (name, ", ".join(COPS_FORMATS)))
        self.operator = [operator.get(form) for form in COPS_FORMATS]
        self.act = cfg.get("act", 7)
        self.lac, self.ci = str(cfg.get("lac", "1A2B")), str(cfg.get("ci", "0A1B2C3"))
        self.registration_urc = bool(cfg.get("registration_urc", False))
        self.restart()

    def restart(self):
        """Power on: the SIM's busy time and the search begin again."""
        self.started = time.monotonic()

    def _since_start(self):
        return time.monotonic() - self.started

    def pin_state(self):
        """The +CPIN state, or the +CME error AT+CPIN? gets instead."""
        if not self.sim:
            return 10
        if self._since_start() < self.busy_s:
            return 14
        return self.cpin

    def sim_error(self):
        """The +CME error that commands needing the SIM get now; None when it serves."""
        state = self.pin_state()
        if type(state) is int:
            return state
        if state == SIM_NOT_READY:
            return 10
        return SIM_LOCKS.get(state)

    def iccid_error(self):
        """Reading the SIM's number needs no PIN: a locked SIM still gives it."""
        error = self.sim_error()
        return None if self.pin_state() in SIM_LOCKS else error

    def stat(self, domain):
        """<stat> of a registration query now, or "error" when the modem refuses it."""
        configured = self.stats[domain]
        if configured == "error":
            return configured
        if self.sim_error() is not None or self.cfun != 1:
            return 0
        if configured in REGISTERED and self._since_start() < self.searching_s:
            return SEARCHING
        return configured

    def registered(self):
        return any(self.stat(domain) in REGISTERED for domain in self.stats)

    def location(self):
        """<lac>,<ci>[,<AcT>] of the cell, quoted as modems send them."""
        return ['"%s"' % self.lac, '"%s"' % self.ci] + ([] if self.act is None else [str(self.act)])

    def operator_name(self, wanted):
        """(format, name): in the wanted format when the modem has it, else in one it has."""
        for form in (wanted,) + tuple(range(len(COPS_FORMATS))):
            if self.operator[form]:
                return form, self.operator[form]
        return None


# ---------------------------------------------------------------------------
# USSD (3GPP TS 27.007 +CUSD, TS 23.038 coding) of one modem, shared by its ttys
# ---------------------------------------------------------------------------

# Each way a reply's text may be put on the line, and the DCS it has by
# default, without and with a language indication in front of the text.
USSD_ENCODINGS = {"text": (0x0F, 0x10), "gsm7": (0x0F, 0x10), "ucs2": (0x48, 0x11), "8bit": (0x44, None)}
USSD_REPLY_KEYS = {"status", "text", "encoding", "dcs", "language", "delay_ms", "before_ok", "repeat", "line"}
# The choices of a modem's "ussd" object, the default first.
USSD_CHOICES = {"request": ("text", "gsm7"), "reply_on": ("asking", "primary"), "while_open": ("error", "busy")}
GSM7_CR = 0x0D


def charset_bytes(text, charset):
    """Text as a modem gives it in an AT+CSCS character set; "?" where it has no character."""
    if charset == "UCS2":
        return text.encode("utf-16-be").hex().upper().encode("ascii")
    if charset == "GSM":
        return bytes(septet for ch in text for septet in (gsm7_septets(ch) or [0x3F]))
    return text.encode("ascii" if charset == "IRA" else "latin-1", "replace")


def pack_ussd7(text):
    """Packed GSM 7-bit as USSD strings carry it: 7 spare bits at the end, or an
    ending CR on an octet boundary, get a CR of padding (TS 23.038 6.1.2.3.1),
    so no "@" appears at the receiver."""
    septets = gsm7_septets(text)
    if len(septets) % 8 == 7 or (len(septets) % 8 == 0 and septets and septets[-1] == GSM7_CR):
        septets.append(GSM7_CR)
    return pack7(septets)


def unpack_ussd7(data):
    septets = unpack7(data, len(data) * 8 // 7)
    if len(data) * 8 % 7 == 0 and septets and septets[-1] in (GSM7_CR, 0):
        septets.pop()  # the padding of 7 spare bits
    return gsm7_text(septets)


def split_fields(text):
    """Comma-separated parameters of an AT command; commas inside quotes stay."""
    fields, current, quoted = [], [], False
    for ch in text:
        if ch == '"':
            quoted = not quoted
        if ch == "," and not quoted:
            fields.append("".join(current))
            current = []
        else:
            current.append(ch)
    fields.append("".join(current))
    return fields


class UssdReply:
    """A scripted +CUSD reply: '+CUSD: <status>[,"<text>",<dcs>]', its timing and repeats."""

    def __init__(self, cfg, where):
        if not isinstance(cfg, dict) or set(cfg) - USSD_REPLY_KEYS:
            raise ConfigError("%s: a reply is an object of %s" % (where, ", ".join(sorted(USSD_REPLY_KEYS))))
        self.line = answer_bytes(cfg["line"]) if "line" in cfg else None
        self.status = int(cfg.get("status", 0))
        self.text = cfg.get("text")
        self.encoding = cfg.get("encoding", "text")
        self.language = cfg.get("language")
        if self.encoding not in USSD_ENCODINGS:
            raise ConfigError("%s: encoding %r is none of %s" % (where, self.encoding, ", ".join(USSD_ENCODINGS)))
        plain, with_language = USSD_ENCODINGS[self.encoding]
        if self.language is not None and (with_language is None or len(self.language) != 2
                                          or gsm7_septets(self.language) is None):
            raise ConfigError("%s: a language is two GSM letters, before text, gsm7 or ucs2" % where)
        self.dcs = int(cfg.get("dcs", plain if self.language is None else with_language))
        self.delay = float(cfg.get("delay_ms", 0)) / 1000.0
        self.before_ok = bool(cfg.get("before_ok", False))
        self.repeat = int(cfg.get("repeat", 1))
        if self.text is not None and self.encoding == "gsm7" and gsm7_septets(self._spoken()) is None:
            raise ConfigError("%s: text has characters outside the GSM 7-bit alphabet" % where)

    def _spoken(self):
        """The text with the language indication of DCS 0x10 in front: "en" then CR."""
        return self.text if self.language is None else self.language + "\r" + self.text

    def render(self, charset, packed=False):
        """The reply line as it leaves the modem, whose character set is charset now; packed: the
        modem passes 7-bit texts through as packed hex (AT^USSDMODE=1)."""
        if self.line is not None:
            return b"\r\n" + self.line + b"\r\n"
        if self.text is None:
            return b"\r\n+CUSD: %d\r\n" % self.status
        if self.encoding == "ucs2":
            # DCS 0x11: two GSM 7-bit letters of language packed in two octets first.
            head = pack7(gsm7_septets(self.language)) if self.language else b""
            data = (head + self.text.encode("utf-16-be")).hex().upper().encode("ascii")
        elif self.encoding == "8bit":
            data = self.text.encode("latin-1", "replace").hex().upper().encode("ascii")
        elif self.encoding == "gsm7" or (packed and gsm7_septets(self._spoken()) is not None):
            data = pack_ussd7(self._spoken()).hex().upper().encode("ascii")
        else:
            data = charset_bytes(self._spoken(), charset)
        return b'\r\n+CUSD: %d,"%s",%d\r\n' % (self.status, data, self.dcs)


# What the network says to a code it has no service for.
UNKNOWN_SERVICE = UssdReply({"status": 4}, "unknown code")


class Ussd:
    """A modem's USSD service: a scripted reply per code, and the session that a
    menu (a reply with status 1) leaves open until AT+CUSD=2 or a final reply.
    "ussdmode" 0 or 1 gives the modem Huawei's AT^USSDMODE, modem-wide: 1 passes
    7-bit codes and replies through as packed hex; without it the command is unknown."""

    def __init__(self, cfg, name):
        cfg = {} if cfg is None else cfg
        if not isinstance(cfg, dict) or set(cfg) - set(USSD_CHOICES) - {"replies", "ussdmode"}:
            raise ConfigError("%s: ussd is an object of replies, ussdmode, %s" % (name, ", ".join(USSD_CHOICES)))
        self.mode = cfg.get("ussdmode")
        if self.mode not in (None, 0, 1):
            raise ConfigError("%s: ussd ussdmode is 0 or 1" % name)
        for key, allowed in USSD_CHOICES.items():
            value = cfg.get(key, allowed[0])
            if value not in allowed:
                raise ConfigError("%s: ussd %s is one of %s" % (name, key, ", ".join(allowed)))
            setattr(self, key, value)
        replies = cfg.get("replies", {})
        if not isinstance(replies, dict):
            raise ConfigError("%s: ussd replies map codes to replies" % name)
        self.replies = {code: None if reply is None else UssdReply(reply, "%s: ussd %s" % (name, code))
                        for code, reply in replies.items()}
        self.open = False

    @property
    def packed(self):
        """Whether 7-bit codes cross the AT interface as packed hex."""
        return self.request == "gsm7" or self.mode == 1

    def code(self, sent, charset):
        """The code a client sent, read as the modem reads its string; None when it cannot."""
        try:
            if self.packed:
                data = bytes.fromhex(sent)
                return unpack_ussd7(data) if data else None
            if charset == "UCS2":
                data = bytes.fromhex(sent)
                return data.decode("utf-16-be") if data else None
        except (ValueError, PduError):
            return None
        return sent


# ---------------------------------------------------------------------------
# One simulated modem
# ---------------------------------------------------------------------------

# What a tty of a modem does with what it hears: "at" is the primary AT port,
# where the modem's unsolicited lines go; "at2" a second AT port; "silent",
# "nmea" (a GPS port that streams sentences) and "diag" (binary diagnostics)
# are ports that never answer AT.
ROLES = ("at", "at2", "silent", "nmea", "diag")

# Per tty of a modem with several: the modem's keys hold for all of them, these
# may differ from one tty to the next.
TTY_KEYS = {"path", "name", "role", "interface", "speeds", "wrong_speed", "echo", "faults",
            "answers", "seed", "nmea_period_ms"}

# The ttys of one modem share these: one SIM, one network, one message store.
SHARED_STATE = ("storage", "capacity", "sent", "send_script", "arrivals", "refuse_delete", "network", "ussd",
                "ttys", "cnmi", "inbox", "waiting", "indication_rng")

# Bytes a GPS port leaves unread in its tty before it drops further sentences:
# well below the 4 KiB a tty holds, so the last burst still fits.
NMEA_BACKLOG = 2048

# Tie-breaker of timers due at the same moment: first set, first run.
_TIMER_ORDER = itertools.count()


class Modem:
    """One tty of a simulated modem (most modems have only one)."""

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
        self.network = Network(cfg, self.name)
        self.ussd = Ussd(cfg.get("ussd"), self.name)
        self.imei = str(cfg.get("imei", self._imei_from_ati(number)))
        self.iccid = str(cfg.get("iccid", "89860012345678901234"))
        self.csq = str(cfg.get("csq", "23,99"))
        self.smsc = str(cfg.get("smsc", "+8613800100500"))
        self.cmee_at_power_on = int(cfg.get("cmee", 1))
        self.echo_at_power_on = bool(cfg.get("echo", True))
        self.cscs_at_power_on = str(cfg.get("cscs", "GSM"))
        if self.cscs_at_power_on not in CHARSETS:
            raise ConfigError("%s: cscs %r is none of %s" % (self.name, self.cscs_at_power_on, ", ".join(CHARSETS)))
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
        self.role = cfg.get("role", "at")
        if self.role not in ROLES:
            raise ConfigError("%s: role %r is none of %s" % (self.name, self.role, ", ".join(ROLES)))
        # Ports that are not AT ports behave as the matching faults do.
        self.silent = self.silent or self.role in ("silent", "nmea")
        self.garbage = self.garbage or self.role == "diag"
        self.nmea_period = float(cfg.get("nmea_period_ms", 1000)) / 1000.0
        self.timers = []          # heap of (due time, order, action)
        self.ttys = [self]        # every tty of this modem, this one included
        self.usb = None           # the UsbDevice it hangs off, if any
        self.rdev = None          # device number of its pseudo-terminal
        self.rng = random.Random(cfg.get("seed", self.name))
        self.closed = False
        self.capacity = dict(DEFAULT_CAPACITY, **cfg.get("capacity", {}))
        self.storage = {mem: {} for mem in STORAGE_NAMES}
        if STATUS_STORAGE in cfg.get("storage", {}):
            self.storage[STATUS_STORAGE] = {}
        self._fill_storage(cfg.get("storage", {}))
        self.arrivals = [self._arrival(a) for a in cfg.get("arrivals", [])]
        self.cnmi_offer_text = str(cfg.get("cnmi_offer", DEFAULT_CNMI_OFFER))
        self.cnmi_offer = parse_cnmi_offer(self.cnmi_offer_text)
        self.cnmi_at_power_on = parse_cnmi(str(cfg.get("cnmi", "0,0,0,0,0")))
        if self.cnmi_offer is None:
            raise ConfigError("%s: cnmi_offer %r is not five (..) lists" % (self.name, self.cnmi_offer_text))
        if self.cnmi_at_power_on is None or not self._cnmi_offered(self.cnmi_at_power_on):
            raise ConfigError("%s: cnmi %r is not among %s" % (self.name, cfg.get("cnmi"), self.cnmi_offer_text))
        self.cnmi = list(self.cnmi_at_power_on)
        self.drop_indications = float(cfg.get("drop_indications", 0))
        if not 0 <= self.drop_indications <= 1:
            raise ConfigError("%s: drop_indications is a probability, 0 to 1" % self.name)
        self.indication_rng = random.Random("indications %s" % cfg.get("seed", self.name))
        self.report_delay = float(cfg.get("status_report_ms", 500)) / 1000.0
        self.inbox = []           # heap of (due, order, records): messages on their way
        self.waiting = []         # (storage, record) the network holds while the storage is full
        # Deletes by index answered with a final line of the configuration;
        # the message stays.
        try:
            self.refuse_delete = {int(i): str(line) for i, line in cfg.get("refuse_delete", {}).items()}
        except (AttributeError, ValueError):
            raise ConfigError("%s: refuse_delete maps indices to answers" % self.name)
        self._power_on()
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

    def _power_on(self):
        """The per-port settings a modem starts with."""
        self.echo, self.cmee, self.cmgf = self.echo_at_power_on, self.cmee_at_power_on, 0
        self.mems = ["SM", "SM", "SM"]
        self.reg_modes = dict.fromkeys(REGISTRATION_MODES, 0)
        self.cops_format = 0
        self.cscs = self.cscs_at_power_on
        self.ussd_mode = 0
        # The modem's, shared by its ttys: set afresh when it powers on again.
        self.cnmi[:] = self.cnmi_at_power_on

    def join(self, first):
        """Become another tty of first's modem: one storage, one SIM, one network."""
        for attr in SHARED_STATE:
            setattr(self, attr, getattr(first, attr))
        self.ttys.append(self)

    def _imei_from_ati(self, number):
        imei = "861234567890123"
        # A CDMA module names its ESN where others name their IMEI.
        for line in self.ati.decode("latin-1").splitlines():
            if line.startswith(("IMEI:", "ESN:")):
                imei = line.split(":", 1)[1].strip()
                break
        # Every modem of a bank its own (the first keeps its ATI's): a program
        # may take two ttys that report one IMEI and one SIM for one modem.
        if number == 0 or not imei.isdigit() or len(imei) < 8:
            return imei
        return imei[:-7] + "%07d" % ((int(imei[-7:]) + number) % 10 ** 7)

    def _fill_storage(self, storage):
        for mem, entries in storage.items():
            if mem not in self.storage:
                raise ConfigError("%s: unknown storage %r (SM, ME or SR)" % (self.name, mem))
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
        if "status_report" in msg:
            try:
                msg["pdu"] = encode_status_report(msg.pop("status_report"), msg.pop("smsc", self.smsc))
            except (PduError, ValueError, TypeError) as e:
                raise ConfigError("%s: status report: %s" % (self.name, e))
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
        that starts with "after", into the storage selected then; or "at"
        seconds after the start, through the network as "deliver" brings it."""
        if not isinstance(cfg, dict) or "message" not in cfg or ("after" in cfg) == ("at" in cfg):
            raise ConfigError("%s: an arrival needs \"message\" and either \"after\" or \"at\"" % self.name)
        if "at" in cfg:
            if "storage" in cfg or "nth" in cfg:
                raise ConfigError("%s: an arrival \"at\" a time goes where AT+CPMS and AT+CNMI send it"
                                  % self.name)
            return {"at": float(cfg["at"]), "messages": self.incoming(cfg["message"])}
        storage = cfg.get("storage")
        if storage is not None and storage not in STORAGE_NAMES:
            raise ConfigError("%s: unknown storage %r (SM or ME)" % (self.name, storage))
        message = dict(cfg["message"])
        message.pop("index", None)  # the storage gives it the lowest free one
        return {"after": self._normalise(cfg["after"]), "nth": int(cfg.get("nth", 1)), "heard": 0,
                "storage": storage, "messages": self._expand(message)}

    def _arrive(self, cmd):
        for arrival in self.arrivals:
            if "after" not in arrival or not cmd.startswith(arrival["after"]):
                continue
            arrival["heard"] += 1
            if arrival["heard"] != arrival["nth"]:
                continue
            mem = arrival["storage"] or self.mems[0]
            box, indices = self.storage[mem], []
            for msg in arrival["messages"]:
                index = self._free_index(box)
                box[index] = dict(msg)
                indices.append(index)
            self.event("arrival", mem=mem, indices=indices)
            self._write_state()

    @staticmethod
    def _free_index(box):
        """The lowest free index, as modems fill their storage."""
        index = 1
        while index in box:
            index += 1
        return index

    def incoming(self, message):
        """Stored records of a message (or list of messages) the network
        delivers: configured as storage entries are, unread unless they say."""
        entries = message if isinstance(message, list) else [message]
        records = []
        for entry in entries:
            if not isinstance(entry, dict):
                raise ConfigError("%s: a delivered message is an object" % self.name)
            entry = dict(entry, stat=entry.get("stat", 0))
            entry.pop("index", None)  # the storage gives it the lowest free one
            try:
                records += self._expand(entry)
            except (PduError, ValueError, TypeError, AttributeError, KeyError) as e:
                raise ConfigError("%s: message %r: %s" % (self.name, entry, e))
        return records

    # -- the network: messages that arrive over time

    def expect(self, due, records):
        """Messages that reach the modem at monotonic time `due`, or once it is
        plugged in again if it is away then."""
        heapq.heappush(self.inbox, (due, next(_TIMER_ORDER), records))

    def present(self):
        return any(not tty.closed for tty in self.ttys)

    def next_arrival(self):
        return self.inbox[0][0] if self.inbox and self.present() else None

    def take_arrivals(self, now):
        while self.inbox and self.inbox[0][0] <= now and self.present():
            for msg in heapq.heappop(self.inbox)[2]:
                self._receive(dict(msg))

    def _primary(self):
        """The modem's first AT port: its log holds what the network does."""
        return next((tty for tty in self.ttys if tty.role == "at"), self.ttys[0])

    def _announcer(self):
        """The open AT port that unsolicited lines go to, or None."""
        return next((tty for tty in self.ttys if tty.role == "at" and not tty.closed), None)

    def _cnmi_offered(self, values):
        return all(v in allowed for v, allowed in zip(values, self.cnmi_offer))

    def _receive(self, msg):
        """A message (or status report) from the network, handled as AT+CNMI
        and AT+CPMS say: routed to the port, stored and announced, stored
        silently, or (a status report nobody asked to see) discarded."""
        mode, mt, _, ds, _ = self.cnmi
        log, port = self._primary(), self._announcer()
        pdu = msg.get("pdu")
        receive_mem = (port or log).mems[2]
        report = pdu is not None and (first_octet(pdu) or 0) & 0x03 == 2
        if report:
            if ds == 0:
                log.event("report_discarded", pdu=pdu)
                return
            if ds == 1 and mode:
                self._route(log, port, "+CDS: %d" % stored_length(pdu), pdu)
                return
            mem = STATUS_STORAGE if STATUS_STORAGE in self.storage else receive_mem
            line = '+CDSI: "%s",%%d' % mem if ds == 2 and mode else None
        else:
            if mt == 2 and mode and pdu is not None:
                self._route(log, port, "+CMT: ,%d" % stored_length(pdu), pdu)
                return
            mem = receive_mem
            line = '+CMTI: "%s",%%d' % mem if mt in (1, 3) and mode else None
        box = self.storage[mem]
        if len(box) >= self.capacity[mem] or any(held == mem for held, _ in self.waiting):
            # Held at the network; a full storage announces nothing.
            self.waiting.append((mem, msg))
            log.event("storage_full", mem=mem, pdu=pdu)
            return
        index = self._free_index(box)
        box[index] = msg
        log.event("stored", mem=mem, index=index, pdu=pdu)
        self._write_state()
        if line is None:
            return
        if port is None:
            log.event("indication_dropped", mem=mem, index=index, reason="no AT port open")
            return
        if self.indication_rng.random() < self.drop_indications:
            log.event("indication_dropped", mem=mem, index=index, reason="chance")
            return
        port.send(("\r\n" + line % index + "\r\n").encode(), delay=0)
        log.event("indicated", port=port.name, line=line % index)

    @staticmethod
    def _route(log, port, head, pdu):
        """Straight to the port, never stored: lost when nobody reads it."""
        if port is not None:
            port.send(("\r\n%s\r\n%s\r\n" % (head, pdu)).encode(), delay=0)
        log.event("routed", port=port and port.name, line=head, pdu=pdu)

    def _store_waiting(self):
        """What the network held while a storage was full, stored silently
        now that there is room, in the order it came."""
        log, still = self._primary(), []
        for mem, msg in self.waiting:
            box = self.storage[mem]
            if len(box) >= self.capacity[mem] or any(held == mem for held, _ in still):
                still.append((mem, msg))
                continue
            index = self._free_index(box)
            box[index] = msg
            log.event("stored_late", mem=mem, index=index, pdu=msg.get("pdu"))
        self.waiting[:] = still

    def _report_later(self, to):
        """The status report a send asked for (TP-SRR): delivered, a moment later."""
        stamp = time.strftime("%y-%m-%d %H:%M:%S", time.gmtime())
        try:
            pdu = encode_status_report({"ref": self.message_ref, "to": to, "status": 0, "time": stamp},
                                       self.smsc)
        except PduError as e:
            self.event("report_unmade", error=str(e))
            return
        self.expect(time.monotonic() + self.report_delay, [{"pdu": pdu, "stat": 0}])

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
        self.rdev = os.stat(target).st_rdev
        if os.path.lexists(self.path):
            raise ConfigError("%s already exists; not replacing it" % self.path)
        os.makedirs(os.path.dirname(self.path) or ".", exist_ok=True)
        os.symlink(target, self.path)
        self.link_made = True
        self.event("open", pty=target, path=self.path)
        if self.role == "nmea":
            self.at(time.monotonic(), self._stream_nmea)

    def _unplug(self):
        """Link and pseudo-terminal gone: a client's port hangs up."""
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
        self.timers.clear()

    def close(self, reason="exit"):
        if self.closed:
            return
        self.closed = True
        self._unplug()
        self.out.clear()
        self.queued = 0
        # The state first: whoever sees the event finds the tty closed.
        self._write_state()
        if reason != "exit":
            self.event(reason)

    def replug(self, path):
        """Plugged in again at another path, as a USB modem comes back after a
        reset: the client's old port hangs up, the port settings start afresh,
        the storage stays."""
        self._unplug()
        self.out.clear()
        self.queued = 0
        self.line.clear()
        self.echo_buf.clear()
        self.body = self.pending_send = None
        self._power_on()
        self.network.restart()
        self.ussd.open = False
        self.closed = False
        self.path = path
        self.open()
        self._write_state()

    # -- logs

    def event(self, kind, /, **fields):
        self.seq += 1
        record = {"seq": self.seq, "t": round(time.time(), 6), "event": kind}
        record.update(fields)
        self.events.write(json.dumps(record, ensure_ascii=False) + "\n")
        self.events.flush()

    def _write_state(self):
        # The storage is the modem's: the state file of each of its ttys shows it.
        for tty in self.ttys:
            tty._write_state_file()

    def _write_state_file(self):
        state = {
            "storage": {mem: [dict(msg, index=i) for i, msg in sorted(box.items())]
                        for mem, box in self.storage.items()},
            "mems": self.mems, "echo": self.echo, "cmgf": self.cmgf, "cmee": self.cmee, "cscs": self.cscs,
            "sent": self.sent, "closed": self.closed, "cnmi": self.cnmi,
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

    # -- timers: what happens at a time rather than in answer to a command

    def at(self, due, action):
        heapq.heappush(self.timers, (due, next(_TIMER_ORDER), action))

    def next_timer(self):
        return self.timers[0][0] if self.timers else None

    def run_timers(self, now):
        while self.timers and self.timers[0][0] <= now and not self.closed:
            heapq.heappop(self.timers)[2]()

    def _stream_nmea(self):
        # A GPS port sends whether anyone listens or not; what nobody reads is
        # lost once the tty's buffer is full, as on a real port, so a burst is
        # never queued where it could not be written.
        unread = struct.unpack("i", fcntl.ioctl(self.slave, termios.FIONREAD, b"\0" * 4))[0]
        if self.next_due() is None and unread < NMEA_BACKLOG:
            self.send(nmea_burst(time.gmtime()), delay=0)
        self.at(time.monotonic() + self.nmea_period, self._stream_nmea)

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
        if self.ussd.open and not cmd.startswith("AT+CUSD"):
            # A menu waits for its answer: the modem takes nothing else meanwhile.
            if self.ussd.while_open == "busy":
                self.event("command", cmd=cmd, speed=speed, outcome="ussd-busy")
                return
            reply = self.cme(3)
            self.send(reply)
            self.event("command", cmd=cmd, speed=speed, outcome="ussd-open", answer=reply.decode("latin-1"))
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
            return self._sim_info(self.network.iccid_error(), '+CCID: "%s"' % self.iccid)
        if body == "^ICCID?":
            if self.caps["iccid"] != "^ICCID":
                return self.error()
            return self._sim_info(self.network.iccid_error(), "^ICCID: %s" % self.iccid)
        if body == "+CIMI":
            return self._sim_info(self.network.sim_error(), "460001234567890")
        if body == "+CSQ":
            return self.info("+CSQ: %s" % self.csq)
        if body == "+CSQ=?":
            return self.info("+CSQ: (0-31,99),(0-7,99)")
        health = HEALTH_COMMAND.fullmatch(body)
        if health:
            return self._health(health.group(1), health.group(2))
        if body.startswith("+CLIP="):
            return self.ok()
        if body.startswith("+CNMI"):
            return self._cnmi(body[5:])
        if body.startswith("+CSCS"):
            return self._cscs(body[5:])
        if body.startswith("+CUSD") and not cdma:
            return self._cusd(body[5:])
        if body.startswith("^USSDMODE") and self.ussd.mode is not None:
            return self._ussdmode(body[9:])
        if body.startswith("+CSMS="):
            return self.info("+CSMS: 1,1,1")
        if body.startswith("^") or body.startswith("+ATVER"):
            return self._vendor(body)
        # The SMS service commands below need a SIM; +CMGF is a mere setting.
        refusal = self._sms_refusal()
        if refusal and body.startswith(("+CSCA", "+CPMS", "+CMGL", "+CMGR", "+CMGS", "+CMGD")):
            return refusal
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

    # AT+CSCS? -> '+CSCS: "GSM"': the character set of texts in commands and answers
    def _cscs(self, args):
        if args == "?":
            return self.info('+CSCS: "%s"' % self.cscs)
        if args == "=?":
            return self.info("+CSCS: (%s)" % ",".join('"%s"' % name for name in CHARSETS))
        wanted = args[1:].strip('"').upper() if args.startswith("=") else None
        if wanted not in CHARSETS:
            return self.error()
        self.cscs = wanted
        self._write_state()
        return self.ok()

    # AT+CUSD=1,"*100#",15 -> OK, then (seconds later) +CUSD: 0,"Balance 12.30",15
    def _cusd(self, args):
        if args == "?":
            return self.info("+CUSD: %d" % self.ussd_mode)
        if args == "=?":
            return self.info("+CUSD: (0-2)")
        fields = split_fields(args[1:]) if args.startswith("=") else [""]
        if fields[0] == "2":
            self.event("ussd-cancel", was_open=self.ussd.open)
            self.ussd.open = False
            return self.ok()
        if fields[0] not in ("0", "1"):
            return self.error()
        self.ussd_mode = int(fields[0])
        if len(fields) == 1:
            return self.ok()
        code = self.ussd.code(fields[1].strip('"'), self.cscs)
        if code is None:
            self.event("ussd", sent=fields[1], outcome="unreadable")
            return self.error()
        refusal = self.network.sim_error()
        if refusal is None and self.network.stat("CREG") not in (1, 5):
            refusal = 30  # USSD goes over the circuit-switched domain
        if refusal is not None:
            self.event("ussd", code=code, outcome="refused")
            return self.cme(refusal)
        reply = self.ussd.replies.get(code, UNKNOWN_SERVICE)
        self.event("ussd", code=code, outcome="no-reply" if reply is None else "status %d" % reply.status)
        if reply is None:
            return self.ok()
        self.ussd.open = reply.status == 1
        target = self._ussd_port()

        def deliver():
            # Coded in the character set the port has when the reply comes.
            target.send(reply.render(target.cscs, self.ussd.mode == 1) * reply.repeat, delay=0)
            if reply.before_ok:
                self.send(self.ok(), delay=0)
        self.at(time.monotonic() + reply.delay, deliver)
        return b"" if reply.before_ok else self.ok()

    # AT^USSDMODE? -> ^USSDMODE: 1; AT^USSDMODE=0 (Huawei: 0 text, 1 packed 7-bit hex)
    def _ussdmode(self, args):
        if args == "?":
            return self.info("^USSDMODE: %d" % self.ussd.mode)
        if args == "=?":
            return self.info("^USSDMODE: (0-1)")
        if args not in ("=0", "=1"):
            return self.error()
        self.ussd.mode = int(args[1:])
        self.event("ussdmode", mode=self.ussd.mode)
        return self.ok()

    def _ussd_port(self):
        """Where the reply goes: this port, or the modem's primary AT port."""
        if self.ussd.reply_on == "primary":
            return self._announcer() or self
        return self

    # AT+CNMI=2,1,0,2,0 -> OK; AT+CNMI? -> +CNMI: 2,1,0,2,0; a value not offered -> +CMS ERROR: 303
    def _cnmi(self, args):
        if args == "?":
            return self.info("+CNMI: " + ",".join(str(v) for v in self.cnmi))
        if args == "=?":
            return self.info(self.cnmi_offer_text)
        values = parse_cnmi(args[1:]) if args.startswith("=") else None
        if values is None or not self._cnmi_offered(values):
            return self.cms(303)
        self.cnmi[:] = values
        self._write_state()
        return self.ok()

    def _sim_info(self, error, line):
        return self.info(line) if error is None else self.cme(error)

    def _sms_refusal(self):
        """What an SMS command gets while the SIM does not serve; None when it does."""
        error = self.network.sim_error()
        return None if error is None else self.cms(CMS_OF_SIM_ERROR.get(error, 312))

    # AT+CPIN? -> "+CPIN: READY"; AT+CREG? -> "+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>]]",
    # e.g. +CREG: 2,1,"1A2B","0A1B2C3",7; AT+COPS? -> "+COPS: <mode>[,<format>,<oper>[,<AcT>]]"
    def _health(self, name, args):
        if name == "CPIN":
            if args != "?":
                return self.error()
            state = self.network.pin_state()
            return self.cme(state) if type(state) is int else self.info("+CPIN: %s" % state)
        if name == "CFUN":
            return self.info("+CFUN: %d" % self.network.cfun) if args == "?" else self.error()
        if name == "COPS":
            return self._cops(args)
        return self._registration(name, args)

    def _registration(self, name, args):
        stat = self.network.stat(name)
        if stat == "error":
            return self.error()
        if args == "=?":
            return self.info("+%s: (0-%d)" % (name, REGISTRATION_MODES[name]))
        if args.startswith("="):
            mode = self._number(args[1:])
            if mode is None or not 0 <= mode <= REGISTRATION_MODES[name]:
                return self.error()
            self.reg_modes[name] = mode
            return self.ok()
        if args != "?":
            return self.error()
        located = self.network.location() if stat in REGISTERED else []
        fields = [str(self.reg_modes[name]), str(stat)] + (located if self.reg_modes[name] >= 2 else [])
        answer = self.info("+%s: %s" % (name, ",".join(fields)))
        if self.network.registration_urc:
            # The unsolicited form, <stat> first, before the answer and before its OK.
            urc = ("\r\n+%s: %s\r\n" % (name, ",".join([str(stat)] + located))).encode()
            final = answer.rfind(self.ok())
            answer = urc + answer[:final] + urc + answer[final:]
        return answer

    def _cops(self, args):
        if args == "?":
            named = self.network.operator_name(self.cops_format) if self.network.registered() else None
            if named is None:
                return self.info("+COPS: 0")
            form, name = named
            if form != 2 and self.cscs == "UCS2":
                name = name.encode("utf-16-be").hex().upper()
            act = [] if self.network.act is None else [str(self.network.act)]
            return self.info(",".join(["+COPS: 0", str(form), '"%s"' % name] + act))
        if args == "=?":
            names = ",".join('"%s"' % (name or "") for name in self.network.operator)
            return self.info("+COPS: (2,%s%s),,(0-4),(0-2)" % (
                names, "" if self.network.act is None else ",%d" % self.network.act))
        if args in ("=3,0", "=3,1", "=3,2"):
            self.cops_format = int(args[-1])
            return self.ok()
        return self.ok() if args == "=0" else self.cme(3)

    def _vendor(self, body):
        cdma = self.caps["read"] == "cdma"
        name = body.split("=")[0].rstrip("?")
        if name == "^ICCID":
            return self.error()
        if cdma and name == "^HSMSSS":
            return self.ok()
        if cdma and name == "^HCMGS":
            refusal = self._sms_refusal()
            if refusal:
                return refusal
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
            # Status reports are read and deleted, never written or received into.
            first = ",".join('"%s"' % mem for mem in self.storage)
            return self.info('+CPMS: (%s),("SM","ME"),("SM","ME")' % first)
        if not args.startswith("="):
            return self.error()
        names = [a.strip('"') for a in args[1:].split(",") if a]
        if not names or len(names) > 3 or any(n not in STORAGE_NAMES for n in names[1:]) \
                or names[0] not in self.storage:
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
        if gone and self.waiting:
            self._store_waiting()
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
        elif entry == "ok" and not self.network.registered():
            # No network to hand the message to; the script entry stays too.
            answer, record["outcome"] = self.cms(331), "not-registered"
            self.send_script.insert(0, entry)
        elif entry == "hangup":
            # The device goes away with the message typed: no answer, the link closes.
            record.update(outcome="hangup", answer=None)
            self.sent.append(record)
            self.event("sms", speed=speed, **record)
            self.close("hangup")
            return
        else:
            answer = self._send_answer(entry)
            record["outcome"] = "silent" if answer is None else entry
            if entry == "ok" and self.body_kind == "pdu" and (first_octet(record["pdu"]) or 0) & 0x20:
                self._report_later(record["decoded"]["to"])
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
# USB devices as the kernel shows them in /sys, and udev's /dev/serial links
# ---------------------------------------------------------------------------

# Per USB driver of an interface, the usb-serial driver its ports are bound to
# (as /sys/bus/usb-serial/drivers names it); cdc_acm makes ttyACM devices of
# its own instead.
USB_SERIAL_DRIVERS = {"option": "option1", "qcserial": "qcserial", "sierra": "sierra",
                      "ftdi_sio": "ftdi_sio", "cp210x": "cp210x", "ch341": "ch341-uart",
                      "pl2303": "pl2303"}
ACM_DRIVER = "cdc_acm"
USB_KEYS = {"position", "vendor", "product", "serial", "manufacturer", "product_name", "driver"}
USB_POSITION = re.compile(r"([1-9][0-9]*)-([1-9][0-9]*(?:\.[1-9][0-9]*)*)")
NUMBERED_TTY = re.compile(r"tty(USB|ACM)([0-9]+)")
HEX4 = re.compile(r"[0-9a-fA-F]{4}")


def merge_usb(modems):
    """The USB device of each position named by the modems: modems behind one
    bridge name it each, with attributes that must agree."""
    merged = {}
    for number, cfg in enumerate(modems):
        usb = cfg.get("usb") if isinstance(cfg, dict) else None
        if usb is None:
            continue
        if not isinstance(usb, dict) or not isinstance(usb.get("position"), str):
            raise ConfigError("modem %d: \"usb\" needs a \"position\" such as \"1-1.3\"" % number)
        unknown = set(usb) - USB_KEYS
        if unknown:
            raise ConfigError("modem %d: unknown usb keys %s" % (number, ", ".join(sorted(unknown))))
        device = merged.setdefault(usb["position"], {})
        for key, value in usb.items():
            if device.setdefault(key, value) != value:
                raise ConfigError("USB device %s: %s is %r and %r" % (usb["position"], key, device[key], value))
    return {position: UsbDevice(cfg) for position, cfg in merged.items()}


class UsbDevice:
    """A USB device: one modem with its ttys, or a bridge with one modem per tty."""

    def __init__(self, cfg):
        self.position = cfg["position"]
        match = USB_POSITION.fullmatch(self.position)
        if not match:
            raise ConfigError("USB position %r is not like 1-1.3" % self.position)
        self.bus, self.port_path = int(match.group(1)), match.group(2)
        for key in ("vendor", "product"):
            value = str(cfg.get(key, "0000"))
            if not HEX4.fullmatch(value):
                raise ConfigError("USB device %s: %s %r is not four hex digits" % (self.position, key, value))
            setattr(self, key, value.lower())
        self.serial = cfg.get("serial")
        self.manufacturer = cfg.get("manufacturer")
        self.product_name = cfg.get("product_name")
        self.driver = cfg.get("driver", "option")
        if self.driver != ACM_DRIVER and self.driver not in USB_SERIAL_DRIVERS:
            raise ConfigError("USB device %s: driver %r is none of %s" % (
                self.position, self.driver, ", ".join([ACM_DRIVER] + sorted(USB_SERIAL_DRIVERS))))
        self.kind = "ACM" if self.driver == ACM_DRIVER else "USB"
        self.ports = []  # [tty, interface number, port number on that interface]

    def attach(self, tty, interface):
        match = NUMBERED_TTY.fullmatch(os.path.basename(tty.path))
        if not match or match.group(1) != self.kind:
            raise ConfigError("%s: a tty of %s's driver %s is named tty%s<n>" % (
                tty.path, self.position, self.driver, self.kind))
        if not isinstance(interface, int) or not 0 <= interface <= 255:
            raise ConfigError("%s: interface %r is not a number from 0 to 255" % (tty.name, interface))
        port = sum(1 for _, i, _ in self.ports if i == interface)
        if port and self.kind == "ACM":
            raise ConfigError("%s: interface %d of %s has a tty already" % (tty.name, interface, self.position))
        self.ports.append([tty, interface, port])
        tty.usb = self


def udev_name(text):
    """A USB string as udev puts it in a link name: blanks and unsafe characters become "_"."""
    text = "_".join(text.split())
    return "".join(c if c.isalnum() or c in "#+-.:=@_" or ord(c) > 127 else "_" for c in text)


class Sysfs:
    """What the kernel shows of the simulated USB devices under a private /sys,
    and the /dev/serial links udev makes for their ttys.

    A tty's class entry /sys/class/tty/<name> holds in "dev" the device number
    of the pseudo-terminal its /dev link points to, so that it matches the
    node; "device" leads to the usb-serial port (ttyUSB) or the ACM interface
    (ttyACM), above which come the interface and the USB device."""

    def __init__(self, sys_root="/sys", dev_root="/dev"):
        self.sys, self.dev = sys_root, dev_root
        for folder in ("class/tty", "dev/char", "bus/usb/drivers/usb", "bus/usb-serial/drivers"):
            os.makedirs(os.path.join(self.sys, folder), exist_ok=True)
        self.links = {}  # USB position -> links made for its device

    def _host(self, bus):
        return "platform/xhci-hcd.%d.auto" % (bus - 1)

    def device_dir(self, device):
        """/sys/devices/.../usb<bus>/<bus>-<port>/.../<position>: the hubs on the way, then the device."""
        path = os.path.join(self.sys, "devices", self._host(device.bus), "usb%d" % device.bus)
        ports = device.port_path.split(".")
        for depth in range(1, len(ports) + 1):
            path = os.path.join(path, "%d-%s" % (device.bus, ".".join(ports[:depth])))
        return path

    @staticmethod
    def _write(folder, name, value):
        with open(os.path.join(folder, name), "w") as f:
            f.write("%s\n" % value)

    def _link(self, target, link, made):
        folder = os.path.dirname(link)
        os.makedirs(folder, exist_ok=True)
        if os.path.lexists(link):
            os.unlink(link)  # two equal devices without a serial: the last plugged wins, as in udev
        os.symlink(os.path.relpath(target, folder), link)
        made.append((link, os.readlink(link)))

    def _bind(self, folder, bus, driver, made):
        """The kernel's pair of links: folder/driver and the driver's link back."""
        drivers = os.path.join(self.sys, "bus", bus, "drivers", driver)
        self._link(drivers, os.path.join(folder, "driver"), made)
        self._link(folder, os.path.join(drivers, os.path.basename(folder)), made)
        self._link(os.path.join(self.sys, "bus", bus), os.path.join(folder, "subsystem"), made)

    def _hubs(self, device):
        root = os.path.join(self.sys, "devices", self._host(device.bus), "usb%d" % device.bus)
        hubs = [root]
        for hub in os.path.relpath(self.device_dir(device), root).split(os.sep)[:-1]:
            hubs.append(os.path.join(hubs[-1], hub))
        for depth, hub in enumerate(hubs):
            if not os.path.isdir(hub):
                os.makedirs(hub)
                # The root hub of every Linux host controller, then plain hubs.
                ids = ("1d6b", "0002") if depth == 0 else ("05e3", "0608")
                self._write(hub, "idVendor", ids[0])
                self._write(hub, "idProduct", ids[1])
                self._write(hub, "bDeviceClass", "09")

    def plug(self, device):
        made = self.links.setdefault(device.position, [])
        self._hubs(device)
        top = self.device_dir(device)
        os.makedirs(top)
        for name, value in (("idVendor", device.vendor), ("idProduct", device.product),
                            ("serial", device.serial), ("manufacturer", device.manufacturer),
                            ("product", device.product_name), ("busnum", device.bus),
                            ("devpath", device.port_path), ("bDeviceClass", "00")):
            if value is not None:
                self._write(top, name, value)
        self._bind(top, "usb", "usb", made)
        for tty, interface, port in device.ports:
            self._plug_tty(device, top, tty, interface, port, made)

    def _plug_tty(self, device, top, tty, interface, port, made):
        name = os.path.basename(tty.path)
        iface = os.path.join(top, "%s:1.%d" % (device.position, interface))
        if not os.path.isdir(iface):
            os.mkdir(iface)
            self._write(iface, "bInterfaceNumber", "%02x" % interface)
            self._write(iface, "bInterfaceClass", "02" if device.kind == "ACM" else "ff")
            self._bind(iface, "usb", device.driver, made)
        if device.kind == "ACM":
            parent = iface
        else:
            parent = os.path.join(iface, name)
            os.mkdir(parent)
            self._write(parent, "port_number", port)
            self._bind(parent, "usb-serial", USB_SERIAL_DRIVERS[device.driver], made)
        node = os.path.join(parent, "tty", name)
        os.makedirs(node)
        major, minor = os.major(tty.rdev), os.minor(tty.rdev)
        self._write(node, "dev", "%d:%d" % (major, minor))
        self._write(node, "uevent", "MAJOR=%d\nMINOR=%d\nDEVNAME=%s" % (major, minor, name))
        self._link(parent, os.path.join(node, "device"), made)
        self._link(os.path.join(self.sys, "class", "tty"), os.path.join(node, "subsystem"), made)
        self._link(node, os.path.join(self.sys, "class", "tty", name), made)
        self._link(node, os.path.join(self.sys, "dev", "char", "%d:%d" % (major, minor)), made)
        # udev's 60-serial.rules: usb-serial ports end in -port<n>, ACM ones do not.
        suffix = "" if device.kind == "ACM" else "-port%d" % port
        ids = [udev_name(device.manufacturer or device.vendor), udev_name(device.product_name or device.product)]
        if device.serial:
            ids.append(udev_name(device.serial))
        by_id = "usb-%s-if%02x%s" % ("_".join(ids), interface, suffix)
        by_path = "%s-usb-0:%s:1.%d%s" % (self._host(device.bus).replace("/", "-"), device.port_path,
                                          interface, suffix)
        serial = os.path.join(self.dev, "serial")
        self._link(tty.path, os.path.join(serial, "by-id", by_id), made)
        self._link(tty.path, os.path.join(serial, "by-path", by_path), made)

    def unplug(self, device):
        for link, target in self.links.pop(device.position, []):
            # A link another device has taken over since stays.
            if os.path.islink(link) and os.readlink(link) == target:
                os.unlink(link)
        shutil.rmtree(self.device_dir(device), ignore_errors=True)


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
    def __init__(self, config, logdir, ati_dir=None, sysfs=None):
        """sysfs: a Sysfs that shows the USB devices, or None to show nothing."""
        modems = config.get("modems") if isinstance(config, dict) else config
        if not isinstance(modems, list) or not modems:
            raise ConfigError("the configuration needs a non-empty list of modems")
        dirs = ati_search_dirs(ati_dir)
        groups = [self._tty_configs(cfg, number) for number, cfg in enumerate(modems)]
        self._number_ttys(modems, groups)
        # Four descriptors a tty: the pseudo-terminal's two ends and two logs.
        raise_open_file_limit(4 * sum(len(group) for group in groups) + 64)
        self.devices = merge_usb(modems)
        self.ttys = []  # every tty of every modem
        self.modems = []  # the first tty of each modem, which holds what its ttys share
        for number, (cfg, group) in enumerate(zip(modems, groups)):
            device = self.devices[cfg["usb"]["position"]] if cfg.get("usb") else None
            first = None
            for tty_cfg in group:
                tty = Modem(tty_cfg, number, logdir, dirs)
                if first is None:
                    first = tty
                    self.modems.append(tty)
                else:
                    tty.join(first)
                if device:
                    device.attach(tty, tty_cfg.get("interface", 0))
                self.ttys.append(tty)
        names = [m.name for m in self.ttys]
        if len(set(names)) != len(names):
            raise ConfigError("modem names must differ: %s" % ", ".join(names))
        self.sysfs = sysfs
        control = os.path.join(logdir, "control")
        if os.path.lexists(control):
            os.unlink(control)
        os.mkfifo(control, 0o600)
        # Read and write: the FIFO never reads as ended when a writer closes it.
        self.control_fd = os.open(control, os.O_RDWR | os.O_NONBLOCK)
        self.control_buf = b""

    @staticmethod
    def _tty_configs(cfg, number):
        """The configuration of each tty of a modem: its own keys over the modem's."""
        if not isinstance(cfg, dict):
            raise ConfigError("modem %d: not an object" % number)
        if "ttys" not in cfg:
            return [cfg]
        ttys = cfg["ttys"]
        if not isinstance(ttys, list) or not ttys:
            raise ConfigError("modem %d: \"ttys\" is a non-empty list" % number)
        misplaced = sorted(k for k in ("path", "name", "role", "interface") if k in cfg)
        if misplaced:
            raise ConfigError("modem %d: %s belong in its ttys" % (number, ", ".join(misplaced)))
        base = {k: v for k, v in cfg.items() if k != "ttys"}
        out = []
        for interface, tty in enumerate(ttys):
            if not isinstance(tty, dict) or set(tty) - TTY_KEYS:
                raise ConfigError("modem %d: a tty is an object of %s" % (number, ", ".join(sorted(TTY_KEYS))))
            merged = dict(base, interface=interface)
            merged.update(tty)
            out.append(merged)
        return out

    @staticmethod
    def _number_ttys(modems, groups):
        """A path for each tty of a "ttys" list that names none: the lowest free
        /dev/ttyUSB<n> (ttyACM<n> for a cdc_acm device). A modem without such a
        list keeps /dev/ttyUSB<its place in the list>."""
        taken = set()
        for number, (cfg, group) in enumerate(zip(modems, groups)):
            if "ttys" not in cfg:
                taken.add(cfg.get("path", "/dev/ttyUSB%d" % number))
            taken.update(tty["path"] for tty in group if "path" in tty)
        for cfg, group in zip(modems, groups):
            if "ttys" not in cfg:
                continue
            acm = isinstance(cfg.get("usb"), dict) and cfg["usb"].get("driver") == ACM_DRIVER
            for tty in group:
                if "path" not in tty:
                    tty["path"] = next_free_path("/dev", "ACM" if acm else "USB", taken)
                    taken.add(tty["path"])

    def start(self):
        for m in self.ttys:
            m.open()
        if self.sysfs:
            for device in self.devices.values():
                self.sysfs.plug(device)
        now = time.monotonic()
        for m in self.modems:
            for arrival in m.arrivals:
                if "at" in arrival:
                    m.expect(now + arrival["at"], arrival["messages"])

    def _tty(self, name):
        found = [m for m in self.ttys if m.name == name]
        if not found:
            raise ConfigError("no tty named %r" % name)
        return found[0]

    @staticmethod
    def _device_ttys(tty):
        """The ttys that go and come with tty's USB device (its modem's, without one)."""
        group = [port[0] for port in tty.usb.ports] if tty.usb else list(tty.ttys)
        group.sort(key=lambda m: tty_number(m.path))
        return group

    def _plug_in(self, tty, group, held, kind):
        """Each tty of group back under the lowest number not in held."""
        old = [m.path for m in group]
        for m in group:
            letters = NUMBERED_TTY.fullmatch(os.path.basename(m.path)).group(1)
            path = next_free_path(os.path.dirname(m.path), letters, held)
            held.add(path)
            m.replug(path)
        if self.sysfs and tty.usb:
            self.sysfs.plug(tty.usb)
        # Once the whole device is back: a client waiting for this finds it complete.
        for m, path in zip(group, old):
            m.event(kind, old=path, path=m.path)

    def replug(self, name):
        """Unplug the USB device of tty `name` (or its modem, when it has no USB
        position) and plug it in again: each of its ttys comes back under the
        lowest number that no tty holds, the old numbers being still held by
        clients that had them open, as the kernel numbers a replugged device."""
        tty = self._tty(name)
        group = self._device_ttys(tty)
        held = {m.path for m in self.ttys if not m.closed}
        if self.sysfs and tty.usb:
            self.sysfs.unplug(tty.usb)
        self._plug_in(tty, group, held, "replug")

    def unplug(self, name):
        """The USB device of tty `name` (its modem, without one) gone: its ttys
        hang up and their links go; storage and SIM stay, and what the network
        delivers meanwhile waits until it is plugged in again."""
        tty = self._tty(name)
        group = self._device_ttys(tty)
        if all(m.closed for m in group):
            raise ConfigError("%s is unplugged already" % name)
        if self.sysfs and tty.usb:
            self.sysfs.unplug(tty.usb)
        for m in group:
            m.close()
            m.event("unplug", path=m.path)

    def plug(self, name):
        """Plug an unplugged device in again, as "replug" does: under new tty
        numbers (the old ones counted as still held)."""
        tty = self._tty(name)
        group = self._device_ttys(tty)
        if not all(m.closed for m in group):
            raise ConfigError("%s is plugged in" % name)
        held = {m.path for m in self.ttys if not m.closed} | {m.path for m in group}
        self._plug_in(tty, group, held, "plug")

    def deliver(self, name, text):
        """Messages (a JSON object or list, as storage entries) the network hands
        to the modem of tty `name` now."""
        tty = self._tty(name)
        try:
            message = json.loads(text)
        except ValueError as e:
            raise ConfigError("deliver %s: not JSON: %s" % (name, e))
        records = tty.incoming(message)
        tty._primary().event("deliver", count=len(records))
        tty.expect(time.monotonic(), records)

    CONTROL = "replug <name>, unplug <name>, plug <name> or deliver <name> <json>"

    def _on_control(self):
        try:
            self.control_buf += os.read(self.control_fd, 65536)
        except BlockingIOError:
            return
        *lines, self.control_buf = self.control_buf.split(b"\n")
        for line in lines:
            words = line.decode("utf-8", "replace").strip().split(None, 2)
            try:
                if len(words) == 2 and words[0] in ("replug", "unplug", "plug"):
                    getattr(self, words[0])(words[1])
                elif len(words) == 3 and words[0] == "deliver":
                    self.deliver(words[1], words[2])
                else:
                    raise ConfigError("control: %r is none of %s" % (line, self.CONTROL))
            except (ConfigError, OSError) as e:
                sys.stderr.write("modemsim: %s\n" % e)

    def stop(self):
        # What a client wrote just before the stop may still be on its way
        # through the kernel's tty buffers: take it in until every line has
        # been quiet for a moment (a bounded number of times), so the logs are whole.
        for _ in range(20):
            # A start that failed part way leaves later modems without a pty.
            live = [m for m in self.ttys if not m.closed and m.master >= 0]
            ready = readable([m.master for m in live], 0.1)
            if not ready:
                break
            for m in live:
                if m.master in ready:
                    m.drain()
        for m in self.ttys:
            m.drain()
            m.close()
        os.close(self.control_fd)

    def serve(self, stop):
        """Answer until `stop` (a StopRequest) has been requested."""
        while not stop.requested:
            live = [m for m in self.ttys if not m.closed]
            now = time.monotonic()
            dues = [due for m in live for due in (m.next_due(), m.next_timer()) if due is not None]
            dues += [due for due in (m.next_arrival() for m in self.modems) if due is not None]
            timeout = 0.2 if not dues else max(0.0, min(dues) - now)
            poller = select.poll()
            for m in live:
                writing = m.next_due() is not None and m.next_due() <= now
                events = (select.POLLIN if m.listening() else 0) | (select.POLLOUT if writing else 0)
                if events:
                    poller.register(m.master, events)
            for fd in (stop.wake_fd, self.control_fd):
                poller.register(fd, select.POLLIN)
            r = {fd for fd, _ in poller.poll(min(timeout, 0.2) * 1000.0)}
            if self.control_fd in r:
                self._on_control()
            for m in self.modems:
                self._guarded(m, m.take_arrivals, time.monotonic())
            live = [m for m in self.ttys if not m.closed]
            for m in live:
                if m.closed:
                    continue
                if m.master in r and m.listening():
                    try:
                        data = os.read(m.master, 4096)
                    except BlockingIOError:
                        data = b""
                    except OSError as e:
                        if e.errno != errno.EIO:
                            raise
                        data = b""
                    if data:
                        self._guarded(m, m.on_input, data)
                if not m.closed:
                    self._guarded(m, m.run_timers, time.monotonic())
                if not m.closed:
                    m.flush()

    @staticmethod
    def _guarded(m, action, argument):
        try:
            action(argument)
        except Exception:
            # A fault of ours must show, but not stop the other modems.
            detail = traceback.format_exc()
            sys.stderr.write("modemsim: %s: %s" % (m.name, detail))
            m.event("crash", traceback=detail)
            m.send(m.error())


def tty_number(path):
    match = NUMBERED_TTY.fullmatch(os.path.basename(path))
    if not match:
        raise ConfigError("%s has no tty number to change" % path)
    return int(match.group(2))


def next_free_path(folder, kind, taken):
    """The lowest <folder>/tty<kind><n> that is neither taken nor on disk."""
    for number in itertools.count():
        path = os.path.join(folder, "tty%s%d" % (kind, number))
        if path not in taken and not os.path.lexists(path):
            return path


def readable(fds, timeout):
    """The descriptors of fds that have something to read within timeout seconds."""
    poller = select.poll()
    for fd in fds:
        poller.register(fd, select.POLLIN)
    return {fd for fd, _ in poller.poll(timeout * 1000.0)} if fds else set()


def raise_open_file_limit(needed):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft != resource.RLIM_INFINITY and soft < needed:
        if hard != resource.RLIM_INFINITY and hard < needed:
            hard = needed  # root may raise it; anyone else gets the error below
        try:
            resource.setrlimit(resource.RLIMIT_NOFILE, (needed, hard))
        except (ValueError, OSError) as e:
            raise ConfigError("%d ttys need %d open files: %s" % ((needed - 64) // 4, needed, e))


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


def setup_private_sys(mount):
    """An empty tmpfs on /sys: the machine's own USB devices and ttys stay
    unseen, and the simulated ones are shown there alone."""
    mount("tmpfs", "/sys", "tmpfs", 0, "mode=755")


def setup_private_lock_folder(mount):
    """An empty tmpfs on /run/lock, where programs keep a lock file per port:
    the simulated ttyUSB0 must neither meet the machine's real ttyUSB0 lock nor
    that of another namespace's simulated one."""
    if os.path.isdir(LOCK_FOLDER):  # without one, programs guard ports by flock alone
        mount("tmpfs", LOCK_FOLDER, "tmpfs", 0, "mode=1777")


def isolate():
    """Move this process into a private mount namespace with its own /dev, /sys and /run/lock."""
    if os.geteuid() != 0:
        sys.stderr.write("modemsim: --isolate needs root (a private mount namespace)\n")
        sys.exit(EXIT_NO_NAMESPACE)
    try:
        mount, umount, unshare_mounts = _syscalls()
        unshare_mounts()
        setup_private_dev(mount, umount)
        setup_private_sys(mount)
        setup_private_lock_folder(mount)
    except OSError as e:
        sys.stderr.write("modemsim: cannot set up a private /dev, /sys and %s: %s\n" % (LOCK_FOLDER, e))
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
                        help="run in a private mount namespace with a fresh /dev, /sys and /run/lock (root)")
    parser.add_argument("command", nargs="*", help="after --: run this command while serving, then stop")
    args = parser.parse_args(argv)
    if args.isolate:
        isolate()
    sim = None
    try:
        config = load_config(args.config)
        logdir = args.logdir or tempfile.mkdtemp(prefix="modemsim.")
        sim = Simulator(config, logdir, args.ati_dir, Sysfs() if args.isolate else None)
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
    os.close(sim.control_fd)
    for m in sim.ttys:
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
