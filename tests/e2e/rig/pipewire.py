# SPDX-License-Identifier: MIT
"""A private headless PipeWire desktop, as Debian 13 sets one up for a player:
PipeWire with WirePlumber, its PulseAudio server, and a null sink that the
graph plays into at the pace of PipeWire's own timer. ALSA's `default` and
`pulse` devices and `pw-jack` programs all reach it through the environment
that `env` gives; nothing is shared with any other session on the machine.

The graph runs at 48000 Hz, as a desktop's does.
Its quantum is the smallest that a client asks for (as node.latency, which
pipewire-alsa takes from the ALSA period and pipewire-jack from
PIPEWIRE_LATENCY), rounded down to a power of two, and 1024 frames when
none asks.

`stop_servers` and `start_servers` restart the desktop's servers, as a
player restarting PipeWire does, on the same bus and runtime directory."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

SINK_NAME = "nullsink"
# The sink as JACK clients see it (under pw-jack), and as the dialog lists it.
SINK_CLIENT = "Null Sink"
NULL_SINK = (
    "{ factory.name=support.null-audio-sink node.name=%s node.description=\"%s\" "
    "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }" % (SINK_NAME, SINK_CLIENT)
)
PROGRAMS = ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pw-cli", "pw-jack")
DEFAULT_RATE = 48000
DEFAULT_QUANTUM = 1024


def missing_programs():
    return [p for p in PROGRAMS if not shutil.which(p)]


def wait_for(what, ready, procs, timeout=15):
    """Polls `ready` until it holds; fails when a process in `procs` has
    ended or `timeout` seconds have passed."""
    end = time.monotonic() + timeout
    while not ready():
        ended = [p.args[0] for p in procs if p.poll() is not None]
        if ended or time.monotonic() > end:
            raise AssertionError("%s: not ready (ended: %s)" % (what, ended or "none"))
        time.sleep(0.05)


class PipeWireSession:
    """Starts the session; `stop` ends every process of it by its id, and the
    session stops itself when it fails to start."""

    def __init__(self):
        self.rate = DEFAULT_RATE
        self.dir = tempfile.mkdtemp(prefix="scopesynth_pipewire_")
        runtime = os.path.join(self.dir, "run")
        os.mkdir(runtime, 0o700)
        bus = os.path.join(runtime, "bus")
        self.env = dict(
            os.environ,
            XDG_RUNTIME_DIR=runtime,
            DBUS_SESSION_BUS_ADDRESS="unix:path=" + bus,
            PULSE_SERVER="unix:" + os.path.join(runtime, "pulse", "native"),
        )
        self.procs = []
        try:
            self.start("dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus)
            wait_for("dbus-daemon", lambda: os.path.exists(bus), self.procs)
            self.start_servers()
        except BaseException:
            self.stop()
            raise

    def start_servers(self):
        """Starts PipeWire, WirePlumber and the PulseAudio server, and makes
        the null sink; returns when WirePlumber was first found to have made
        it the default one (on the monotonic clock)."""
        self.start("pipewire")
        wait_for("pipewire", lambda: self.run("pw-cli", "info", "0").returncode == 0, self.procs)
        self.start("wireplumber")
        self.start("pipewire-pulse")
        pulse = os.path.join(self.env["XDG_RUNTIME_DIR"], "pulse", "native")
        wait_for("pipewire-pulse", lambda: os.path.exists(pulse), self.procs)
        if self.run("pw-cli", "create-node", "adapter", NULL_SINK).returncode:
            raise AssertionError("the null sink was not made")
        # WirePlumber is up once it has made the sink the default one,
        # where ALSA's `default` and the PulseAudio clients play.
        checked = []

        def sink_is_default():
            checked[:] = [time.monotonic()]
            return SINK_NAME in self.default_sink()

        wait_for("wireplumber", sink_is_default, self.procs)
        return checked[0]

    def stop_servers(self):
        """Stops every process of the session but its bus, the last started
        first, as `stop` does: the servers, and a recorder with them. The
        PulseAudio server's socket goes with it, so that a start waits for
        the new one."""
        bus, *servers = self.procs
        for proc in reversed(servers):
            stop_process(proc)
        self.procs = [bus]
        pulse = os.path.join(self.env["XDG_RUNTIME_DIR"], "pulse", "native")
        if os.path.exists(pulse):
            os.unlink(pulse)

    def start(self, *command):
        log = open(os.path.join(self.dir, command[0] + ".log"), "ab")
        with log:
            self.procs.append(subprocess.Popen(command, stdout=log, stderr=log, env=self.env))

    def run(self, *command):
        return subprocess.run(command, capture_output=True, env=self.env, timeout=10)

    def record(self, path, probe):
        """Starts `probe` (tests/tools/jack_probe) under pw-jack recording
        what reaches the sink into `path`; returns it once it records. It
        asks for the graph's default quantum, so that the quantum stays the
        one that the program under test brings about."""
        env = dict(self.env, PIPEWIRE_LATENCY="%d/%d" % (DEFAULT_QUANTUM, self.rate))
        recorder = subprocess.Popen(
            ["pw-jack", probe, "record", path, SINK_CLIENT], stdout=subprocess.PIPE, env=env
        )
        self.procs.append(recorder)
        if recorder.stdout.readline() != b"recording\n":
            raise AssertionError("the recorder did not start")
        return recorder

    def default_sink(self):
        out = self.run("pw-metadata", "-n", "default", "0", "default.audio.sink")
        return out.stdout.decode()

    def graph(self):
        """The quantum (frames) and rate (Hz) that the sink, the graph's
        driver, runs at now, from two of pw-top's samples (the first one
        reads zeros)."""
        out = self.run("pw-top", "-b", "-n", "2").stdout.decode().splitlines()
        for line in reversed(out):
            fields = line.split()
            if fields and fields[-1] == SINK_NAME and fields[0] == "R":
                return int(fields[2]), int(fields[3])
        raise AssertionError("the sink is not running: %r" % out)

    def stop(self):
        # The last started first: the servers before the bus they use.
        for proc in reversed(self.procs):
            stop_process(proc)
        self.procs = []
        shutil.rmtree(self.dir, ignore_errors=True)


def stop_process(proc):
    """Ends `proc` with SIGTERM, or with SIGKILL when it is still there 10 s on."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    if proc.stdout:
        proc.stdout.close()
