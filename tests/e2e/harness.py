# SPDX-License-Identifier: MIT
"""The end-to-end tests' base: every session a test starts is ended, and
under the sanitizer builds a report fails the test."""

import time
import unittest

from rig.program import HELP_END, PROMPT, STATUS
from rig.session import BINARY, Session

__all__ = ["BINARY", "Session", "SessionTest"]


class SessionTest(unittest.TestCase):
    """Base for tests that start the program; every session is ended by its id."""

    def setUp(self):
        self.sessions = []

    def tearDown(self):
        for s in self.sessions:
            s.close()
        # Under the sanitizer builds a report is a failure, whatever the test saw.
        for s in self.sessions:
            for mark in (b"Sanitizer", b"runtime error:"):
                self.assertNotIn(mark, s.output, s.output[-3000:])

    def start(self, env=None, args=None):
        s = Session(env, args)
        self.sessions.append(s)
        return s

    def start_nosound(self, env=None):
        """Starts the program with the NoSound output and its only driver, and
        waits for the help lines."""
        s = self.start(env)
        s.expect(PROMPT + "\r\n")
        s.send("4")
        s.expect("NoSound Driver list")
        s.send("1")
        s.expect(HELP_END)
        return s

    def assert_sound_back(self, recording, answered):
        """The sound of `recording` came back within 2 s of its server
        answering at `answered` (s, monotonic); returns its first period."""
        back = recording.sounding()
        self.assertLess(back, len(recording.starts), "no sound after the restart")
        back_s = recording.starts[back] - answered
        self.assertLess(back_s, 2.0, "back %.3f s after the server answered" % back_s)
        return back

    def assert_key_answered(self, s):
        """A key that changes nothing gives its status block, whatever the
        sound server is doing."""
        before = s.output.count(STATUS.encode())
        s.send("!")
        end = time.monotonic() + 10
        while s.output.count(STATUS.encode()) == before and time.monotonic() < end:
            s.read_available(0.1)
        self.assertEqual(s.output.count(STATUS.encode()), before + 1)
