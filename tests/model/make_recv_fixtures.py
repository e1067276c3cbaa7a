#!/usr/bin/python3
"""Writes the listing transcripts of tests/fixtures/{cmgl,cmgd,cmgr,hcmgl,hcmgr}
from the PDUs of tests/fixtures/pdu/gammu.tsv (made by python3-gammu), laid
out as the modems answer: "+CMGL: <index>,<stat>,,<TPDU length>" CR LF, the
PDU, CR LF, and a final OK. The tests hold the expected messages."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
FIX = os.path.join(HERE, "..", "fixtures")

PDUS = {}
with open(os.path.join(FIX, "pdu", "gammu.tsv"), encoding="utf-8") as f:
    for line in f:
        if not line.startswith("#"):
            cols = line.rstrip("\n").split("\t")
            PDUS[cols[1]] = cols[2]


def tpdu_length(pdu):
    return len(pdu) // 2 - 1 - int(pdu[:2], 16)


def cmgl(entries):
    out = "\r\n"
    for index, stat, name in entries:
        pdu = PDUS[name]
        out += "+CMGL: %d,%d,,%d\r\n%s\r\n" % (index, stat, tpdu_length(pdu), pdu)
    return out + "\r\nOK\r\n"


def write(path, text, binary=False):
    with open(os.path.join(FIX, path), "wb") as f:
        f.write(text if binary else text.encode("latin-1"))


# A Quectel listing: singles, a three-part UCS-2 message stored out of order,
# a 16-bit-reference part whose partner is missing, a stored sent message.
write("cmgl/CPhone_EC20F.txt", cmgl([
    (0, 1, "Gsm7Ascii"), (1, 1, "LongUcs2.2"), (2, 0, "Ucs2Chinese"), (3, 1, "LongUcs2.1"),
    (4, 1, "LongUcs2.3"), (5, 1, "LongGsm7Ref16.1"), (6, 3, "SubmitGsm7"),
    (7, 1, "AlphanumericSender"), (8, 1, "Gsm7Extension")]))
# A TD Tech listing: two senders whose long messages share reference 0xB5 and
# part count 3, interleaved, and a third from one of them with another count.
write("cmgl/CPhone_TD_ME909.txt", cmgl([
    (1, 1, "LongGsm7.1"), (2, 1, "LongUcs2.1"), (3, 1, "LongGsm7.2"), (4, 1, "LongUcs2.2"),
    (5, 1, "LongGsm7Euro.2"), (6, 1, "LongUcs2.3"), (7, 1, "LongGsm7.3"), (8, 1, "LongGsm7Euro.1"),
    (9, 0, "Ucs2Emoji")]))

# A Quectel M26 listing as a UART that lost bytes delivers it, each entry to
# be read again by its index: a single that came whole (1); part 1 of the
# three-part UCS-2 message cut by 10 octets (2); a header whose PDU line was
# lost (3); part 2 whole (4); part 3 with a character that is no hex digit
# (5); an index shown twice (6); a header announcing the wrong length (7).
# Then the answers to AT+CMGR=2, 3, 5, 6 and 7, each whole.
def entry(index, stat, pdu, length=None):
    return "+CMGL: %d,%d,,%d\r\n%s\r\n" % (index, stat, tpdu_length(pdu) if length is None else length, pdu)


def cmgr(stat, name):
    pdu = PDUS[name]
    return "\r\n+CMGR: %d,,%d\r\n%s\r\n\r\nOK\r\n" % (stat, tpdu_length(pdu), pdu)


part3 = PDUS["LongUcs2.3"]
write("cmgl/CPhone_M26.txt", "\r\n" + "".join([
    entry(1, 1, PDUS["Gsm7Ascii"]),
    entry(2, 1, PDUS["LongUcs2.1"][:-20], tpdu_length(PDUS["LongUcs2.1"])),
    "+CMGL: 3,1,,%d\r\n" % tpdu_length(PDUS["AlphanumericSender"]),
    entry(4, 1, PDUS["LongUcs2.2"]),
    entry(5, 1, part3[:40] + "G" + part3[41:], tpdu_length(part3)),
    entry(6, 0, PDUS["Ucs2Chinese"]),
    entry(6, 1, PDUS["Gsm7Extension"]),
    entry(7, 3, PDUS["SubmitGsm7"], tpdu_length(PDUS["SubmitGsm7"]) + 1),
]) + "\r\nOK\r\n")
write("cmgr/CPhone_M26.txt", cmgr(1, "LongUcs2.1") + cmgr(1, "AlphanumericSender") + cmgr(1, "LongUcs2.3") +
      cmgr(0, "Ucs2Chinese") + cmgr(3, "SubmitGsm7"))

# Read one at a time (Yuga CLM920_NC5): the used indices, then one answer per index.
write("cmgd/CPhone_K2210_NC5.txt", "\r\n+CMGD: (1,2,5),(0-4)\r\n\r\nOK\r\n")
answers = ""
for stat, name in ((1, "LongGsm7Euro.2"), (1, "Gsm7Ascii"), (1, "LongGsm7Euro.1")):
    pdu = PDUS[name]
    answers += "\r\n+CMGR: %d,,%d\r\n%s\r\n\r\nOK\r\n" % (stat, tpdu_length(pdu), pdu)
write("cmgr/CPhone_K2210_NC5.txt", answers)

# Huawei MC323 (CDMA) text mode: the listing, then two answers to AT^HCMGR:
# ASCII (encoding 1) and raw UCS-2 (encoding 6) with U+4E0A, whose second byte is LF.
write("hcmgl/CPhone_MC323_ON.txt", "\r\n^HCMGL:0,1\r\n^HCMGL:3,0\r\n\r\nOK\r\n")
ucs2 = "上海见, OK?".encode("utf-16-be")
write("hcmgr/CPhone_MC323_ON.txt",
      b"\r\n^HCMGR:13912345678,2023,05,17,08,30,00,0,1,13,0,0,0,1\r\nSee you\r\nat 8\x1a\r\n\r\nOK\r\n"
      + b"\r\n^HCMGR:10086,2023,05,17,08,31,05,0,6,16,0,0,0,0\r\n" + ucs2 + b"\x00\x1a\r\n\r\nOK\r\n",
      binary=True)
