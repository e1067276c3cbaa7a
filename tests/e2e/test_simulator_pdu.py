"""The simulator's SMS PDU helpers against PDUs made by an independent library."""

import os
import unittest

import harness

sim = harness.load_modemsim()
TSV = os.path.join(harness.FIXTURES, "pdu", "gammu.tsv")


def unescape(text):
    out, i = [], 0
    table = {"\\": "\\", "t": "\t", "r": "\r", "n": "\n", "f": "\f"}
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append(table[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def rows(kind):
    with open(TSV, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.rstrip("\n").split("\t")
            if fields[0] == kind:
                keys = ["kind", "name", "pdu", "tpa", "scts", "text", "concat", "ref", "count", "number"]
                row = dict(zip(keys, fields))
                row["text"] = unescape(row["text"])
                yield row


class SimulatorPdu(unittest.TestCase):
    def test_deliver_rows_decode_and_encode_back_byte_for_byte(self):
        count = 0
        for row in rows("deliver"):
            with self.subTest(row["name"]):
                decoded = sim.decode_pdu(row["pdu"])
                self.assertEqual(decoded["from"].lstrip("+"), row["tpa"])
                self.assertEqual(decoded["scts"], row["scts"])
                self.assertEqual(decoded["smsc"], "+8613800100500")
                text = row["text"]
                if sim.alphabet(decoded["dcs"]) == 1:
                    self.assertEqual(decoded["text"], text.encode("latin-1").hex().upper())
                else:
                    self.assertEqual(decoded["text"], text)
                concat = None
                if row["concat"] == "1":
                    concat = {"ref": int(row["ref"]), "total": int(row["count"]), "seq": int(row["number"])}
                    self.assertEqual({k: decoded["concat"][k] for k in concat}, concat)
                    concat["ref16"] = concat["ref"] > 255
                encoded = sim.encode_deliver(decoded["from"], text, row["scts"], smsc="+8613800100500",
                                             dcs=decoded["dcs"], concat=concat,
                                             toa=int(decoded["toa"], 16))
                self.assertEqual(encoded, row["pdu"])
                count += 1
        self.assertGreaterEqual(count, 20)

    def test_default_alphabet_is_chosen_when_the_text_allows(self):
        self.assertEqual(sim.decode_pdu(sim.encode_deliver("+31641600986", "Price: 5€", "23051708300000"))["dcs"], 0)
        self.assertEqual(sim.decode_pdu(sim.encode_deliver("+31641600986", "价格", "23051708300000"))["dcs"], 8)

    def test_submit_rows_decode(self):
        for row in rows("submit"):
            with self.subTest(row["name"]):
                decoded = sim.decode_pdu(row["pdu"], "submit")
                self.assertEqual(decoded["type"], "submit")
                self.assertEqual(decoded["to"].lstrip("+"), row["tpa"])
                self.assertEqual(decoded["text"], row["text"])
                self.assertEqual(sim.tpdu_length(row["pdu"]), len(row["pdu"]) // 2 - 9)

    def test_every_truncation_and_non_hex_input_is_refused_cleanly(self):
        for row in list(rows("deliver")) + list(rows("submit")):
            pdu = row["pdu"]
            for end in range(0, len(pdu), 2):
                with self.subTest(row["name"], end=end):
                    with self.assertRaises(sim.PduError):
                        sim.decode_pdu(pdu[:end], row["kind"])
        for bad in ("0G", "123", "zz", ""):
            with self.assertRaises(sim.PduError):
                sim.decode_pdu(bad)
            with self.assertRaises(sim.PduError):
                sim.tpdu_length(bad)

    def test_long_text_split_keeps_escapes_and_surrogate_pairs_whole(self):
        gsm = "x" * 152 + "€" + "y" * 10
        parts = sim.split_long_text(gsm, 0)
        self.assertEqual(parts, ["x" * 152, "€" + "y" * 10])
        wide = "好" * 66 + "😀" + "z"
        parts = sim.split_long_text(wide, 8)
        self.assertEqual(parts, ["好" * 66, "😀z"])
        self.assertEqual(len(sim.GSM7_BASIC), 128)


if __name__ == "__main__":
    unittest.main()
