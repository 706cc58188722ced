# SPDX-License-Identifier: MIT
"""A sound server that goes away under the playing program and comes back:
killed and started again (at the same rate, then another), stopped for two
seconds, and reached through an ALSA plug. The program plays on (keys and
status blocks go on), and its sound comes back by itself, the stream
unbroken from the frame where it resumed."""

import array
import os
import signal
import time
import unittest

from rig.audio import read_stats
from rig.program import HELP_END, RATE
from rig.recording import Recording
from test_audio_capture import CaptureRig, median_pitch, start_patch_samples


def square_stream(seconds):
    """The start patch's carrier for `seconds` at 44.1 kHz, as 16-bit bytes."""
    return array.array("h", start_patch_samples(int(seconds * RATE), {})).tobytes()


def silent_runs(heard):
    """The runs of silence longer than the carrier's own (its zero runs last
    17 frames), as (first frame, frame after the run)."""
    runs, start = [], None
    for i, v in enumerate(list(heard) + [1]):
        if not v and start is None:
            start = i
        elif v and start is not None:
            if i - start > 100:
                runs.append((start, i))
            start = None
    return runs


def resumed_at(heard):
    """The first sounding frame after the last long silence that sound
    follows: where the stream resumed. None without sound."""
    runs = [run for run in silent_runs(heard) if run[1] < len(heard)]
    start = runs[-1][1] if runs else 0
    return next((i for i in range(start, len(heard)) if heard[i]), None)


def find_frames(stream, frames):
    """Where the 16-bit `frames` stand in `stream`, whole frames only; -1 if nowhere."""
    at = stream.find(frames)
    while at > 0 and at % 2:
        at = stream.find(frames, at + 1)
    return at


class ServerRestart(CaptureRig):
    server_name = "scopesynth_comeback"
    # The recording is held to the stream frame for frame: a server at
    # normal priority on a busy machine would skip the recorder's late
    # cycles, and leave their frames out of it, unless it waits.
    server_sync = True

    def start_program(self, output_key, output_name, driver):
        s = self.start_with_driver(output_key, output_name, driver)
        s.expect(HELP_END, timeout=20)
        return s

    def assert_ended(self, s, status):
        self.assertEqual(s.wait(), status, s.output[-500:])
        self.assertTrue(s.terminal_restored())

    def record_after_restart(self, s, rate, seconds=3.0):
        """Starts the server again at `rate` and records what it plays for
        `seconds`, keys still answered; the left samples."""
        self.start_server(rate)
        path = os.path.join(self.home, "recording")
        recorder = self.start_recorder(path)
        for _ in range(int(seconds / 0.5)):
            self.assert_key_answered(s)
            time.sleep(0.5)
        self.stop_recorder(recorder)
        return Recording(path).left

    def assert_back_in_time_and_unbroken(self, s, heard):
        """The sound came back within 2 s of the server answering, and from
        there on is the model's stream, frame for frame, from wherever it
        resumed: no hole, no frame twice."""
        first = resumed_at(heard)
        self.assertIsNotNone(first, "no sound after the restart")
        if first / RATE >= 2.0:
            silent = [(round(a / RATE, 3), round(b / RATE, 3)) for a, b in silent_runs(heard)]
            self.fail_with_figures(s, "back only %.3f s into the recording, silent from and to (s) %s"
                                   % (first / RATE, silent))
        heard = heard[first:].tobytes()
        model = square_stream(self.played_s + 5)
        if find_frames(model, heard) < 0:
            # How far the sound follows the stream, for the report: the
            # longest start of it found anywhere in the model.
            good, bad = 0, len(heard) // 2
            while bad - good > 1:
                mid = (good + bad) // 2
                good, bad = (mid, bad) if find_frames(model, heard[: 2 * mid]) >= 0 else (good, mid)
            self.fail_with_figures(s, "the sound follows the stream for %d of its %d frames after it came back"
                                   % (good, len(heard) // 2))

    def fail_with_figures(self, s, message):
        """Fails with `message` and the program's figures, written as it ends."""
        s.signal(signal.SIGTERM)
        s.wait()
        self.fail("%s; %s" % (message, read_stats(self.stats)))

    def restart_drill(self, output_key, output_name, driver, rates):
        self.start_server(RATE)
        started = time.monotonic()
        s = self.start_program(output_key, output_name, driver)
        for rate in rates:
            time.sleep(1.0)
            self.server.stop()
            self.assert_key_answered(s)
            time.sleep(0.5)
            heard = self.record_after_restart(s, rate)
            self.played_s = time.monotonic() - started
            if rate == RATE:
                self.assert_back_in_time_and_unbroken(s, heard)
            else:
                # The converter follows the server's new rate: still 440 Hz.
                self.assertAlmostEqual(median_pitch(heard, rate), 440, delta=1)
        s.signal(signal.SIGTERM)
        self.assert_ended(s, 128 + signal.SIGTERM)
        stats = read_stats(self.stats)
        self.assertEqual(stats["outages"], len(rates))
        for n in range(1, len(rates) + 1):
            self.assertGreater(stats["outage_%d_s" % n], 0)

    def test_the_jack_output_comes_back_after_its_server_restarts_at_any_rate(self):
        self.restart_drill("3", "ASIO", "system", [RATE, 48000])

    def test_the_jack_output_comes_back_after_its_server_stops_for_two_seconds(self):
        self.start_server(RATE)
        started = time.monotonic()
        s = self.start_program("3", "ASIO", "system")
        path = os.path.join(self.home, "recording")
        recorder = self.start_recorder(path)
        time.sleep(1.0)
        self.server.proc.send_signal(signal.SIGSTOP)
        for _ in range(4):
            self.assert_key_answered(s)
            time.sleep(0.5)
        self.server.proc.send_signal(signal.SIGCONT)
        continued = time.monotonic()
        for _ in range(6):
            self.assert_key_answered(s)
            time.sleep(0.5)
        self.stop_recorder(recorder)
        self.played_s = time.monotonic() - started
        recording = Recording(path)
        after = next(i for i, t in enumerate(recording.starts) if t >= continued)
        self.assert_back_in_time_and_unbroken(s, recording.left[recording.firsts[after] :])
        s.signal(signal.SIGTERM)
        self.assert_ended(s, 128 + signal.SIGTERM)
        # Left for the clock after a second of the stop, and opened again.
        self.assertEqual(read_stats(self.stats)["outages"], 1)

    def test_an_alsa_plug_into_jack_comes_back_after_the_server_restarts(self):
        # The rig's ALSA device: a plug into the server (behind a file plugin).
        self.restart_drill("1", "Alsa", "scopesynth_capture", [RATE])


if __name__ == "__main__":
    unittest.main()
