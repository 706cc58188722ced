# SPDX-License-Identifier: MIT
"""A JACK server that goes and comes back, as the program's JACK layer meets
it: the back-end lists and opens again, on a new client and at the new
server's rate, from a thread that is not the main thread, and the MIDI input
comes back by itself. The layer runs alone, in tests/tools/jack_layer_drill
(named by SCOPESYNTH_JACK_LAYER_DRILL)."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from rig.audio import JackServer, probe
from rig.recording import Recording
from test_audio_capture import carrier_pitches
from test_midi import Keyboard

# A server name of this file's own.
SERVER = "scopesynth_restart"


class Drill:
    def __init__(self, env):
        self.proc = subprocess.Popen(
            [os.environ["SCOPESYNTH_JACK_LAYER_DRILL"]],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            env=env,
        )
        if self.proc.stdout.readline() != b"ready\n":
            raise AssertionError("the drill did not start")

    def ask(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().decode().strip()

    def close(self):
        self.proc.stdin.close()
        status = self.proc.wait(timeout=10)
        self.proc.stdout.close()
        return status

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def wait_until(what, holds, timeout=5):
    end = time.monotonic() + timeout
    while not holds():
        if time.monotonic() > end:
            raise AssertionError(what)
        time.sleep(0.05)


class JackRestart(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="scopesynth_restart_")
        self.addCleanup(shutil.rmtree, self.home)
        self.server = None
        self.addCleanup(lambda: self.server and self.server.stop())

    def start_server(self, rate):
        self.server = JackServer(rate, SERVER, sync=True)

    def keyboard(self):
        kb = Keyboard(self.server.env)
        self.addCleanup(kb.kill)
        kb.wait_connected()
        return kb

    def connections(self):
        listing = subprocess.run(["jack_lsp", "-c"], capture_output=True, env=self.server.env, timeout=10)
        found, port = {}, None
        for line in listing.stdout.decode().splitlines():
            if not line.startswith(" "):
                port = line
                found[port] = []
            else:
                found[port].append(line.strip())
        return found

    def assert_plays_440_hz(self, rate):
        """Records a second of what the sound card gets: the drill's 440 Hz
        square, converted to the server's `rate`."""
        path = os.path.join(self.home, "recording")
        recorder = subprocess.Popen(probe("record", path), stdout=subprocess.PIPE, env=self.server.env)
        self.assertEqual(recorder.stdout.readline(), b"recording\n")
        time.sleep(1.5)
        recorder.terminate()
        self.assertEqual(recorder.wait(timeout=10), 0)
        recorder.stdout.close()
        left = Recording(path).left
        heard = left[next(i for i, v in enumerate(left) if v) :]
        pitches = sorted(carrier_pitches(heard, rate))
        self.assertGreater(len(pitches), 5)
        self.assertAlmostEqual(pitches[len(pitches) // 2], 440.0, delta=1.0, msg=pitches)

    def test_the_layer_plays_and_hears_again_after_a_restart_at_another_rate(self):
        self.start_server(44100)
        drill = Drill(self.server.env)
        self.addCleanup(drill.kill)
        kb = self.keyboard()
        self.assertEqual(drill.ask("open system"), "opened")
        kb.send("90 45 64")
        wait_until("no note", lambda: drill.ask("midi") == "midi 69")

        self.server.stop()
        kb.kill()
        wait_until("the sink did not fail", lambda: drill.ask("state") == "failed")
        self.assertEqual(drill.ask("open system"), "failed")
        self.start_server(48000)

        # The MIDI input is back by itself: midi_in on a new client, and
        # connected to a keyboard that came with the new server.
        kb = self.keyboard()
        kb.send("90 48 64")
        wait_until("no note after the restart", lambda: drill.ask("midi") == "midi 72")
        # The output opens again, connected as before, and its converter
        # takes the new rate.
        self.assertEqual(drill.ask("open system"), "opened")
        self.assertEqual(drill.ask("state"), "playing")
        ports = self.connections()
        self.assertEqual(ports["scopesynth:out_1"], ["system:playback_1"])
        self.assertEqual(ports["scopesynth:out_2"], ["system:playback_2"])
        self.assertEqual(ports["scopesynth:midi_in"], ["keyboard:midi_out"])
        self.assert_plays_440_hz(48000)
        self.assertEqual(drill.close(), 0)


if __name__ == "__main__":
    unittest.main()
