#!/usr/bin/python3
"""Writes tests/fixtures/pdu/gammu.tsv: PDUs made by an independent encoder
(Debian's python3-gammu) with the values they were made from, so that the
decoder tests check our reading against someone else's writing.

Run with /usr/bin/python3 after `apt-get install python3-gammu`; the output is
committed, so the tests themselves need neither.

Columns (tab-separated; text fields escape backslash, tab, CR, LF and FF):
kind  name  pdu  tpa  scts  text  concat  ref  count  number  message
  kind     deliver or submit (gsmDecodePdu or gsmDecodeSendPdu)
  tpa      the number (without '+') or alphanumeric sender
  scts     the 14 time-stamp digits ("" for submit)
  text     the text of this PDU alone
  concat   1 for a part of a concatenated message, else 0
  message  the whole text of the message the part belongs to
"""

import datetime
import os
import sys

import gammu

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "pdu", "gammu.tsv")

# Any decodable SMS serves as the template of the dictionary EncodePDU wants.
TEMPLATE = gammu.DecodePDU(bytes.fromhex(
    "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07"))
WHEN = datetime.datetime(2023, 5, 17, 8, 30, 0)
SCTS = "23051708300000"  # WHEN with zone 0, as the decoder prints it
SMSC = "+8613800100500"


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n").replace("\f", "\\f"))


def pdu(number, text, coding, layout, udh=None, klass=-1):
    sms = dict(TEMPLATE)
    sms["SMSC"] = dict(TEMPLATE["SMSC"], Number=SMSC)
    sms.update(Number=number, Text=text, Coding=coding, DateTime=WHEN, SMSCDateTime=WHEN,
               Class=klass)
    if udh is not None:
        sms["UDH"] = udh
    return gammu.EncodePDU(sms, layout).hex().upper()


def single(rows, kind, name, number, text, coding="Default_No_Compression", klass=-1):
    layout = "Deliver" if kind == "deliver" else "Submit"
    hexpdu = pdu(number, text, coding, layout, klass=klass)
    shown = text.decode("latin-1") if isinstance(text, bytes) else text
    rows.append((kind, name, hexpdu, number.lstrip("+"), SCTS if kind == "deliver" else "",
                 shown, 0, 0, 0, 0, shown))


def concatenated(rows, kind, name, number, text, unicode, element):
    layout = "Deliver" if kind == "deliver" else "Submit"
    parts = gammu.EncodeSMS({"Class": -1, "Unicode": unicode,
                             "Entries": [{"ID": element, "Buffer": text}]})
    for part in parts:
        udh = part["UDH"]
        ref = udh["ID16bit"] if udh["ID16bit"] >= 0 else udh["ID8bit"]
        hexpdu = pdu(number, part["Text"], part["Coding"], layout, udh=udh)
        rows.append((kind, "%s.%d" % (name, udh["PartNumber"]), hexpdu, number.lstrip("+"),
                     SCTS if kind == "deliver" else "", part["Text"], 1, ref, udh["AllParts"],
                     udh["PartNumber"], text))


def main():
    rows = []
    single(rows, "deliver", "Gsm7Ascii", "+31641600986", "How are you? See you at 8pm.")
    single(rows, "deliver", "Gsm7Accents", "+33612345678",
           "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./09:;<=>?¡AZÄÖÑÜ§¿azäöñüà")
    single(rows, "deliver", "Gsm7Extension", "+4915112345678", "Price: 5€ [a] {b} ~c^ |d| \\e\f.")
    single(rows, "deliver", "Gsm7Full160", "+447700900123", ("0123456789" * 16))
    single(rows, "deliver", "Gsm7Greek", "+306912345678", "ΔΦΓΛΩΠΨΣΘΞ")
    single(rows, "deliver", "NationalSender", "10086", "Balance 12.50")
    single(rows, "deliver", "ShortCode", "95588", "Code 4821")
    single(rows, "deliver", "AlphanumericSender", "Google", "G-123456 is your code")
    single(rows, "deliver", "AlphanumericSender11", "INFO-MOBILE", "Welcome!")
    single(rows, "deliver", "Ucs2Chinese", "+8613912345678", "您的验证码是123456，请勿泄露。",
           "Unicode_No_Compression")
    single(rows, "deliver", "Ucs2Emoji", "+8613912345678", "👍 ok 😀🎉", "Unicode_No_Compression")
    single(rows, "deliver", "Ucs2Full70", "+8613912345678", "长" * 70, "Unicode_No_Compression")
    single(rows, "deliver", "FlashGsm7", "+31641600986", "Flash!", klass=0)
    single(rows, "deliver", "FlashUcs2", "+8613912345678", "闪信", "Unicode_No_Compression", klass=0)
    single(rows, "deliver", "EightBit", "+31641600986", b"ABC xyz", "8bit")
    concatenated(rows, "deliver", "LongGsm7", "+31641600986",
                 "".join("Part of a long message number %03d. " % i for i in range(9)),
                 False, "ConcatenatedTextLong")
    concatenated(rows, "deliver", "LongGsm7Euro", "+31641600986", "€" * 100 + " end",
                 False, "ConcatenatedTextLong")
    concatenated(rows, "deliver", "LongGsm7Ref16", "+31641600986", "0123456789" * 20,
                 False, "ConcatenatedTextLong16bit")
    concatenated(rows, "deliver", "LongUcs2", "+8613912345678", "长短信测试" * 30,
                 True, "ConcatenatedTextLong")
    concatenated(rows, "deliver", "LongUcs2Ref16", "+8613912345678", "十六位参考" * 20,
                 True, "ConcatenatedTextLong16bit")
    single(rows, "submit", "SubmitGsm7", "+31641600986", "Sent from the modem")
    single(rows, "submit", "SubmitUcs2", "+8613912345678", "已发送", "Unicode_No_Compression")
    concatenated(rows, "submit", "SubmitLongUcs2", "+8613912345678", "发件箱长短信" * 20,
                 True, "ConcatenatedTextLong")

    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write("# Made by tests/pdu/make_gammu_fixtures.py with python3-gammu %s\n"
                % gammu.Version()[1])
        f.write("# kind\tname\tpdu\ttpa\tscts\ttext\tconcat\tref\tcount\tnumber\tmessage\n")
        for row in rows:
            f.write("\t".join(escape(str(v)) for v in row) + "\n")
    print("wrote %d PDUs to %s" % (len(rows), os.path.normpath(OUT)), file=sys.stderr)


if __name__ == "__main__":
    main()
