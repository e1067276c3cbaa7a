#!/usr/bin/python3
"""Encoding rate of tarnel's PDU encoder next to python-gammu's, same messages,
same run, both pinned to one core.

Usage: bench/compare_encode.py [path/to/tarnel_bench]
       (default: build/bench/tarnel_bench)
Prints messages per second for a 67-character Chinese single-part SMS and a
300-character Chinese concatenated SMS, and the ratio. Exits 1 when the
single-part rate is under 150,000/s or either ratio is under 2.
"""
import json
import os
import subprocess
import sys
import time

import gammu

CORE = 0
SMSC = "+8613800100500"
NUMBER = "13912345678"


def chinese_text(count):
    # The same distinct characters as bench/encode_bench.cpp.
    return "".join(chr(0x4E00 + 37 * i) for i in range(count))


def ours(bench):
    out = subprocess.run(
        [bench, "--benchmark_format=json", "--benchmark_min_time=1",
         "--benchmark_filter=BM_Encode(ShortChinese67|LongChinese300)$"],
        check=True, capture_output=True, text=True,
        preexec_fn=lambda: os.sched_setaffinity(0, {CORE}))
    rates = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        rates[b["name"]] = b["items_per_second"]
    return rates["BM_EncodeShortChinese67"], rates["BM_EncodeLongChinese300"]


def rate(fn, seconds=1.0):
    fn()  # warm up
    n = 0
    start = time.perf_counter()
    while True:
        for _ in range(200):
            fn()
        n += 200
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return n / elapsed


def gammu_rates():
    os.sched_setaffinity(0, {CORE})
    # A complete message dictionary, as DecodePDU gives one.
    template = gammu.DecodePDU(bytes.fromhex("0011000B812143658709F10008AA06006100620063"))
    short = dict(template)
    short.update(Number=NUMBER, Text=chinese_text(67),
                 SMSC={"Location": 0, "Number": SMSC, "Validity": "4D", "Format": "Text"})

    def encode_short():
        gammu.EncodePDU(short)

    long_info = {"Class": -1, "Unicode": True,
                 "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": chinese_text(300)}]}

    def encode_long():
        # Splitting into parts is part of the work, as in gsmLongSmsPdu.
        for part in gammu.EncodeSMS(long_info):
            part["Number"] = NUMBER
            part["SMSC"] = {"Location": 0, "Number": SMSC, "Validity": "1440M", "Format": "Text"}
            gammu.EncodePDU(part)

    return rate(encode_short), rate(encode_long)


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/tarnel_bench"
    our_short, our_long = ours(bench)
    g_short, g_long = gammu_rates()
    print("%-34s %14s %14s %8s" % ("messages per second (one core)", "tarnel", "python-gammu", "ratio"))
    rows = (("67-char Chinese single-part", our_short, g_short),
            ("300-char Chinese concatenated", our_long, g_long))
    ok = our_short >= 150000
    for name, a, b in rows:
        print("%-34s %14.0f %14.0f %7.1fx" % (name, a, b, a / b))
        ok = ok and a >= 2 * b
    print("targets (>= 150000/s single-part, >= 2x python-gammu): %s" % ("met" if ok else "NOT met"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
