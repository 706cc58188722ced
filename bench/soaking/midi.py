# SPDX-License-Identifier: MIT
"""The MIDI that the soak plays with `--midi`: a JACK MIDI keyboard that the
program connects by itself, its note-ons timed as probes, and a flood of one
controller."""

import collections
import os
import select
import subprocess
import time

from rig.program import CONTROLLERS

# MIDI probes: note-ons alternating between a low and a high note, MIDI 57
# and 87 (220 and 1245 Hz, the walk's lowest and highest notes), each after
# the previous note's note-off, which prints nothing, at random gaps (those
# of the key probes). How a new note is heard is listening's.
MIDI_LOW, MIDI_HIGH = 57, 87
# The controller flood: the vibrato's rate (controller 72, which leaves the
# carrier's levels alone) swept up and down over 0..127, at 1000 messages a
# second for 10 s, 30 s into the run, or from the start of a short one.
FLOOD_CONTROLLER = CONTROLLERS["t"]
FLOOD_PER_S, FLOOD_S, FLOOD_AT_S = 1000, 10, 30


class Keyboard:
    """The JACK MIDI keyboard (tests/tools/jack_keyboard, named by
    SCOPESYNTH_JACK_KEYBOARD): an output flagged physical, which the program
    connects to by itself. Each message goes out at the start of the server's
    next cycle, and the keyboard tells at which frame time and cycle start;
    those of the messages sent with a tag are kept, by tag."""

    def __init__(self, env, wrapper=()):
        self.proc = subprocess.Popen(
            [*wrapper, os.environ["SCOPESYNTH_JACK_KEYBOARD"], "scopesynth_soak_keys"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            # What it and JACK's library say as the server goes (with
            # `--faults`) is kept out of the report.
            stderr=subprocess.PIPE,
            env=env,
            bufsize=0,
        )
        if self.proc.stdout.readline() != b"ready\n":
            raise RuntimeError("the keyboard did not start: %r" % self.proc.stderr.read())
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.fd = self.proc.stdout.fileno()
        self.text = b""
        self.awaited = collections.deque()  # the tags of the messages not yet reported
        self.sent = {}  # tag: (frame, start in µs)
        self.connections = None

    def send(self, messages):
        """Sends `messages`, each a (tag, bytes in hex) pair; tag None keeps nothing."""
        self.proc.stdin.write(b"".join(m.encode() + b"\n" for _, m in messages))
        self.awaited.extend(tag for tag, _ in messages)

    def read(self):
        """Takes what the keyboard has printed."""
        try:
            self.text += os.read(self.fd, 65536)
        except BlockingIOError:
            return
        *lines, self.text = self.text.split(b"\n")
        for line in lines:
            word, *values = line.split()
            if word == b"sent":
                tag = self.awaited.popleft()
                if tag is not None:
                    self.sent[tag] = tuple(int(v) for v in values)
            elif word == b"connections":
                self.connections = int(values[0])
            else:
                raise RuntimeError("the keyboard said %r" % line)

    def connect(self, timeout=5):
        """Waits until the program has connected the keyboard to its input."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            self.connections = None
            self.proc.stdin.write(b"connections\n")
            while self.connections is None and time.monotonic() < end:
                select.select([self.fd], [], [], 0.1)
                self.read()
            if self.connections:
                return
            time.sleep(0.1)
        raise RuntimeError("the program did not connect the keyboard")

    def settle(self, timeout=5):
        """Waits until every message sent has been reported."""
        end = time.monotonic() + timeout
        while self.awaited and time.monotonic() < end:
            select.select([self.fd], [], [], 0.1)
            self.read()
        if self.awaited:
            raise RuntimeError("%d MIDI messages never went out" % len(self.awaited))

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def note_on(note):
    return "90 %02x 64" % note


def note_off(note):
    return "80 %02x 40" % note
