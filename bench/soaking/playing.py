# SPDX-License-Identifier: MIT
"""Playing the program: the walk's keys, the probes and the MIDI sent on
time, while the status blocks it prints are read and counted."""

import collections
import random
import select
import time

from rig import program

from .keys import KEYS_PER_S, PROBE_GAP_S, PROBES
from .midi import FLOOD_AT_S, FLOOD_CONTROLLER, FLOOD_PER_S, FLOOD_S, MIDI_HIGH, MIDI_LOW, note_off, note_on
from .watchers import resident_kib

STATUS = program.STATUS.encode()
# Memory is first measured once start-up and the first keys are behind.
WARM_UP_S = 2.0


def take_status_blocks(s):
    """Counts the status blocks that `s` has printed since the last count and
    drops them from its output, which would otherwise grow by megabytes."""
    count = s.output.count(STATUS)
    if count:
        s.output = s.output[s.output.rindex(STATUS) + len(STATUS) :]
    return count


def take_blocks_until(s, blocks, keys):
    """Counts on from `blocks` the status blocks that `s` prints, until there
    is one for each of `keys` or 5 s have passed; returns the count."""
    settle = time.monotonic() + 5
    while blocks < keys and time.monotonic() < settle:
        s.read_available(0.1)
        blocks += take_status_blocks(s)
    return blocks


def check_running(s):
    if s.proc.poll() is not None:
        raise RuntimeError("the program ended with status %d: %r" % (s.proc.returncode, s.output))


def wait_for_output(s, keyboard, timeout):
    """Reads what the program prints, and the keyboard's reports, until one of
    them has printed something or `timeout` seconds have passed."""
    if keyboard is None:
        s.read_available(timeout, first=True)
        return
    ready, _, _ = select.select([s.master, keyboard.fd], [], [], timeout)
    if s.master in ready:
        s.read_available(0, first=True)
    if keyboard.fd in ready:
        keyboard.read()


def gone_keyboard(keyboard, sent, new):
    """Takes what `keyboard`, gone with its server, reported into `sent`,
    every message sent on it having gone out; returns `new`."""
    if keyboard:
        keyboard.read()
        if keyboard.awaited:
            raise RuntimeError("%d MIDI messages were lost with the server" % len(keyboard.awaited))
        sent.update(keyboard.sent)
    return new


def play(s, seconds, walk, probing, keyboard=None, faults=None):
    """Sends the keys of `walk` to `s` for `seconds`, and with `probing` the
    probe keys too, and with a `keyboard` the MIDI probes and the controller
    flood; with `faults` (Restarts) the server is restarted meanwhile, and
    the keyboard is quiet around each restart and then the one plugged in
    anew; returns the keys sent, the status blocks printed, the resident
    memory at the start and at the end, the probes, each as the time it was
    sent and whether it takes the carrier up, the time from each probe to the
    status block of its first key (how long a key took to be taken up, at
    most), and what went to the keyboard: the count of its note-ons, note-offs
    and controller messages, the MIDI probes, each as whether it plays the
    high note, its frame time and its cycle's start (µs), and the flood's
    first and last messages' frame times and cycle starts; and how late the
    soak itself came back at most to what was due (s), and when (on the
    monotonic clock): meanwhile it read nothing, and a program that prints
    faster than it is read waits."""
    gaps = random.Random(2)
    midi_gaps = random.Random(3)
    midi = collections.Counter()
    preamble = walk.into_bounds()
    keys, blocks = len(preamble), 0
    if keyboard:
        # The high note first, so that the first probe's old note is known.
        keyboard.send([(None, note_on(MIDI_HIGH))])
        midi["note-ons"] += 1
    # The keys and probes start once the preamble's hundreds of keys have
    # been taken up: a probe sent behind them would be timed through all
    # their status blocks.
    s.send(preamble)
    blocks = take_blocks_until(s, blocks, keys + midi["note-ons"])
    start = time.monotonic()
    end = start + seconds
    warm = start + min(WARM_UP_S, seconds / 2)
    next_key = start
    next_probe = start if probing else float("inf")
    next_midi = start if keyboard else float("inf")
    flood_start = start + (FLOOD_AT_S if seconds > FLOOD_AT_S + FLOOD_S + 10 else 0)
    flood_count = int(FLOOD_PER_S * max(0, min(FLOOD_S, end - 1 - flood_start)))
    next_flood = flood_start if keyboard and flood_count else float("inf")
    flooded = 0
    quiet = False
    sent = {}  # the MIDI reported by keyboards gone with their server
    if faults:
        faults.begin(start, seconds)
    probes, midi_probes = [], []
    awaited, echoes = [], []  # probes' sending times and their first keys' counts
    rss_start = None
    reader_late = (0.0, start)
    while time.monotonic() < end:
        check_running(s)
        if faults:
            quiet = faults.quiet()
            if faults.keyboard is not keyboard:
                keyboard = gone_keyboard(keyboard, sent, faults.keyboard)
        midi_on = keyboard is not None and not quiet
        if rss_start is None and time.monotonic() >= warm:
            rss_start = resident_kib(s.proc.pid)
        if time.monotonic() >= next_key:
            s.send(walk.next_key())
            keys += 1
            next_key += 1 / KEYS_PER_S
        if time.monotonic() >= next_probe:
            burst, up = PROBES[len(probes) % len(PROBES)]
            s.send(burst)
            probes.append((time.monotonic(), up))
            awaited.append((probes[-1][0], keys + sum(midi.values()) - midi["note-offs"] + 1))
            keys += len(burst)
            next_probe = time.monotonic() + gaps.uniform(*PROBE_GAP_S)
            # The last probe goes out a second before the end, to be heard in time.
            if next_probe > end - 1:
                next_probe = float("inf")
        if midi_on and time.monotonic() >= next_midi:
            high = len(midi_probes) % 2 == 1
            old, new = (MIDI_LOW, MIDI_HIGH) if high else (MIDI_HIGH, MIDI_LOW)
            keyboard.send([(None, note_off(old)), (len(midi_probes), note_on(new))])
            midi_probes.append(high)
            midi["note-offs"] += 1
            midi["note-ons"] += 1
            next_midi = time.monotonic() + midi_gaps.uniform(*PROBE_GAP_S)
            if next_midi > end - 1:
                next_midi = float("inf")
        if midi_on and time.monotonic() >= next_flood:
            due = min(flood_count, int((time.monotonic() - flood_start) * FLOOD_PER_S) + 1)
            # Up and down over 0..127.
            values = [127 - abs(i % 254 - 127) for i in range(flooded, due)]
            tags = ["flood first" if i == 0 else "flood last" if i == flood_count - 1 else None
                    for i in range(flooded, due)]
            keyboard.send([(t, "b0 %02x %02x" % (FLOOD_CONTROLLER, v)) for t, v in zip(tags, values)])
            midi["controllers"] += due - flooded
            flooded = due
            next_flood = flood_start + due / FLOOD_PER_S if due < flood_count else float("inf")
            if due == flood_count:
                # The walk goes on from the flood's last value.
                walk.values[walk.steps["t"]] = values[-1]
        due = min(next_key, next_probe, *((next_midi, next_flood) if midi_on else ()), end)
        # A keyboard whose server has gone would read as ready for ever.
        wait_for_output(s, keyboard if midi_on else None, max(0.0, due - time.monotonic()))
        reader_late = max(reader_late, (time.monotonic() - due, due))
        blocks += take_status_blocks(s)
        while awaited and blocks >= awaited[0][1]:
            echoes.append(time.monotonic() - awaited.pop(0)[0])
    # The last keys' blocks are still on their way.
    blocks = take_blocks_until(s, blocks, keys + midi["note-ons"] + midi["controllers"])
    check_running(s)
    if keyboard:
        keyboard.settle()
        sent.update(keyboard.sent)
    midi_probes = [(high, *sent[i]) for i, high in enumerate(midi_probes)]
    flood = [sent[t] for t in ("flood first", "flood last") if t in sent]
    return (keys, blocks, rss_start, resident_kib(s.proc.pid), probes, echoes, midi, midi_probes, flood,
            reader_late)
