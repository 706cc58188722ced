# SPDX-License-Identifier: MIT
"""The program as a job of an interactive shell: Ctrl-Z hands the terminal
back to the shell, and fg brings the keys back at once.

The shell is the session leader with the pseudo-terminal as its controlling
terminal, and the program one of its jobs: a program that leads its own
session is never stopped by Ctrl-Z."""

import os
import re
import signal
import tempfile
import time
import unittest

from harness import BINARY, Session, SessionTest
from rig.program import BLOCK_S, HELP_END

PROMPT = "ready> "


class Shell(Session):
    """An interactive bash on the terminal. `output` is cleared before each
    step; `log` keeps everything, for the sanitizer reports."""

    def __init__(self):
        self.log = b""
        super().__init__({"PS1": PROMPT, "DISPLAY": ""}, ["bash", "--norc", "--noprofile", "-i"])
        self.expect(PROMPT)

    def read_available(self, timeout=0.0):
        seen = len(self.output)
        super().read_available(timeout)
        self.log += self.output[seen:]

    def run(self, command):
        """Runs a command at the prompt; returns what the terminal shows from
        its echo to the next prompt."""
        self.output = b""
        self.send(command + "\r")
        return self.expect(PROMPT)

    def settings(self):
        """The terminal's settings as a command run by the shell finds them."""
        return re.search(rb"<([0-9a-f:]+)>", self.run('echo "<$(stty -g)>"')).group(1)

    def jobs(self):
        """The process ids of the shell's jobs: its children."""
        path = "/proc/%d/task/%d/children" % (self.proc.pid, self.proc.pid)
        try:
            with open(path) as f:
                return [int(pid) for pid in f.read().split()]
        except OSError:
            return []

    def close(self):
        for pid in self.jobs():
            os.kill(pid, signal.SIGKILL)
        super().close()
        self.output = self.log


class StopAndContinue(SessionTest):
    def shell(self):
        s = Shell()
        self.sessions.append(s)
        return s

    def test_ctrl_z_gives_the_shell_a_sane_terminal_and_fg_brings_the_keys_back(self):
        s = self.shell()
        before = s.settings()
        stats = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), "stats")
        s.output = b""
        s.send("SCOPESYNTH_AUDIO_STATS=%s %s\r" % (stats, BINARY))
        s.expect("ESC to quit")
        s.send("41")
        s.expect(HELP_END)
        s.send("a")
        s.expect("Note [59]")

        s.send("\x1a")
        s.expect("Stopped")
        stopped_at = time.monotonic()
        s.expect(PROMPT)
        self.assertEqual(s.settings(), before)
        time.sleep(3)  # long enough that a stream making up for it would show
        s.output = b""
        s.send("fg\r")
        stopped_s = time.monotonic() - stopped_at
        s.expect(BINARY)
        s.send("a")
        s.expect("Note [60]", timeout=1)
        time.sleep(1.5)  # long enough that a stream left stopped would show

        s.send("\x03")
        s.expect(PROMPT)
        self.assertIn(b"status 130.", s.run("echo status $?."))
        self.assertEqual(s.settings(), before)

        with open(stats) as f:
            figures = dict(line.split() for line in f)
        running_s = float(figures["elapsed_s"]) - stopped_s
        # The first block is computed at the start, then one a block's time.
        self.assertAlmostEqual(int(figures["callbacks"]), running_s / BLOCK_S + 1, delta=3)

    def test_a_job_sent_to_the_background_waits_stopped_for_fg_and_its_keys(self):
        s = self.shell()
        before = s.settings()
        s.output = b""
        s.send(BINARY + "\r")
        s.expect("ESC to quit")
        s.send("\x1a")  # while the set-up dialog waits for a key
        s.expect("Stopped")
        s.expect(PROMPT)
        s.run("bg")
        # In the background it cannot take keys: it stops again, so that fg
        # continues it and it learns that the keys are its own again.
        time.sleep(0.5)
        self.assertIn(b"Stopped", s.run("jobs"))
        self.assertEqual(s.settings(), before)
        s.output = b""
        s.send("fg\r")
        s.expect(BINARY)
        s.send("4")
        s.expect("NoSound Driver list", timeout=1)

        # A stop that the program cannot see coming: the shell resets the
        # terminal, and the continue alone must make it raw again.
        os.kill(s.jobs()[0], signal.SIGSTOP)
        s.expect("Stopped")
        s.expect(PROMPT)
        s.output = b""
        s.send("fg\r")
        s.expect(BINARY)
        s.send("\x1b")
        s.expect(PROMPT)
        self.assertIn(b"status 0.", s.run("echo status $?."))
        self.assertEqual(s.settings(), before)


if __name__ == "__main__":
    unittest.main()
