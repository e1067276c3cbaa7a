#!/usr/bin/python3
"""Decodes SMS-SUBMIT PDUs with python-gammu, an independent decoder, for the
encoder's cross-check test.

Input file: one PDU a line, "<message id>\t<hex>". Output, one line per PDU:
  pdu\t<id>\t<key>=<value>\t...
and one line per message id whose parts gammu can join:
  msg\t<id>\ttext=<UTF-8 of the joined text, as hex>
Texts go out as hex so no terminal or locale setting can alter them.
"""
import sys

import gammu


def address_type(data):
    """The destination type octet, read straight from the PDU layout."""
    smsc_len = data[0]
    pos = 1 + smsc_len  # first octet of the TPDU
    pos += 2            # first octet, message reference
    return data[pos + 1]


def main():
    groups = {}
    order = []
    with open(sys.argv[1], encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            msg_id, hextext = line.split("\t")
            data = bytes.fromhex(hextext)
            sms = gammu.DecodePDU(data)
            udh = sms["UDH"]
            text = sms["Text"]
            if sms["Coding"] == "Default_No_Compression":
                # python-gammu sizes a 7-bit text by its septets, escapes
                # included: what follows gammu's terminating NUL is not text
                # (no septet decodes to U+0000).
                text = text.split("\x00", 1)[0]
            fields = [
                "number=" + sms["Number"],
                "toa=%02X" % address_type(data),
                "smsc=" + (sms["SMSC"]["Number"] or ""),
                "validity=" + str(sms["SMSC"]["Validity"]),
                "coding=" + sms["Coding"],
                "text=" + text.encode("utf-8", "surrogatepass").hex().upper(),
                "udh=" + udh["Type"],
                "ref=%d" % udh["ID8bit"],
                "part=%d" % udh["PartNumber"],
                "parts=%d" % udh["AllParts"],
            ]
            print("pdu\t%s\t%s" % (msg_id, "\t".join(fields)))
            if msg_id not in groups:
                groups[msg_id] = []
                order.append(msg_id)
            groups[msg_id].append(sms)
    for msg_id in order:
        parts = groups[msg_id]
        if parts[0]["UDH"]["Type"] != "ConcatenatedMessages":
            continue
        linked = gammu.LinkSMS([[p] for p in parts])
        if len(linked) != 1:
            continue
        info = gammu.DecodeSMS(linked[0])
        if info is None:
            continue
        text = "".join(e["Buffer"] or "" for e in info["Entries"])
        print("msg\t%s\ttext=%s" % (msg_id, text.encode("utf-8", "surrogatepass").hex().upper()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
