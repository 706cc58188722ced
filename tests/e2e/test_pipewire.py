# SPDX-License-Identifier: MIT
"""The real program on a headless PipeWire desktop, with the window open: the
ALSA output on `default` (pipewire-alsa) and the JACK output under pw-jack,
each recorded where the graph plays it, in the null sink; and each brought
back by itself after the desktop's servers restart under it.

The graph runs at 48000 Hz, as on a desktop. The silent periods once the sound has started are
counted and reported; the soak holds them."""

import os
import shutil
import signal
import tempfile
import time
import unittest

from harness import BINARY, SessionTest
from rig.audio import choose_driver, read_stats
from rig.pipewire import SINK_CLIENT, PipeWireSession, missing_programs
from rig.program import HELP_END, PROMPT
from rig.recording import Recording
from rig.xvfb import start_xvfb
from test_audio_capture import median_pitch
from test_midi import Keyboard, assert_moves_to_880_hz, status_blocks
from test_scope_window import NO_WINDOW_LINE

PLAY_S = 4.0
# The start patch's carrier, a three-level square at 10000, and how far the
# graph's resampler may move its level (it rings at the square's edges).
LEVEL = 10000
LEVEL_TOLERANCE = 200


def carrier_level(left):
    """The median of the samples at the carrier's two outer levels."""
    outer = sorted(abs(x) for x in left if abs(x) > LEVEL // 2)
    return outer[len(outer) // 2] if outer else 0


@unittest.skipIf(missing_programs(), "no PipeWire session here: %s missing" % missing_programs())
class PipeWireDesktop(SessionTest):
    def setUp(self):
        super().setUp()
        self.dir = tempfile.mkdtemp(prefix="scopesynth_desktop_")
        self.addCleanup(shutil.rmtree, self.dir)
        self.pipewire = PipeWireSession()
        self.addCleanup(self.pipewire.stop)
        xvfb, self.display = start_xvfb(24)
        self.addCleanup(lambda: (xvfb.kill(), xvfb.wait()))

    def play_recorded(self, output_key, output_name, driver, wrapper=(), play=None):
        """Plays the start patch for PLAY_S with the window open, recording
        what reaches the sink, or has `play` play the session; holds the
        program's clean exit and returns the recording."""
        path = os.path.join(self.dir, output_name)
        recorder = self.pipewire.record(path, os.environ["SCOPESYNTH_JACK_PROBE"])
        s = self.start_playing(output_key, output_name, driver, wrapper)
        (play or self.wait_reading)(s)
        quantum, rate = self.pipewire.graph()
        recording = self.end_recorded(s, recorder, path)
        gaps, stalls = recording.silences()
        print("%s: graph at %d frames, %d Hz; silent periods at %s s, after the graph's "
              "stalls at %s s" % (output_name, quantum, rate, gaps, stalls))
        return recording, rate

    def start_playing(self, output_key, output_name, driver, wrapper, **env):
        """The program, its window open, playing on `driver`."""
        env = dict(self.pipewire.env, DISPLAY=self.display, HOME=self.dir, **env)
        s = self.start(env, [*wrapper, BINARY])
        choose_driver(s, output_key, output_name, driver)
        s.expect(HELP_END, timeout=20)
        self.assertNotIn(NO_WINDOW_LINE, s.output)
        return s

    def end_recorded(self, s, recorder, path):
        """Stops `recorder` and then the program, whose end would sound as
        silence; holds the program's clean exit and returns the recording."""
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0, "the recording is incomplete")
        s.signal(signal.SIGTERM)
        self.assertEqual(s.wait(timeout=20), 128 + signal.SIGTERM, s.output[-500:])
        self.assertTrue(s.terminal_restored())
        return Recording(path)

    def wait_reading(self, s, seconds=PLAY_S):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            s.read_available(0.1)

    def assert_plays_the_patch(self, recording, rate):
        sounding = sum(len(p) for p in recording.periods() if any(p))
        # Most of the run was heard.
        self.assertGreater(sounding, (PLAY_S - 1.5) * rate)
        self.assertAlmostEqual(carrier_level(recording.left), LEVEL, delta=LEVEL_TOLERANCE)
        # The silent periods were counted above: gaps are a matter of time,
        # which a shared machine can miss by chance, and the soak's to hold.

    def test_alsa_lists_default_and_not_the_pulse_plugin_to_the_same_server(self):
        s = self.start(dict(self.pipewire.env, HOME=self.dir))
        s.expect(PROMPT)
        s.send("1")
        listing = s.expect("Alsa Driver list", timeout=20)
        while s.output.count(PROMPT.encode()) < 2:
            s.expect(listing + PROMPT.encode(), timeout=20)
        listing = s.output.decode().split("\r\n")
        self.assertIn("1 - default", listing)
        self.assertFalse([line for line in listing if line.endswith(" - pulse")], listing)
        s.send("\x1b")
        self.assertEqual(s.wait(timeout=20), 0)

    def test_alsa_default_reaches_the_sink(self):
        self.assert_plays_the_patch(*self.play_recorded("1", "Alsa", "default"))

    def test_jack_output_under_pw_jack_reaches_the_sink(self):
        recording, rate = self.play_recorded("3", "ASIO", SINK_CLIENT, ("pw-jack",))
        self.assert_plays_the_patch(recording, rate)

    def test_a_jack_keyboard_plays_the_jack_output_under_pw_jack(self):
        keyboard = Keyboard(self.pipewire.env, wrapper=("pw-jack",))
        self.addCleanup(keyboard.kill)

        def play(s):
            keyboard.wait_connected()
            self.wait_reading(s, PLAY_S / 2)
            keyboard.send("90 51 64")
            self.wait_reading(s, PLAY_S / 2)
            self.assertEqual(status_blocks(s.output), [(70, "1.000")])

        recording, rate = self.play_recorded("3", "ASIO", SINK_CLIENT, ("pw-jack",), play)
        keyboard.close()
        assert_moves_to_880_hz(self, recording.left[recording.firsts[recording.sounding()] :], rate)

    def restart_drill(self, output_key, output_name, driver, wrapper=()):
        """Plays, restarts PipeWire, WirePlumber and the PulseAudio server
        under the program as a player does, and records the graph after
        it: keys answered throughout, the program never ends, and the
        carrier back at its pitch and level within 2 s of the servers
        answering again."""
        stats = os.path.join(self.dir, "stats")
        s = self.start_playing(output_key, output_name, driver, wrapper, SCOPESYNTH_AUDIO_STATS=stats)
        self.wait_reading(s, 1.0)
        self.pipewire.stop_servers()
        self.assert_key_answered(s)
        self.wait_reading(s, 0.5)
        answered = self.pipewire.start_servers()
        path = os.path.join(self.dir, output_name)
        recorder = self.pipewire.record(path, os.environ["SCOPESYNTH_JACK_PROBE"])
        for _ in range(6):
            self.assert_key_answered(s)
            self.wait_reading(s, 0.5)
        recording = self.end_recorded(s, recorder, path)
        heard = recording.left[recording.firsts[self.assert_sound_back(recording, answered)] :]
        # At the graph's rate, still 440 Hz.
        self.assertAlmostEqual(median_pitch(heard, self.pipewire.rate), 440, delta=1)
        self.assertAlmostEqual(carrier_level(heard), LEVEL, delta=LEVEL_TOLERANCE)
        self.assertEqual(read_stats(stats)["outages"], 1)

    def test_alsa_default_comes_back_after_pipewire_restarts(self):
        self.restart_drill("1", "Alsa", "default")

    def test_jack_output_under_pw_jack_comes_back_after_pipewire_restarts(self):
        self.restart_drill("3", "ASIO", SINK_CLIENT, ("pw-jack",))


if __name__ == "__main__":
    unittest.main()
