"""The main menu: one scan per drawing, its keys, and its end."""

import unittest

import harness
from detect_support import CATALOGUES, Menu, parse_screen
from harness import Bench

SEND_PROMPT = "Input received phone number: "


def scans(bench, name="ttyUSB0"):
    """How many detection passes the modem went through (each begins with ATE0)."""
    return sum(1 for cmd, _, _ in bench.commands(name) if cmd == "ATE0")


class MenuKeys(unittest.TestCase):
    def setUp(self):
        self.bench = self.enterContext(Bench([{"path": "/dev/ttyUSB0"}], time1=20))
        self.menu = Menu(self.bench)

    def test_enter_rescans_then_draws_again(self):
        self.menu.wait_menu()
        self.assertEqual(scans(self.bench), 1)
        self.menu.key("\r")
        # Enter scans once: for the drawing that follows.
        self.menu.wait_menu()
        self.assertEqual(scans(self.bench), 2)
        self.assertEqual(self.menu.quit(), 0)
        self.assertEqual(scans(self.bench), 2)

    def test_q_quits_and_a_capital_q_does_not(self):
        self.menu.wait_menu()
        self.menu.key("Q")
        self.menu.key("x")  # dropped along with the unknown Q
        self.menu.wait_menu()
        self.assertEqual(self.menu.quit(), 0)
        self.assertEqual(scans(self.bench), 2)

    def test_unknown_key_drops_the_next_one(self):
        self.menu.wait_menu()
        self.menu.key("x")
        self.menu.key("1")
        self.menu.wait_menu()
        self.assertEqual(self.menu.quit(), 0)
        output = b"".join(self.menu.screens).decode("utf-8")
        self.assertNotIn(SEND_PROMPT, output)
        self.assertEqual(scans(self.bench), 2)


class MenuEndOfInput(unittest.TestCase):
    """Without a terminal, or once its input is used up, the menu leaves as "q" does."""

    def test_input_at_its_end_leaves_the_menu(self):
        cat = CATALOGUES["en"]
        # Piped bytes are no keys (-1, an unknown key, which drops the next read);
        # the read that meets the end leaves, even when it is the dropped one.
        for name, stdin, drawings in (("/dev/null", None, 1), ("empty pipe", b"", 1),
                                      ("one byte", b"q", 1), ("two bytes", b"x1", 2)):
            with self.subTest(name), Bench([{"path": "/dev/ttyUSB0"}], time1=20) as bench:
                result = bench.run_tarnel([], input=stdin, timeout=60)
                self.assertEqual(result.rc, 0, result)
                self.assertEqual(result.out.count(cat["menu"]), drawings, result)
                self.assertNotIn(SEND_PROMPT, result.out)
                parse_screen(result.raw_out, cat)
                self.assertEqual(scans(bench), drawings)

if __name__ == "__main__":
    harness.main()
