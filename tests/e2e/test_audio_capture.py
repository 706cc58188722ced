# SPDX-License-Identifier: MIT
"""The stream as a sound device receives it: ALSA and JACK through PortAudio,
paced by a JACK server with a dummy backend, so no sound card is needed.

The test's own ~/.asoundrc (under a temporary HOME, on top of the system's
configuration) defines a `file` device that records every frame it is given
and passes it on to JACK, which takes it at the server's rate."""

import math
import os
import random
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from harness import SessionTest
from rig.audio import (
    SERVER,
    JackServer,
    choose_driver,
    probe,
    read_stats,
    write_asoundrc,
)
from rig.program import BLOCK_FRAMES, BLOCK_S, HELP_END, RATE
from rig.recording import Recording

ERROR_FORMAT = (
    "Error!\nSoundcard does not support the features needed for this soundsystem "
    "(16bit stereo output)\n"
)


def crlf(text):
    return text.replace("\n", "\r\n")


def read_frames(path):
    with open(path, "rb") as f:
        data = f.read()
    count = len(data) // 4
    samples = struct.unpack("<%dh" % (2 * count), data[: 4 * count])
    return samples[0::2], samples[1::2]


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def note_to_hz(note):
    """The carrier's frequency for `note`, computed in double and stored as a float."""
    return f32(2 ** ((note + 11) / 12) * 8.1757989)


def carrier_frame(position, hz, ampl):
    """One frame of the start patch's carrier, a three-level square, at `hz`
    from `position`: the new position and the sample."""
    position = f32(hz / RATE + position)
    if position > 1.0:
        position = f32(position - 3.0)
    s = f32(math.sin((position + 1.0) * 6.2831853))
    level = ampl if s > 0.5 else -ampl if s < -0.5 else 0.0
    return position, int(f32(level * 10000.0))


def start_patch_samples(count, amplitudes, frequencies=None):
    """The start patch's carrier, at 440 Hz, frame by frame as the program
    computes it, with the amplitude and frequency changing at the frames
    given: `amplitudes` and `frequencies` map a frame to the setting from
    that frame on."""
    frequencies = frequencies or {}
    position, ampl, hz, out = 0.0, 1.0, 440.0, []
    for frame in range(count):
        ampl = amplitudes.get(frame, ampl)
        hz = frequencies.get(frame, hz)
        position, sample = carrier_frame(position, hz, ampl)
        out.append(sample)
    return out


def carrier_pitches(heard, rate, edges=44):
    """The carrier's pitch (Hz) every `edges` rising edges (a tenth of a
    second at 440 Hz) of the recorded samples `heard`, in time order, from
    its edges placed between samples."""
    rising = [
        i - 1 + (5000 - heard[i - 1]) / (heard[i] - heard[i - 1])
        for i in range(1, len(heard))
        if heard[i - 1] < 5000 <= heard[i]
    ]
    return [edges * rate / (b - a) for a, b in zip(rising[::edges], rising[edges::edges])]


def median_pitch(heard, rate):
    """The carrier's median pitch (Hz) in `heard`, 0 without one: a tenth of
    a second in which the graph stalled and the recorder missed a cycle
    reads a few hertz high."""
    pitches = sorted(carrier_pitches(heard, rate))
    return pitches[len(pitches) // 2] if pitches else 0.0


class CaptureRig(SessionTest):
    """A JACK server of the test's own, and the program played through it
    from a temporary HOME whose ~/.asoundrc records what it plays. Each
    test file runs its server under a name of its own, since CTest runs
    them side by side."""

    server_name = SERVER
    server_sync = False

    def setUp(self):
        super().setUp()
        self.home = tempfile.mkdtemp(prefix="scopesynth_audio_")
        self.capture = os.path.join(self.home, "captured.raw")
        self.stats = os.path.join(self.home, "stats")
        write_asoundrc(self.home, self.capture)
        self.server = None

    def tearDown(self):
        # The server goes even when the base finds a sanitizer report: a
        # server left running keeps its name taken for every later run.
        try:
            super().tearDown()
        finally:
            if self.server:
                self.server.stop()
            shutil.rmtree(self.home)

    def start_server(self, rate):
        self.server = JackServer(rate, self.server_name, sync=self.server_sync)

    def start_with_driver(self, output_key, output_name, driver):
        """Runs the dialog up to the driver named `driver` of the output type
        chosen with `output_key`; returns the session."""
        s = self.start(
            {
                "HOME": self.home,
                "JACK_DEFAULT_SERVER": self.server_name,
                "DISPLAY": "",
                "SCOPESYNTH_AUDIO_STATS": self.stats,
            }
        )
        choose_driver(s, output_key, output_name, driver)
        return s

    def wait_reading(self, s, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            s.read_available(0.1)

    def play_for(self, s, seconds, last_line=(HELP_END + "\r\n").encode()):
        s.expect(HELP_END, timeout=20)
        self.wait_reading(s, seconds)
        s.signal(signal.SIGTERM)
        self.assertEqual(s.wait(), 128 + signal.SIGTERM)
        # Nothing after the help (or the last status block): the sound
        # libraries print nothing of their own while the stream runs and stops.
        self.assertTrue(s.output.endswith(last_line), s.output[-500:])

    def start_recorder(self, path):
        """Starts `jack_probe record` into `path`; returns it once it records.
        A recorder that does not start within 20 s fails the test rather
        than hanging it."""
        command = probe("record", path)
        recorder = subprocess.Popen(command, stdout=subprocess.PIPE, env=self.server.env)
        self.addCleanup(lambda: recorder.poll() is None and (recorder.kill(), recorder.wait()))
        self.assertTrue(select.select([recorder.stdout], [], [], 20)[0], "the recorder did not start")
        self.assertEqual(recorder.stdout.readline(), b"recording\n")
        return recorder

    def stop_recorder(self, recorder):
        # Before the program ends, whose end would be recorded as silence.
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0)
        recorder.stdout.close()


class AudioCapture(CaptureRig):
    def test_alsa_device_records_the_patch_to_the_bit_with_keys_inside_blocks(self):
        self.start_server(RATE)
        s = self.start_with_driver("1", "Alsa", "scopesynth_capture")
        s.expect(HELP_END, timeout=20)
        # Amplitude keys at random moments: 1.01 after "z", 1.00 after "s".
        rng = random.Random()
        for key in "zsz":
            self.wait_reading(s, rng.uniform(0.2, 0.5))
            s.send(key)
        self.play_for(s, 0.5, b"APhase [1.000]  \r\n")

        left, right = read_frames(self.capture)
        self.assertEqual(left, right)
        # The stream starts with 8 zero frames and then 10000; the device may
        # put up to a buffer of silence before it.
        first = next(i for i, v in enumerate(left) if v != 0)
        self.assertEqual(left[first], 10000)
        self.assertGreaterEqual(first, 8)
        self.assertLess(first, 8 + RATE // 10)
        stream = list(left[first - 8 :])
        # Each key shows at the first non-zero frame of its new level; every
        # frame, before and after, is the patch's own, none lost or repeated.
        changes, level = {}, 10000
        for frame, sample in enumerate(stream):
            if sample and abs(sample) != level:
                level = abs(sample)
                changes[frame] = level / 10000.0
        self.assertEqual(list(changes.values()), [1.01, 1.0, 1.01], sorted(set(stream)))
        amplitudes = {frame: f32(a) for frame, a in changes.items()}
        self.assertEqual(stream, start_patch_samples(len(stream), amplitudes))
        # The frames are computed just in time, so keys land inside blocks,
        # not only where a block of 8192 frames starts.
        self.assertTrue(any(frame % BLOCK_FRAMES > 300 for frame in changes), changes)
        # The server takes the frames at its rate: about two seconds of them,
        # where an unpaced device would have taken minutes.
        self.assertGreater(len(left), 1.0 * RATE)
        self.assertLess(len(left), 5.0 * RATE)

        stats = read_stats(self.stats)
        self.assertGreaterEqual(stats["callbacks"], len(left) // BLOCK_FRAMES)
        self.assertLess(stats["worst_latency_ms"], 300)

    def test_asio_plays_through_the_jack_server(self):
        self.start_server(RATE)
        s = self.start_with_driver("3", "ASIO", "system")
        # Two seconds, not one: under ThreadSanitizer on a busy machine the
        # JACK stream has taken over half a second to start.
        self.play_for(s, 2.0)
        stats = read_stats(self.stats)
        self.assertGreaterEqual(stats["callbacks"], 3)
        # Paced by the server, not by how fast the blocks can be computed.
        self.assertLess(stats["callbacks"], 5 * stats["elapsed_s"] / BLOCK_S)

    def test_the_stream_outlives_its_server(self):
        for output_key, output_name, driver in (
            ("1", "Alsa", "scopesynth_capture"),
            ("3", "ASIO", "system"),
        ):
            self.start_server(RATE)
            s = self.start_with_driver(output_key, output_name, driver)
            s.expect(HELP_END, timeout=20)
            self.wait_reading(s, 1.0)
            self.server.stop()
            # The stream goes on at real time without the device (so the
            # window keeps moving), and closing it needs no server.
            self.play_for(s, 3.0)
            stats = read_stats(self.stats)
            self.assertGreater(stats["callbacks"], stats["elapsed_s"] / BLOCK_S - 8)

    def test_asio_plays_at_the_rate_the_server_runs_at(self):
        # The stream's 44100 Hz frames, converted for a 48 kHz server: the
        # carrier at its pitch and level. What the server plays is recorded by
        # our own client. (Gaps are the soak's to count.)
        self.start_server(48000)
        recording = os.path.join(self.home, "recording")
        recorder = self.start_recorder(recording)
        s = self.start_with_driver("3", "ASIO", "system")
        s.expect(HELP_END, timeout=20)
        self.wait_reading(s, 2.0)
        self.stop_recorder(recorder)
        self.play_for(s, 0)

        left = Recording(recording).left
        heard = left[next(i for i, v in enumerate(left) if v) :]
        # A band-limited square overshoots its level of 10000 a little.
        self.assertTrue(10000 < max(heard) < 12000 and -12000 < min(heard) < -10000,
                        (max(heard), min(heard)))
        # The pitch of every tenth of a second; the median, since a server at
        # normal priority on a busy machine may skip a cycle now and then.
        pitches = sorted(carrier_pitches(heard, 48000))
        self.assertGreater(len(pitches), 10)
        self.assertAlmostEqual(pitches[len(pitches) // 2], 440.0, delta=0.5, msg=pitches)

    def test_an_alsa_jack_device_at_another_rate_is_a_format_error(self):
        # ALSA's jack PCM takes the server's rate only; a plug in front of it
        # (the capture device) would convert.
        self.start_server(48000)
        s = self.start_with_driver("1", "Alsa", "scopesynth_jack")
        s.expect(crlf(ERROR_FORMAT), timeout=20)
        self.assertEqual(s.wait(), 1)


if __name__ == "__main__":
    unittest.main()
