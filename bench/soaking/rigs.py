# SPDX-License-Identifier: MIT
"""What paces and records a set-up's sound: a JACK server with the dummy
backend, or a headless PipeWire desktop, each with our client recording
what it plays. Either can be stopped and started again, as a player
restarts a sound server (`stop_server`, `start_server`), its recorder with
it."""

import os
import signal
import subprocess
import time

from rig.audio import JackServer, probe
from rig.pipewire import PipeWireSession
from rig.recording import Recording

# A server name of its own, so that a soak can run beside the end-to-end
# tests; it is always the same one, as jackd remembers only a few.
SERVER = "scopesynth_soak"
# A player's set-up: 5.8 ms a period, where one of 1024 frames alone is 23 ms.
PERIOD_FRAMES = 256


class AnsweringServer(JackServer):
    """A JACK server that notes when it first answered: when the check that
    found it up began (on the monotonic clock)."""

    def ready(self):
        began = time.monotonic()
        if not super().ready():
            return False
        self.answered = began
        return True


def connections(wrapper, env):
    """Each connected port of a JACK server, or of PipeWire's graph under
    pw-jack, with what it is connected to: `a > b c; ...`."""
    try:
        listing = subprocess.run([*wrapper, *probe("connections")], capture_output=True, env=env, timeout=10)
    except (OSError, subprocess.TimeoutExpired) as e:
        return "not listed (%s)" % e
    ports = []
    for line in listing.stdout.decode().splitlines():
        if not line.startswith(" "):
            ports.append([line.strip()])
        elif ports:
            ports[-1].append(line.strip())
    return "; ".join("%s > %s" % (p[0], " ".join(p[1:])) for p in ports if len(p) > 1)


def played_rate(start, end):
    """The frames per second that the server played between two readings of
    its frame clock."""
    return (end[0] - start[0]) / (end[1] - start[1]) * 1e6


class JackRig:
    """A JACK server with the dummy backend, at a player's period and at
    real-time priority, and our client recording what it plays."""

    def __init__(self, rate, recording):
        self.rate = rate
        self.env = {"JACK_DEFAULT_SERVER": SERVER}
        self.server = self.recorder = None
        self.start_server(recording)

    def start_server(self, recording):
        """Starts the server and the recorder, into `recording`; returns when
        the server first answered (on the monotonic clock)."""
        self.server = AnsweringServer(self.rate, SERVER, PERIOD_FRAMES, realtime=True)
        # What JACK's library says as the server goes is kept out of the report.
        self.recorder = subprocess.Popen(
            probe("record", recording), stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.server.env
        )
        if self.recorder.stdout.readline() != b"recording\n":
            raise RuntimeError("the recorder did not start: %r" % self.recorder.stderr.read())
        return self.server.answered

    def stop_server(self):
        """Stops the server with SIGTERM, as a player's session does; the
        recorder ends with it, its recording complete."""
        self.server.stop()
        if self.recorder.wait(timeout=10) != 0:
            raise RuntimeError("the recording ended incomplete: %r" % self.recorder.stderr.read())

    def clock(self):
        """The server's frame clock, read together with the time."""
        return self.server.frame_clock()

    def connections(self):
        """Every port of the server and what it is connected to, on a line."""
        return connections([], self.server.env)

    def played_rate(self, start, recording, end=None):
        """The frames a second that the server played from `start` to `end`
        (by default now), two readings of its clock."""
        return played_rate(start, end or self.server.frame_clock())

    def stop(self):
        if self.recorder and self.recorder.poll() is None:
            self.recorder.kill()
            self.recorder.wait()
        if self.server:
            self.server.stop()


class PipeWireRig:
    """A headless PipeWire desktop at its stock settings, and our client,
    under pw-jack, recording what reaches its sink."""

    def __init__(self, recording):
        self.session = PipeWireSession()
        self.rate = self.session.rate
        self.env = self.session.env
        self.recorder = self.session.record(recording, os.environ["SCOPESYNTH_JACK_PROBE"])

    def start_server(self, recording):
        """Starts PipeWire, WirePlumber and the PulseAudio server again with
        the null sink, and the recorder, into `recording`; returns when
        WirePlumber first made the sink the default one."""
        answered = self.session.start_servers()
        self.recorder = self.session.record(recording, os.environ["SCOPESYNTH_JACK_PROBE"])
        return answered

    def stop_server(self):
        """Stops the servers, the recorder first: it would stay on a graph
        that has gone."""
        self.recorder.send_signal(signal.SIGTERM)
        if self.recorder.wait(timeout=10) != 0:
            raise RuntimeError("the recording is incomplete")
        self.session.stop_servers()

    def clock(self):
        return None

    def connections(self):
        return connections(["pw-jack"], self.session.env)

    def played_rate(self, start, recording, end=None):
        """The frames a second that the graph played while it was recorded:
        PipeWire's driver keeps its own time, which a client that plays
        nothing cannot read."""
        r = Recording(recording)
        return (r.firsts[-1] - r.firsts[0]) / (r.starts[-1] - r.starts[0])

    def stop(self):
        self.session.stop()
