# SPDX-License-Identifier: MIT
"""What paces and records a set-up's sound: a JACK server with the dummy
backend, or a headless PipeWire desktop, each with our client recording
what it plays."""

import os
import subprocess

from rig.audio import JackServer, probe
from rig.pipewire import PipeWireSession
from rig.recording import Recording

# A server name of its own, so that a soak can run beside the end-to-end
# tests; it is always the same one, as jackd remembers only a few.
SERVER = "scopesynth_soak"
# A player's set-up: 5.8 ms a period, where one of 1024 frames alone is 23 ms.
PERIOD_FRAMES = 256


def played_rate(start, end):
    """The frames per second that the server played between two readings of
    its frame clock."""
    return (end[0] - start[0]) / (end[1] - start[1]) * 1e6


class JackRig:
    """A JACK server with the dummy backend, at a player's period and at
    real-time priority, and our client recording what it plays."""

    def __init__(self, rate, recording):
        self.rate = rate
        self.server = JackServer(rate, SERVER, PERIOD_FRAMES, realtime=True)
        self.env = {"JACK_DEFAULT_SERVER": SERVER}
        self.recorder = subprocess.Popen(
            probe("record", recording), stdout=subprocess.PIPE, env=self.server.env
        )
        if self.recorder.stdout.readline() != b"recording\n":
            raise RuntimeError("the recorder did not start")

    def clock(self):
        """The server's frame clock, read together with the time."""
        return self.server.frame_clock()

    def played_rate(self, start, recording):
        """The frames a second that the server played since `start`."""
        return played_rate(start, self.server.frame_clock())

    def stop(self):
        if self.recorder.poll() is None:
            self.recorder.kill()
            self.recorder.wait()
        self.server.stop()


class PipeWireRig:
    """A headless PipeWire desktop at its stock settings, and our client,
    under pw-jack, recording what reaches its sink."""

    def __init__(self, recording):
        self.session = PipeWireSession()
        self.rate = self.session.rate
        self.env = self.session.env
        self.recorder = self.session.record(recording, os.environ["SCOPESYNTH_JACK_PROBE"])

    def clock(self):
        return None

    def played_rate(self, start, recording):
        """The frames a second that the graph played while it was recorded:
        PipeWire's driver keeps its own time, which a client that plays
        nothing cannot read."""
        r = Recording(recording)
        return (r.firsts[-1] - r.firsts[0]) / (r.starts[-1] - r.starts[0])

    def stop(self):
        self.session.stop()
