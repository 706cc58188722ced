# SPDX-License-Identifier: MIT
"""The sound server restarted while the program plays (`--faults`): every
minute the server is stopped as a player's session stops it, left down for
a second and started again at the same settings, with the recorder on it
and, with MIDI, the keyboard plugged in again. Meanwhile the program plays
on its clock and opens its output again by itself. The restarts run on a
thread of their own, so that the keys go on; the bookkeeping is each server
life's recording, when the server stopped and when it answered again, and
from the recordings when the sound came back: the outages, whose probes
and silences the judging leaves out."""

import threading
import time

from rig.program import RATE
from rig.recording import Recording

from .listening import listen

RESTART_EVERY_S = 60
# Down this long between the stop and the start, as a player restarting it.
DOWN_S = 1.0
# None this close to the end: the sound has to come back, and be probed.
NO_RESTART_IN_LAST_S = 10
# The keyboard goes quiet this long before a stop, so that every message
# sent on the old server has gone out, reached the program and been
# reported; it speaks again once the program has connected it anew.
MIDI_QUIET_S = 0.5
# How long the program has to connect the new keyboard.
KEYBOARD_BACK_S = 10
# The server's connections are noted this long after it answered, to be
# reported where the sound did not come back.
CONNECTIONS_AFTER_S = 3


class Life:
    """One life of the server: its recording, when it answered (the first
    one: when the play started), its frame clock read then (JACK), and when
    it was stopped, with the clock read just before (the last one: when the
    play ended)."""

    def __init__(self, recording, answered, clock):
        self.recording, self.answered, self.clock = recording, answered, clock
        self.stopped = self.end_clock = None
        # Whether the program connected the keyboard again; None without MIDI.
        self.midi_back = None
        self.connections = None
        self.read = None

    def heard(self):
        """The recording, read once it is complete, and when the sound came
        back in it: the start of its first period with sound in it, None
        when it never did."""
        if self.read is None:
            recording = Recording(self.recording)
            sounding = recording.sounding()
            self.read = recording, recording.starts[sounding] if sounding < len(recording.starts) else None
        return self.read


class Restarts:
    """Restarts `rig`'s server every RESTART_EVERY_S from `begin` on; the
    lives' recordings are `recording`, then `recording`.1, .2 and so on, the
    first one's frame clock read at `clock`. With `new_keyboard` (a function
    that starts one on the server) the keyboard is plugged in again after
    each start; `keyboard` is the one that plays, for the play to take
    anew when it changes (None when the program did not connect it)."""

    def __init__(self, rig, recording, clock, new_keyboard=None, keyboard=None):
        self.rig, self.recording, self.new_keyboard = rig, recording, new_keyboard
        self.keyboard = keyboard
        self.lives = [Life(recording, None, clock)]
        self.keyboards = []  # those started here, to be closed
        self.next_due = float("inf")
        self.restarting = False
        self.error = None
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def begin(self, start, seconds):
        """Starts the restarts: the play started at `start` (on the monotonic
        clock) and lasts `seconds`."""
        self.lives[0].answered = start
        self.dues = [start + RESTART_EVERY_S * k
                     for k in range(1, int((seconds - NO_RESTART_IN_LAST_S) // RESTART_EVERY_S) + 1)]
        self.next_due = self.dues[0] if self.dues else float("inf")
        self.thread.start()

    def run(self):
        try:
            for i, due in enumerate(self.dues):
                if self.stopping.wait(max(0.0, due - time.monotonic())):
                    return
                self.restart(self.dues[i + 1] if i + 1 < len(self.dues) else float("inf"))
        except BaseException as e:  # raised by the play, which checks
            self.error = e

    def restart(self, next_due):
        self.restarting = True
        life = self.lives[-1]
        life.end_clock = self.rig.clock()
        life.stopped = time.monotonic()
        self.rig.stop_server()
        time.sleep(DOWN_S)
        recording = "%s.%d" % (self.recording, len(self.lives))
        answered = self.rig.start_server(recording)
        life = Life(recording, answered, self.rig.clock())
        self.lives.append(life)
        keyboard = None
        if self.new_keyboard:
            keyboard = self.new_keyboard()
            self.keyboards.append(keyboard)
            try:
                keyboard.connect(KEYBOARD_BACK_S)
                life.midi_back = True
            except RuntimeError:
                life.midi_back = False
                keyboard = None
        self.keyboard = keyboard
        self.next_due = next_due
        self.restarting = False
        if not self.stopping.wait(max(0.0, answered + CONNECTIONS_AFTER_S - time.monotonic())):
            life.connections = self.rig.connections()

    def quiet(self):
        """Whether the keyboard is to send nothing now: a stop is near, or the
        server is being restarted."""
        if self.error:
            raise RuntimeError("a restart of the server failed") from self.error
        return self.restarting or time.monotonic() >= self.next_due - MIDI_QUIET_S

    def finish(self):
        """Stops the restarts as the play ends; the last life, the one that
        plays now, ends with it."""
        self.stopping.set()
        self.thread.join(timeout=60)
        if self.error:
            raise RuntimeError("a restart of the server failed") from self.error
        self.lives[-1].end_clock = self.rig.clock()
        self.ended = time.monotonic()

    def close(self):
        """Stops the restarts, waiting for one under way (a server started
        now would outlive the rig), and the keyboards started here."""
        self.stopping.set()
        if self.thread.is_alive():
            self.thread.join(timeout=30)
        for keyboard in self.keyboards:
            keyboard.close()


def listen_lives(lives, probes, rate, midi_probes, margin_s):
    """Listens to each life's recording, at `rate` Hz, for the probes sent
    while the sound played in it: from when it came back to `margin_s` (the
    set-up's worst key to sound) before the server was stopped; the others,
    sent in an outage, are counted but not timed. The figures are those of
    `listen` for the whole run, with the times from the first sound, and
    the restarts: each as when the server was stopped, when it answered again
    and when the sound came back (None if never), on the monotonic clock."""
    origin = lives[0].heard()[1] or lives[0].answered
    figures = {"latencies": [], "unheard": 0, "midi_latencies": [], "midi_unheard": 0, "silences": [],
               "server_late": (0.0, 0.0), "first_sound": origin, "outage_probes": 0, "outage_midi_probes": 0}
    for i, life in enumerate(lives):
        recording, back = life.heard()
        # A life's key probes from the stop of the one before it, its MIDI
        # probes from its start: the keyboard plays on one server.
        since, midi_since = (lives[i - 1].stopped, life.answered) if i else (float("-inf"), float("-inf"))
        end = life.stopped or float("inf")
        mine = [p for p in probes if since <= p[0] < end]
        midi_mine = [p for p in midi_probes if midi_since <= p[2] / 1e6 < end]
        if back is None:
            figures["outage_probes"] += len(mine)
            figures["outage_midi_probes"] += len(midi_mine)
            continue
        back = back if i else float("-inf")
        # Nor is one timed past the recording, where a recorder stopped early.
        timed = [p for p in mine if back <= p[0] < min(end, recording.starts[-1]) - margin_s]
        midi_timed = [p for p in midi_mine if p[2] / 1e6 >= back]
        heard = listen(recording, timed, rate, midi_timed, origin)
        figures["outage_probes"] += len(mine) - len(timed)
        figures["outage_midi_probes"] += len(midi_mine) - len(midi_timed)
        for key in ("latencies", "midi_latencies", "unheard", "midi_unheard"):
            figures[key] += heard[key]
        # Silences in the recording after the stop belong to the outage.
        figures["silences"] += [at for at in heard["silences"] if at + origin < end]
        figures["server_late"] = max(figures["server_late"], heard["server_late"])
    figures["silences"].sort()
    figures["restarts"] = [(life.stopped, after.answered, after.heard()[1])
                          for life, after in zip(lives, lives[1:])]
    return figures


def program_outages(figures):
    """The program's outages, from its figures: when its output failed and
    when the stream played on it again (None if never), on the monotonic
    clock."""
    outages, n = [], 1
    # The program keeps the first few dozen.
    while "outage_%d_at_s" % n in figures:
        at, length = figures["outage_%d_at_s" % n], figures["outage_%d_s" % n]
        outages.append((at, at + length if length >= 0 else None))
        n += 1
    return outages


def stream_rate(rig, lives, outages, end):
    """The stream's own rate over the play, which ended at `end` (on the
    monotonic clock), from the program's `outages` (program_outages): at
    each life's device rate while the stream played on it, at its own rate
    on its clock in the outages, and none from a stop until the program
    found its output gone (at once on JACK; a device of ALSA's stalls a
    while first)."""
    start = lives[0].clock[1] / 1e6 if lives[0].clock else lives[0].answered
    frames = 0.0
    for i, life in enumerate(lives):
        on = start if i == 0 else outages[i - 1][1] if i - 1 < len(outages) else None
        if on is not None:
            rate = rig.played_rate(life.clock, life.recording, life.end_clock) * RATE / rig.rate
            frames += rate * max(0.0, (life.stopped or end) - on)
    for failed, back in outages:
        frames += RATE * max(0.0, (back or end) - max(failed, start))
    return frames / (end - start)
