"""The stream as a sound device receives it: ALSA and JACK through PortAudio,
paced by a JACK server with a dummy backend, so no sound card is needed.

The test's own ~/.asoundrc (under a temporary HOME, on top of the system's
configuration) defines a `file` device that records every frame it is given
and passes it on to JACK, which takes it at the server's rate."""

import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from harness import SessionTest

# jackd remembers a few server names and keeps a killed server's name taken
# until a server of that name runs again, so the tests always use this one
# and stop it with SIGTERM.
SERVER = "scopesynth_e2e"
RATE = 44100
PROMPT = "Press a corresponding number or ESC to quit"
ASOUNDRC = """
pcm.scopesynth_jack {
    type jack
    playback_ports { 0 system:playback_1 1 system:playback_2 }
}
pcm.scopesynth_capture {
    type file
    slave.pcm { type plug slave.pcm "scopesynth_jack" }
    file "%s"
    format "raw"
}
"""
ERROR_FORMAT = (
    "Error!\nSoundcard does not support the features needed for this soundsystem "
    "(16bit stereo output)\n"
)


class JackServer:
    """A JACK server with the dummy backend, at `rate`, under SERVER."""

    def __init__(self, rate):
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=SERVER, JACK_NO_START_SERVER="1")
        self.proc = subprocess.Popen(
            ["jackd", "--no-realtime", "-n", SERVER, "-d", "dummy", "-r", str(rate), "-p", "1024"],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env=self.env,
        )
        end = time.monotonic() + 15
        while not self.ready():
            if self.proc.poll() is not None or time.monotonic() > end:
                self.stop()
                raise AssertionError("the JACK server did not start")
            time.sleep(0.1)

    def ready(self):
        ports = subprocess.run(
            ["jack_lsp"], capture_output=True, env=self.env, timeout=10
        ).stdout
        return b"system:playback_1" in ports

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        # Clients that outlived the server leave their semaphores behind.
        for path in glob.glob("/dev/shm/jack_sem.*_%s_*" % SERVER):
            os.unlink(path)


def crlf(text):
    return text.replace("\n", "\r\n")


def read_frames(path):
    with open(path, "rb") as f:
        data = f.read()
    count = len(data) // 4
    samples = struct.unpack("<%dh" % (2 * count), data[: 4 * count])
    return samples[0::2], samples[1::2]


def read_stats(path):
    with open(path) as f:
        return {key: float(value) for key, value in (line.split() for line in f)}


class AudioCapture(SessionTest):
    def setUp(self):
        super().setUp()
        self.home = tempfile.mkdtemp(prefix="scopesynth_audio_")
        self.capture = os.path.join(self.home, "captured.raw")
        self.stats = os.path.join(self.home, "stats")
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(ASOUNDRC % self.capture)
        self.server = None

    def tearDown(self):
        super().tearDown()
        if self.server:
            self.server.stop()
        shutil.rmtree(self.home)

    def start_server(self, rate):
        self.server = JackServer(rate)

    def start_with_driver(self, output_key, output_name, driver):
        """Runs the dialog up to the driver named `driver` of the output type
        chosen with `output_key`; returns the session."""
        s = self.start(
            {
                "HOME": self.home,
                "JACK_DEFAULT_SERVER": SERVER,
                "DISPLAY": "",
                "SCOPESYNTH_AUDIO_STATS": self.stats,
            }
        )
        s.expect(PROMPT)
        s.send(output_key)
        s.expect(output_name + " Driver list", timeout=20)
        end = time.monotonic() + 20
        while s.output.count(PROMPT.encode()) < 2 and time.monotonic() < end:
            s.read_available(0.1)
        listing = s.output.decode()
        listing = listing[listing.index(" Driver list") :]
        self.assertIn(PROMPT, listing)
        # Only the program's lines, even while the libraries probe devices.
        lines = listing.split("\r\n")[2:-3]
        self.assertTrue(all(re.fullmatch(r"\d+ - .+", line) for line in lines), listing)
        numbers = re.findall(r"(\d+) - %s\r\n" % re.escape(driver), listing)
        self.assertEqual(len(numbers), 1, listing)
        s.send(chr(0x30 + int(numbers[0])))
        return s

    def wait_reading(self, s, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            s.read_available(0.1)

    def play_for(self, s, seconds):
        s.expect("(foireuxmaismarche)", timeout=20)
        self.wait_reading(s, seconds)
        s.signal(signal.SIGTERM)
        self.assertEqual(s.wait(), 128 + signal.SIGTERM)
        # Nothing after the help: the sound libraries print nothing of their
        # own while the stream runs and stops.
        self.assertTrue(s.output.endswith(b"(foireuxmaismarche)\r\n"), s.output[-500:])

    def test_alsa_device_records_the_start_patch_at_real_time(self):
        self.start_server(RATE)
        s = self.start_with_driver("1", "Alsa", "scopesynth_capture")
        self.play_for(s, 2.0)

        left, right = read_frames(self.capture)
        self.assertEqual(left, right)
        self.assertTrue(set(left) <= {10000, 0, -10000}, sorted(set(left))[:10])
        # The stream starts with 8 zero frames and then 10000; the device may
        # put up to a buffer of silence before it.
        first = next(i for i, v in enumerate(left) if v != 0)
        self.assertEqual(left[first], 10000)
        self.assertGreaterEqual(first, 8)
        self.assertLess(first, 8 + RATE // 10)
        # The server takes the frames at its rate: about two seconds of them,
        # where an unpaced device would have taken minutes.
        self.assertGreater(len(left), 1.0 * RATE)
        self.assertLess(len(left), 5.0 * RATE)

        stats = read_stats(self.stats)
        self.assertGreaterEqual(stats["callbacks"], len(left) // 8192)
        self.assertLess(stats["worst_latency_ms"], 300)

    def test_asio_plays_through_the_jack_server(self):
        self.start_server(RATE)
        s = self.start_with_driver("3", "ASIO", "system")
        self.play_for(s, 1.0)
        stats = read_stats(self.stats)
        self.assertGreaterEqual(stats["callbacks"], 3)
        # Paced by the server, not by how fast the blocks can be computed.
        self.assertLess(stats["callbacks"], 5 * stats["elapsed_s"] / (8192 / RATE))

    def test_the_stream_outlives_its_server(self):
        for output_key, output_name, driver in (
            ("1", "Alsa", "scopesynth_capture"),
            ("3", "ASIO", "system"),
        ):
            self.start_server(RATE)
            s = self.start_with_driver(output_key, output_name, driver)
            s.expect("(foireuxmaismarche)", timeout=20)
            self.wait_reading(s, 1.0)
            self.server.stop()
            # The stream goes on at real time without the device (so the
            # window keeps moving), and closing it needs no server.
            self.play_for(s, 3.0)
            stats = read_stats(self.stats)
            self.assertGreater(stats["callbacks"], stats["elapsed_s"] / (8192 / RATE) - 8)

    def test_a_server_at_another_rate_is_a_format_error(self):
        self.start_server(48000)
        for output_key, output_name, driver in (
            ("1", "Alsa", "scopesynth_jack"),
            ("3", "ASIO", "system"),
        ):
            s = self.start_with_driver(output_key, output_name, driver)
            s.expect(crlf(ERROR_FORMAT), timeout=20)
            self.assertEqual(s.wait(), 1)


if __name__ == "__main__":
    unittest.main()
