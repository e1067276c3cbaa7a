#!/usr/bin/python3
"""Writes the seed corpus of the model fuzz targets from the transcripts in
tests/fixtures (run after adding a transcript; the seeds are committed).
fuzz_model_identity, fuzz_model_health: the answer, then a byte choosing the model.
fuzz_model_listing: answers joined by backslash-'|', backslashes doubled,
then the model byte. fuzz_listing: the listing text itself."""

import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
FIX = os.path.join(HERE, "..", "fixtures")
CORPUS = os.path.join(HERE, "corpus")
MODEL_INCLUDE = os.path.join(HERE, "..", "..", "include", "model")


def registered_models():
    """Class name -> model number: the rows of include/model/phones/ModelTable.h
    with the numbers include/model/PhoneType.h gives them."""
    with open(os.path.join(MODEL_INCLUDE, "PhoneType.h")) as f:
        numbers = {m.group(1): int(m.group(2)) for m in re.finditer(r"\b(PHONE_TYPE_\w+) = (\d+)", f.read())}
    with open(os.path.join(MODEL_INCLUDE, "phones", "ModelTable.h")) as f:
        rows = re.findall(r"MODEL\((PHONE_TYPE_\w+),\s*\"[^\"]*\",\s*(\w+),", f.read())
    return {cls: numbers[number] for number, cls in rows}


TYPES = registered_models()


def model_byte(cls):
    # FuzzedDataProvider maps the last byte b to 1 + b % n for the range 1..n
    # (n the last model number), so a model keeps its byte when one is added.
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

for command in ("cpin", "creg", "cgreg", "cereg", "cops", "cfun", "cscs"):
    for f in sorted(os.listdir(os.path.join(FIX, command))):
        cls = f[:-4]
        write("model_health", "%s_%s" % (command, cls), read("%s/%s" % (command, f)) + model_byte(cls))

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
