#!/usr/bin/python3
"""Decoding rate of tarnel's PDU decoder next to python-gammu's DecodePDU, on
the same SMS-DELIVER PDUs (tests/fixtures/pdu/gammu.tsv), same run, both
pinned to one core.

Usage: bench/compare_decode.py [path/to/tarnel_bench]
       (default: build/bench/tarnel_bench)
Prints PDUs per second and the ratio, and the time to parse and join a
255-message listing. Exits 1 when tarnel decodes fewer than 500,000 PDUs per
second, fewer than six times python-gammu's rate, or takes 20 ms or more for
the listing.
"""
import json
import os
import subprocess
import sys
import time

import gammu

CORE = 0
HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "tests", "fixtures", "pdu", "gammu.tsv")


def deliver_pdus():
    with open(FIXTURES, encoding="utf-8") as f:
        return [line.split("\t")[2] for line in f if line.startswith("deliver\t")]


def ours(bench):
    out = subprocess.run(
        [bench, "--benchmark_format=json", "--benchmark_min_time=1",
         "--benchmark_filter=BM_DecodeDeliverMix$|BM_Listing255$"],
        check=True, capture_output=True, text=True,
        preexec_fn=lambda: os.sched_setaffinity(0, {CORE}))
    runs = {b["name"]: b for b in json.loads(out.stdout)["benchmarks"]}
    listing = runs["BM_Listing255"]
    assert listing["time_unit"] == "ms"
    return runs["BM_DecodeDeliverMix"]["items_per_second"], listing["cpu_time"]


def gammu_rate(pdus, seconds=1.0):
    os.sched_setaffinity(0, {CORE})
    # Octets made beforehand: python-gammu is not charged for reading hex.
    data = [bytes.fromhex(p) for p in pdus]
    for d in data:
        gammu.DecodePDU(d)
    n = 0
    start = time.perf_counter()
    while True:
        for d in data:
            gammu.DecodePDU(d)
        n += len(data)
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return n / elapsed


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/tarnel_bench"
    pdus = deliver_pdus()
    a, listing_ms = ours(bench)
    b = gammu_rate(pdus)
    print("%-34s %14s %14s %8s" % ("PDUs decoded per second (one core)", "tarnel", "python-gammu",
                                   "ratio"))
    print("%-34s %14.0f %14.0f %7.1fx" % ("%d SMS-DELIVER PDUs, round robin" % len(pdus), a, b,
                                          a / b))
    print("255-message listing parsed and joined: %.2f ms" % listing_ms)
    ok = a >= 500000 and a >= 6 * b and listing_ms < 20
    print("targets (>= 500000/s, >= 6x python-gammu, listing < 20 ms): %s" % ("met" if ok else "NOT met"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
