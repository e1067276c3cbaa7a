"""The parts of one long message stored in both storages of a modem (the
modem's memory and the SIM card) are joined by the same rules as within
one, reported once from the storage of the first part, and read-and-clear
deletes each part from its own storage."""

import unittest

import harness
from harness import Bench
from test_sms_readclear import LONG, PDU_FAMILIES, part, readclear, reported
from test_sms_subcommands import deleted, modem, port_of, sms

THREE = "".join("item%03d " % i for i in range(50))  # three 7-bit parts
WHEN = "23-05-17 08:30:00"


def parts_of(text, ref, layout):
    """{"SM": [...], "ME": [...]}: part n of `text` stored where `layout` puts it."""
    storage = {"SM": [], "ME": []}
    for number, where in enumerate(layout, start=1):
        storage[where].append({"from": "10086", "text": text, "time": WHEN, "stat": 1,
                               "split": {"ref": ref, "order": [number]}})
    return storage


class AcrossStorages(unittest.TestCase):
    def test_parts_in_both_storages_make_one_message(self):
        # (case, text, where each part is stored, the storage it is reported from, deleted by storage)
        rows = [
            ("part 1 on the SIM card", LONG, ["SM", "ME"], "SIM", {"SM": [1], "ME": [1]}),
            ("part 1 in the memory", LONG, ["ME", "SM"], "DEV", {"ME": [1], "SM": [1]}),
            ("three parts, the middle one in the memory", THREE, ["SM", "ME", "SM"], "SIM",
             {"SM": [1, 2], "ME": [1]}),
        ]
        for model, _ in PDU_FAMILIES:
            for case, text, layout, storage, gone in rows:
                with self.subTest(model=model, case=case), \
                        Bench([modem("/dev/ttyUSB0", model, storage=parts_of(text, 7, layout))]) as bench:
                    self.assertEqual(reported(port_of(sms(bench, "read"), "ttyUSB0")), [(storage, text, False)])
                    port = readclear(bench)
                    self.assertEqual(reported(port), [(storage, text, False)])
                    self.assertIs(port["clear"], True)
                    self.assertEqual(deleted(bench, "ttyUSB0"), gone)
                    self.assertEqual(bench.state("ttyUSB0")["storage"], {"SM": [], "ME": []})

    def test_a_refused_part_keeps_the_rest_of_its_message_in_the_other_storage(self):
        # Part 1 (ME, index 1) is refused: part 2 on the SIM card stays with it.
        storage = parts_of(LONG, 7, ["ME", "SM"])
        with Bench([modem("/dev/ttyUSB0", storage=storage, refuse_delete={"1": "+CMS ERROR: 321"})]) as bench:
            port = readclear(bench)
            self.assertEqual(reported(port), [("DEV", LONG, False)])
            self.assertIs(port["clear"], False)
            self.assertEqual(deleted(bench, "ttyUSB0"), {})
            self.assertEqual({mem: len(msgs) for mem, msgs in bench.state("ttyUSB0")["storage"].items()},
                             {"SM": 1, "ME": 1})


if __name__ == "__main__":
    harness.main()
