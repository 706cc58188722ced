# SPDX-License-Identifier: MIT
"""A JACK server that goes and comes back at another rate, as the program's
JACK layer meets it, alone in tests/tools/jack_layer_drill (named by
SCOPESYNTH_JACK_LAYER_DRILL): the back-end lists and opens again from a
thread that is not the main thread, on a new client at the new rate, and the
MIDI input comes back by itself."""

import os
import subprocess
import time
import unittest

from rig.audio import JackServer
from test_job_control import playing_connections
from test_midi import Keyboard

# A server name of this file's own.
SERVER = "scopesynth_restart"


class JackRestart(unittest.TestCase):
    def start_server(self, rate):
        self.server = JackServer(rate, SERVER, sync=True)
        self.addCleanup(self.server.stop)

    def keyboard(self):
        """A keyboard on the server, once the drill's input is connected to it."""
        kb = Keyboard(self.server.env)
        self.addCleanup(kb.kill)
        kb.wait_connected()
        return kb

    def ask(self, command):
        self.drill.stdin.write(command.encode() + b"\n")
        self.drill.stdin.flush()
        return self.drill.stdout.readline().decode().strip()

    def wait_for(self, command, answer):
        end = time.monotonic() + 5
        while (got := self.ask(command)) != answer:
            self.assertLess(time.monotonic(), end, "%r: %r, not %r" % (command, got, answer))
            time.sleep(0.05)

    def test_the_layer_plays_and_hears_again_after_a_restart_at_another_rate(self):
        self.start_server(44100)
        drill = [os.environ["SCOPESYNTH_JACK_LAYER_DRILL"]]
        self.drill = subprocess.Popen(drill, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=self.server.env)
        self.addCleanup(lambda: (self.drill.kill(), self.drill.wait(), self.drill.stdout.close(), self.drill.stdin.close()))
        self.assertEqual(self.drill.stdout.readline(), b"ready\n")
        kb = self.keyboard()
        self.assertEqual(self.ask("open system"), "opened 1024")
        kb.send("90 45 64")
        self.wait_for("midi", "midi 69")

        self.server.stop()
        kb.kill()
        self.wait_for("state", "failed")
        self.assertEqual(self.ask("open system"), "failed")
        self.start_server(48000)
        # midi_in is back by itself, on a new client, and connected to a
        # keyboard that came with the new server.
        kb = self.keyboard()
        kb.send("90 48 64")
        self.wait_for("midi", "midi 72")
        # A period of 1024 frames at 48 kHz is 941 of the stream's at
        # 44.1 kHz: the converter goes to the new rate.
        self.assertEqual(self.ask("open system"), "opened 941")
        self.assertEqual(self.ask("state"), "playing")
        playing = {"scopesynth:out_1": ["system:playback_1"], "scopesynth:out_2": ["system:playback_2"]}
        self.assertEqual(playing_connections(self.server), playing)
        self.drill.stdin.close()
        self.assertEqual(self.drill.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
