# SPDX-License-Identifier: MIT
"""Failure drills on the real binary: a sound device that has gone by the time
it is chosen, signals while the stream and the window run at full speed,
standard output that nobody reads or that is closed, and a sound server that
goes away under the playing program and comes back."""

import array
import fcntl
import os
import random
import re
import select
import shutil
import signal
import subprocess
import tempfile
import termios
import time
import unittest

from harness import BINARY, Session, SessionTest
from rig.audio import JackServer, choose_driver, probe, read_stats, write_asoundrc
from rig.program import BLOCK_S, HELP_END, KEYS, PROMPT, RATE
from rig.recording import Recording
from test_audio_capture import carrier_pitches, start_patch_samples
from rig.xvfb import start_xvfb

# A server name of its own, so that the drills can run beside the other
# users of the rig.
SERVER = "scopesynth_drills"


class Drill(SessionTest):
    def setUp(self):
        super().setUp()
        self.home = tempfile.mkdtemp(prefix="scopesynth_drills_")
        self.addCleanup(shutil.rmtree, self.home)
        self.stats = os.path.join(self.home, "stats")

    def assert_ended(self, s, status):
        self.assertEqual(s.wait(), status, s.output[-500:])
        self.assertNotIn(b"Segmentation", s.output)
        self.assertTrue(s.terminal_restored())


class DeviceGone(Drill):
    def test_a_device_gone_between_listing_and_choice_ends_with_an_init_error(self):
        # The listed device's server stops while the driver prompt waits. The
        # rig's capture device is listed only while its JACK slave opens.
        write_asoundrc(self.home, os.devnull)
        for output_key, output_name, driver in (("1", "Alsa", "scopesynth_capture"),
                                                ("3", "ASIO", "system")):
            with self.subTest(output=output_name):
                server = JackServer(RATE, SERVER)
                self.addCleanup(server.stop)
                s = self.start({"HOME": self.home, "JACK_DEFAULT_SERVER": SERVER, "DISPLAY": ""})
                s.expect(PROMPT)
                s.send(output_key)
                s.expect(output_name + " Driver list", timeout=20)
                listing = s.expect(" - %s\r\n" % driver, timeout=20).decode()
                number = int(re.findall(r"(\d+) - %s\r\n" % re.escape(driver), listing)[0])
                server.stop()
                s.send(chr(0x30 + number))
                self.assert_ended(s, 1)
                self.assertTrue(s.output.endswith(b"ESC to quit\r\nError!\r\n"
                                                  b"Error initializing output device.\r\n"),
                                s.output[-500:])


class SignalsAtFullSpeed(Drill):
    RUNS = 50

    def test_every_stop_signal_ends_the_program_cleanly_at_any_moment(self):
        # One server for all runs. Most signals come within half a second of
        # the help, when the stream may not even have started, the rest later.
        xvfb, display = start_xvfb(24)
        self.addCleanup(lambda: (xvfb.kill(), xvfb.wait()))
        seed = random.randrange(1 << 30)
        rng = random.Random(seed)
        for run in range(self.RUNS):
            sig = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)[run % 3]
            delay = rng.uniform(0, 0.5) if run % 5 else rng.uniform(0.5, 1.0)
            with self.subTest(run=run, signal=sig.name, delay=delay, seed=seed):
                s = self.start_nosound({"DISPLAY": display})
                end = time.monotonic() + delay
                while time.monotonic() < end:
                    s.send(rng.choice(KEYS))
                    s.read_available(0.005)
                s.signal(sig)
                self.assert_ended(s, 128 + sig)


class OutputNobodyReads(Drill):
    def read_until(self, fd, text, timeout=10.0):
        data, end = b"", time.monotonic() + timeout
        while text not in data and time.monotonic() < end:
            if select.select([fd], [], [], 0.1)[0]:
                data += os.read(fd, 65536)
        self.assertIn(text, data)

    def test_the_stream_runs_on_and_a_signal_still_ends_the_program(self):
        # A pipe that fills up blocks the main thread in printf; a closed
        # output makes printf fail. Neither may stop the stream, and SIGTERM
        # must still end the program through its exit handlers, one of which
        # writes the stream's figures.
        fifo = os.path.join(self.home, "out")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        for output, redirect in (("full pipe", '>"$1"'), ("closed", ">&-")):
            with self.subTest(output=output):
                s = Session({"DISPLAY": "", "SCOPESYNTH_AUDIO_STATS": self.stats},
                            ["sh", "-c", 'exec "$0" ' + redirect, BINARY, fifo])
                self.sessions.append(s)
                s.send("41")
                if output == "full pipe":
                    self.read_until(reader, (HELP_END + "\n").encode())
                s.send("a" * 400)  # far more status blocks than the pipe holds
                s.read_available(2.5)
                if output == "full pipe":
                    # Filled as far as blocks of that size go; the rest of
                    # the 400 wait behind a printf.
                    held = fcntl.ioctl(reader, termios.FIONREAD, b"\0\0\0\0")
                    pipe_size = fcntl.fcntl(reader, fcntl.F_GETPIPE_SZ)
                    self.assertGreater(int.from_bytes(held, "little"), pipe_size * 3 // 4)
                s.signal(signal.SIGTERM)
                self.assert_ended(s, 128 + signal.SIGTERM)
                stats = read_stats(self.stats)
                self.assertGreater(stats["elapsed_s"], 2.0)
                self.assertAlmostEqual(stats["callbacks"], stats["elapsed_s"] / BLOCK_S, delta=2)


if __name__ == "__main__":
    unittest.main()


# A device that leads through ALSA's plug into the drills' JACK server, and
# is opened again by name when the server comes back.
PLUG_ASOUNDRC = """
pcm.scopesynth_plug {
    type plug
    slave.pcm { type jack playback_ports { 0 system:playback_1 1 system:playback_2 } }
}
"""


def square_stream(seconds):
    """The start patch's carrier for `seconds` at 44.1 kHz, as 16-bit bytes."""
    return array.array("h", start_patch_samples(int(seconds * RATE), {})).tobytes()


def resumed_at(heard):
    """The first sounding frame after the last silence longer than any of
    the carrier's own (its zero runs last 17 frames): where the stream
    resumed. None without sound."""
    silent = 0
    at = None
    for i, v in enumerate(heard):
        if v:
            if at is None or silent > 100:
                at = i
            silent = 0
        else:
            silent += 1
    return at


def find_frames(stream, frames):
    """Where the 16-bit `frames` stand in `stream`, whole frames only; -1 if nowhere."""
    at = stream.find(frames)
    while at % 2:
        at = stream.find(frames, at + 1)
    return at


class ServerRestart(Drill):
    """The sound server goes away under the playing program and comes back:
    the program plays on (keys and status blocks go on), and its sound comes
    back by itself, the stream unbroken from the frame where it resumed."""

    server_name = "scopesynth_comeback"

    def setUp(self):
        super().setUp()
        self.server = None
        self.addCleanup(lambda: self.server and self.server.stop())
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(PLUG_ASOUNDRC)

    def start_program(self, output_key, output_name, driver):
        s = self.start(
            {
                "HOME": self.home,
                "JACK_DEFAULT_SERVER": self.server_name,
                "DISPLAY": "",
                "SCOPESYNTH_AUDIO_STATS": self.stats,
            }
        )
        choose_driver(s, output_key, output_name, driver)
        s.expect(HELP_END, timeout=20)
        return s

    def key_answered(self, s):
        """A key that changes nothing gives its status block, server or not."""
        before = s.output.count(b"Note [")
        s.send("!")
        end = time.monotonic() + 10
        while s.output.count(b"Note [") == before and time.monotonic() < end:
            s.read_available(0.1)
        self.assertEqual(s.output.count(b"Note ["), before + 1)

    def record_after_restart(self, s, rate, seconds=3.0):
        """Starts the server again at `rate` and records what it plays for
        `seconds`, keys still answered; the left samples."""
        self.server = JackServer(rate, self.server_name)
        path = os.path.join(self.home, "recording")
        recorder = subprocess.Popen(probe("record", path), stdout=subprocess.PIPE, env=self.server.env)
        self.addCleanup(lambda: recorder.poll() is None and (recorder.kill(), recorder.wait()))
        self.assertEqual(recorder.stdout.readline(), b"recording\n")
        for _ in range(int(seconds / 0.5)):
            self.key_answered(s)
            time.sleep(0.5)
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0)
        recorder.stdout.close()
        return Recording(path).left

    def assert_back_in_time_and_unbroken(self, s, heard):
        """The sound came back within 2 s of the server answering, and from
        there on is the model's stream, frame for frame, from wherever it
        resumed: no hole, no frame twice."""
        first = resumed_at(heard)
        self.assertIsNotNone(first, "no sound after the restart")
        self.assertLess(first / RATE, 2.0)
        heard = heard[first:].tobytes()
        model = square_stream(self.played_s + 5)
        if find_frames(model, heard) < 0:
            # How far the sound follows the stream, for the report: the
            # longest start of it found anywhere in the model.
            good, bad = 0, len(heard) // 2
            while bad - good > 1:
                mid = (good + bad) // 2
                good, bad = (mid, bad) if find_frames(model, heard[: 2 * mid]) >= 0 else (good, mid)
            s.signal(signal.SIGTERM)
            s.wait()
            self.fail("the sound follows the stream for %d of its %d frames after it came back; %s"
                      % (good, len(heard) // 2, read_stats(self.stats)))

    def restart_drill(self, output_key, output_name, driver, rates):
        self.server = JackServer(RATE, self.server_name)
        started = time.monotonic()
        s = self.start_program(output_key, output_name, driver)
        for rate in rates:
            time.sleep(1.0)
            self.server.stop()
            self.key_answered(s)
            time.sleep(0.5)
            heard = self.record_after_restart(s, rate)
            self.played_s = time.monotonic() - started
            if rate == RATE:
                self.assert_back_in_time_and_unbroken(s, heard)
            else:
                # The converter follows the server's new rate: still 440 Hz.
                pitches = carrier_pitches(heard, rate)
                self.assertTrue(pitches and all(abs(p - 440) < 1 for p in pitches[-5:]), pitches)
        s.signal(signal.SIGTERM)
        self.assert_ended(s, 128 + signal.SIGTERM)
        stats = read_stats(self.stats)
        self.assertEqual(stats["outages"], len(rates))
        for n in range(1, len(rates) + 1):
            self.assertGreater(stats["outage_%d_s" % n], 0)

    def test_the_jack_output_comes_back_after_its_server_restarts_at_any_rate(self):
        self.restart_drill("3", "ASIO", "system", [RATE, 48000])

    def test_the_jack_output_comes_back_after_its_server_stops_for_two_seconds(self):
        self.server = JackServer(RATE, self.server_name)
        started = time.monotonic()
        s = self.start_program("3", "ASIO", "system")
        path = os.path.join(self.home, "recording")
        recorder = subprocess.Popen(probe("record", path), stdout=subprocess.PIPE, env=self.server.env)
        self.addCleanup(lambda: recorder.poll() is None and (recorder.kill(), recorder.wait()))
        self.assertEqual(recorder.stdout.readline(), b"recording\n")
        time.sleep(1.0)
        self.server.proc.send_signal(signal.SIGSTOP)
        for _ in range(4):
            self.key_answered(s)
            time.sleep(0.5)
        self.server.proc.send_signal(signal.SIGCONT)
        continued = time.monotonic()
        for _ in range(6):
            self.key_answered(s)
            time.sleep(0.5)
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0)
        recorder.stdout.close()
        self.played_s = time.monotonic() - started
        recording = Recording(path)
        after = next(i for i, t in enumerate(recording.starts) if t >= continued)
        self.assert_back_in_time_and_unbroken(s, recording.left[recording.firsts[after] :])
        s.signal(signal.SIGTERM)
        self.assert_ended(s, 128 + signal.SIGTERM)
        # Left for the clock after a second of the stop, and opened again.
        self.assertEqual(read_stats(self.stats)["outages"], 1)

    def test_an_alsa_plug_into_jack_comes_back_after_the_server_restarts(self):
        self.restart_drill("1", "Alsa", "scopesynth_plug", [RATE])
