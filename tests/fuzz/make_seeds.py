#!/usr/bin/python3
"""Writes the seed corpus of the model fuzz targets from the transcripts in
tests/fixtures (run after adding a transcript; the seeds are committed).
fuzz_model_identity: the answer, then a byte choosing the model.
fuzz_model_listing: answers joined by backslash-'|', backslashes doubled,
then the model byte. fuzz_listing: the listing text itself."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
FIX = os.path.join(HERE, "..", "fixtures")
CORPUS = os.path.join(HERE, "corpus")

# Class name -> model number, as include/PhoneType.h numbers them.
TYPES = {
    "CPhone_K2210_NC5": 2, "CPhone_K2210_RC3": 3, "CPhone_K2210_RV3": 4, "CPhone_MeigDev": 5,
    "CPhone_KG70_FT_ON": 6, "CPhone_M26": 7, "CPhone_EC20F": 8, "CPhone_TD_ME909": 9,
    "CPhone_TD_ME901": 10, "CPhone_K2210_ME": 11, "CPhone_MG301_ON_KW40010": 12,
    "CPhone_K1100_FT_ON": 13, "CPhone_MC323_ON": 14, "CPhone_MH5000": 15, "CPhone_TD_MH5000": 16,
    "CPhone_INCORPORATED_A7600C1_SE": 17,
}


def model_byte(cls):
    # FuzzedDataProvider maps the last byte b to 1 + b % 17 for the range 1..17.
    return bytes([TYPES.get(cls, 1) - 1])


def read(path):
    with open(os.path.join(FIX, path), "rb") as f:
        return f.read()


def write(target, name, data):
    os.makedirs(os.path.join(CORPUS, target), exist_ok=True)
    with open(os.path.join(CORPUS, target, name), "wb") as f:
        f.write(data)


def answers(*texts):
    return b"\\|".join(t.replace(b"\\", b"\\\\") for t in texts)


for command in ("ati", "ccid", "cgsn", "csca", "csq", "iccid"):
    folder = os.path.join(FIX, command)
    if os.path.isdir(folder):
        for f in sorted(os.listdir(folder)):
            cls = f[:-4]
            write("model_identity", "%s_%s" % (command, cls), read("%s/%s" % (command, f)) + model_byte(cls))

for f in sorted(os.listdir(os.path.join(FIX, "cmgl"))):
    listing = read("cmgl/" + f)
    write("listing", f[:-4], listing)
    write("model_listing", "cmgl_" + f[:-4], answers(listing, listing) + model_byte(f[:-4]))

# A damaged listing, then the answers to reading its damaged entries again.
again = read("cmgr/CPhone_M26.txt").split(b"\r\n\r\nOK\r\n")
again = [a + b"\r\n\r\nOK\r\n" for a in again if a]
write("model_listing", "cmgl_again_CPhone_M26",
      answers(read("cmgl/CPhone_M26.txt"), *again) + model_byte("CPhone_M26"))

cmgr = read("cmgr/CPhone_K2210_NC5.txt").split(b"\r\n\r\nOK\r\n")
cmgr = [a + b"\r\n\r\nOK\r\n" for a in cmgr if a]
for cls in ("CPhone_K2210_NC5", "CPhone_MeigDev", "CPhone_INCORPORATED_A7600C1_SE"):
    write("model_listing", "cmgd_" + cls,
          answers(read("cmgd/CPhone_K2210_NC5.txt"), *cmgr) + model_byte(cls))
hcmgr = read("hcmgr/CPhone_MC323_ON.txt").split(b"\r\n\r\nOK\r\n")
hcmgr = [a + b"\r\n\r\nOK\r\n" for a in hcmgr if a]
write("model_listing", "hcmgl_CPhone_MC323_ON",
      answers(read("hcmgl/CPhone_MC323_ON.txt"), *hcmgr) + model_byte("CPhone_MC323_ON"))
