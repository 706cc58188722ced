# SPDX-License-Identifier: MIT
"""The program as a job of an interactive shell: Ctrl-Z hands the terminal
back to the shell, and fg brings the keys back at once.

The shell is the session leader with the pseudo-terminal as its controlling
terminal, and the program one of its jobs: a program that leads its own
session is never stopped by Ctrl-Z."""

import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

from harness import BINARY, Session, SessionTest
from rig.audio import JackServer, choose_driver, probe
from rig.program import BLOCK_S, HELP_END
from rig.recording import Recording

PROMPT = "ready> "
# A JACK server name of this file's own.
JACK_SERVER = "scopesynth_jobs"


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

    def test_a_job_stopped_on_jack_leaves_the_graph_until_fg(self):
        # A client frozen in the graph would hold up the server, which waits
        # for it (--sync), and every other client with it: the recorder here.
        home = self.enterContext(tempfile.TemporaryDirectory())
        log = os.path.join(home, "jackd.log")
        server = JackServer(44100, JACK_SERVER, sync=True, log=log)
        self.addCleanup(server.stop)
        recording = os.path.join(home, "recording")
        recorder = subprocess.Popen(probe("record", recording), stdout=subprocess.PIPE, env=server.env)
        self.addCleanup(recorder.stdout.close)
        self.addCleanup(lambda: recorder.poll() is None and (recorder.kill(), recorder.wait()))
        self.assertEqual(recorder.stdout.readline(), b"recording\n")
        s = self.shell()
        s.output = b""
        s.send("JACK_DEFAULT_SERVER=%s DISPLAY= %s\r" % (JACK_SERVER, BINARY))
        choose_driver(s, "3", "ASIO", "system")
        s.expect(HELP_END, timeout=20)
        wait_for_connections(server)

        s.send("\x1a")
        s.expect("Stopped")
        stopped_at = time.monotonic()
        logged = os.path.getsize(log)
        s.expect(PROMPT)
        time.sleep(2)
        self.assertEqual(playing_connections(server), {}, "still in the graph while stopped")
        # Not a line from the server: a client it waits for in vain makes it
        # report an xrun, or an error, every cycle. (A recorder late on a
        # busy machine is not the program's doing, nor the dummy driver's
        # own timer waking late.)
        with open(log, "rb") as f:
            f.seek(logged)
            others = (b"jack_probe", b"JackTimedDriver::Process XRun")
            self.assertEqual([line for line in f if not any(o in line for o in others)], [])
        s.output = b""
        s.send("fg\r")
        continued_at = time.monotonic()
        s.expect(BINARY)
        wait_for_connections(server)
        s.send("a")
        s.expect("Note [59]", timeout=1)
        time.sleep(1)
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0)
        s.send("\x03")
        s.expect(PROMPT)

        heard = Recording(recording)
        # The recorder's cycles ran on at the server's pace while the program
        # was stopped: 1024 frames at 44100 Hz, 43 a second.
        during = [t for t in heard.starts if stopped_at + 0.2 < t < continued_at - 0.2]
        self.assertGreater(len(during), 0.8 * 43 * (continued_at - stopped_at - 0.4))
        # And the program plays again after fg.
        periods = heard.periods()
        after = [i for i, t in enumerate(heard.starts) if t > continued_at + 0.5]
        self.assertTrue(after and all(any(periods[i]) for i in after), len(after))


def playing_connections(server):
    """The connections of the program's outputs to the sound card, by port."""
    listing = subprocess.run(probe("connections"), capture_output=True, env=server.env, timeout=20)
    if listing.returncode:
        raise AssertionError("the server takes no client: %r" % listing.stderr)
    found, port = {}, None
    for line in listing.stdout.decode().splitlines():
        if not line.startswith(" "):
            port = line
        elif port.startswith("scopesynth:out_") and line.strip().startswith("system:"):
            found.setdefault(port, []).append(line.strip())
    return found


def wait_for_connections(server, timeout=5):
    """Waits until the program's two outputs feed the sound card's two inputs."""
    playing = {"scopesynth:out_1": ["system:playback_1"], "scopesynth:out_2": ["system:playback_2"]}
    end = time.monotonic() + timeout
    while playing_connections(server) != playing:
        if time.monotonic() > end:
            raise AssertionError("not playing: %r" % playing_connections(server))
        time.sleep(0.1)


if __name__ == "__main__":
    unittest.main()
