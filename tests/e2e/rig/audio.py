# SPDX-License-Identifier: MIT
"""A sound path without a sound card, for runs of the real program: a JACK
server with the dummy backend takes the frames at its rate, an ALSA device
of the run's own ~/.asoundrc (under a temporary HOME, on top of the system's
configuration) leads to it, and the audio layer writes its figures about the
stream to a file when the program ends."""

import glob
import os
import re
import signal
import subprocess
import tempfile
import time

from .program import PROMPT

# jackd remembers a few server names and keeps a killed server's name taken
# until a server of that name runs again, so each user of the rig keeps to
# one name and the server is stopped with SIGTERM.
SERVER = "scopesynth_e2e"
# `scopesynth_capture` records every frame it is given in a file and passes
# it on to the server.
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


class JackServer:
    """A JACK server with the dummy backend, at `rate`, under `name`, with
    periods of `period` frames; at real-time priority, as a player runs it,
    when `realtime` (the tests do without: a sanitizer's slow client must not
    hold up the server's thread). With `sync` the server waits for a client
    that is late with its cycle instead of running the next without it, and
    with it the MIDI that the skipped cycle brought. With `log`, what the
    server prints goes to that file (its xruns among it)."""

    def __init__(self, rate, name=SERVER, period=1024, realtime=False, sync=False, log=None):
        self.name = name
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_START_SERVER="1")
        # What the server prints, kept for a failed start when not logged.
        out = open(log, "ab") if log else tempfile.TemporaryFile()
        try:
            self.proc = subprocess.Popen(
                ["jackd", "--realtime" if realtime else "--no-realtime", "-n", name]
                + (["--sync"] if sync else [])
                + ["-d", "dummy", "-r", str(rate), "-p", str(period)],
                stdout=out,
                stderr=out,
                env=self.env,
            )
        finally:
            if log:
                out.close()
        end = time.monotonic() + 15
        try:
            while not self.ready():
                if self.proc.poll() is not None or time.monotonic() > end:
                    raise AssertionError("the JACK server did not start%s" % said(out, log))
                time.sleep(0.1)
        except BaseException:
            # Failed or interrupted, the server is not left behind.
            self.stop()
            raise
        finally:
            if not log:
                out.close()

    def ready(self):
        up = subprocess.run(probe("up"), stderr=subprocess.DEVNULL, env=self.env, timeout=10)
        return up.returncode == 0

    def frame_clock(self):
        """The frames the server has played, and the time in microseconds
        (CLOCK_MONOTONIC), read together. The dummy backend falls behind when
        its thread wakes late and never makes up the time, so under load the
        frames run slower than the clock."""
        clock = subprocess.run(probe("clock"), capture_output=True, env=self.env, timeout=10)
        found = re.fullmatch(rb"(\d+) (\d+)\n", clock.stdout)
        if clock.returncode or not found:
            raise AssertionError("no frame time from the server: %r" % clock)
        return int(found.group(1)), int(found.group(2))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        # Clients that outlived the server leave their semaphores behind.
        for path in glob.glob("/dev/shm/jack_sem.*_%s_*" % self.name):
            os.unlink(path)


def said(out, log):
    """The end of what a server printed, to `out` or into `log`."""
    if log:
        with open(log, "rb") as f:
            text = f.read()
    else:
        out.seek(0)
        text = out.read()
    return ": " + text[-600:].decode(errors="replace") if text else ""


def probe(*args):
    """The command line of our JACK client (tests/tools/jack_probe, named by
    SCOPESYNTH_JACK_PROBE) with `args`; it reaches the server named by
    JACK_DEFAULT_SERVER."""
    return [os.environ["SCOPESYNTH_JACK_PROBE"], *args]


def write_asoundrc(home, capture):
    """Defines the devices in `home`/.asoundrc, recording into `capture`."""
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write(ASOUNDRC % capture)


def choose_driver(s, output_key, output_name, driver):
    """Runs the dialog of session `s` up to the driver named `driver` of the
    output type chosen with `output_key`, and chooses it."""
    s.expect(PROMPT)
    s.send(output_key)
    s.expect(output_name + " Driver list", timeout=20)
    end = time.monotonic() + 20
    while s.output.count(PROMPT.encode()) < 2 and time.monotonic() < end:
        s.read_available(0.1)
    listing = s.output.decode()
    listing = listing[listing.index(" Driver list") :]
    # Only the program's lines, even while the libraries probe devices.
    lines = listing.split("\r\n")[2:-3]
    if PROMPT not in listing or not all(re.fullmatch(r"\d+ - .+", line) for line in lines):
        raise AssertionError("not a driver list: %r" % listing)
    numbers = re.findall(r"(\d+) - %s\r\n" % re.escape(driver), listing)
    if len(numbers) != 1:
        raise AssertionError("not one %r in %r" % (driver, listing))
    s.send(chr(0x30 + int(numbers[0])))


def read_stats(path):
    """The figures that the audio layer wrote to SCOPESYNTH_AUDIO_STATS."""
    with open(path) as f:
        return {key: float(value) for key, value in (line.split() for line in f)}

