# SPDX-License-Identifier: MIT
"""The program in a terminal: the set-up dialog, the help, the status blocks,
and a sane terminal after every way the program can end."""

import os
import subprocess
import unittest

from harness import BINARY, SessionTest
from rig.program import DRIVERS, HELP, MENU

MODULATOR = (
    "Freq [0.000] Ampl [1.000] Phase [1.000] - AFreq [0.000] AAmpl [1.000] APhase [1.000]  \n"
)
NO_WINDOW = {"DISPLAY": ""}


def crlf(text):
    return text.replace("\n", "\r\n").encode()


class Dialog(SessionTest):
    def test_nosound_dialog_reads_exactly_and_leads_to_the_help(self):
        s = self.start(NO_WINDOW)
        s.expect(crlf(MENU))
        s.send("5a\r")  # unusable keys: ignored without a word
        s.send("4")
        s.expect(crlf(MENU + DRIVERS))
        s.send("2")  # there is only one driver
        s.send("1")
        s.expect(crlf(HELP))
        self.assertEqual(s.output[: len(crlf(MENU + DRIVERS))], crlf(MENU + DRIVERS))

    def test_esc_at_either_prompt_ends_with_status_zero_and_a_sane_terminal(self):
        for keys, shown in (("", MENU), ("4", MENU + DRIVERS)):
            s = self.start(NO_WINDOW)
            s.expect(crlf(MENU))
            s.send(keys)
            s.expect(crlf(shown))
            s.send("\x1b")
            self.assertEqual(s.wait(), 0)
            self.assertEqual(s.output, crlf(shown))
            self.assertTrue(s.terminal_restored())

    def test_an_arrow_key_at_a_prompt_does_not_quit(self):
        s = self.start(NO_WINDOW)
        s.expect(crlf(MENU))
        s.send("\x1b[A")
        s.send("\x1bOP")  # F1
        s.send("4")
        s.expect(crlf(DRIVERS))
        self.assertIsNone(s.proc.poll())


class Playing(SessionTest):
    def test_keys_print_status_blocks_that_follow_the_patch(self):
        s = self.start_nosound(NO_WINDOW)
        s.send("-")
        start = crlf(
            "Note [58] -> [440.000000]\n"
            "Freq [440.000] Ampl [1.000] Phase [1.000] - AFreq [440.000] AAmpl [1.000] "
            "APhase [1.000]  \n" + MODULATOR * 4
        )
        s.expect(start)
        s.send("n")
        s.expect("Note [70] -> [")
        s.send("e")
        s.expect(crlf("Freq [0.500] Ampl [1.000] Phase [1.000] - AFreq ["))
        s.send("ssss")
        s.expect("Ampl [0.960] Phase [1.000] - AFreq [")
        s.send("\x1bOP")  # F1: two key codes, two blocks, the second plays note 72
        s.expect("Note [72] -> [")
        self.assertEqual(s.output.count(b"Note ["), 9)

    def test_the_stream_keeps_the_carrier_at_the_note(self):
        s = self.start_nosound(NO_WINDOW)
        s.send("w")
        s.expect("Note [61]")
        s.output = b""
        # The stream's next block takes the note up; a later key shows it.
        for _ in range(50):
            s.send("-")
            s.read_available(0.1)
            if b"Note [61] -> [523.251160]" in s.output:
                break
        self.assertIn(b"Note [61] -> [523.251160]", s.output)


class Ending(SessionTest):
    def test_keys_from_a_pipe_play_until_the_input_ends(self):
        proc = subprocess.run(
            [BINARY],
            input=b"41-a",
            capture_output=True,
            timeout=30,
            env=dict(os.environ, DISPLAY=""),
        )
        self.assertEqual(proc.returncode, 0)
        out = proc.stdout.decode()
        self.assertTrue(out.startswith(MENU + DRIVERS), out)
        self.assertIn(HELP, out)
        self.assertIn("Note [59] -> [", out)
        self.assertEqual(out.count("Note ["), 2)
        self.assertEqual(proc.stderr, b"")


if __name__ == "__main__":
    unittest.main()
