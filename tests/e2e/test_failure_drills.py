# SPDX-License-Identifier: MIT
"""Failure drills on the real binary: a sound device that has gone by the time
it is chosen, signals while the stream and the window run at full speed, and
standard output that nobody reads or that is closed."""

import fcntl
import os
import random
import re
import select
import shutil
import signal
import tempfile
import termios
import time
import unittest

from harness import BINARY, Session, SessionTest
from rig.audio import JackServer, read_stats, write_asoundrc
from rig.program import BLOCK_S, HELP_END, KEYS, PROMPT, RATE
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

