# SPDX-License-Identifier: MIT
"""Reading the recording: when each probe is heard, the amplitude keys' and
the note-ons', and the periods of silence."""

import bisect
import math

from rig.recording import Recording

from .keys import PROBE_STEP
from .midi import MIDI_HIGH, MIDI_LOW

# Through a rate converter the carrier's edges ring, the more the higher its
# pitch, but its levels stay: a probe is heard at the first of PLATEAU loud
# samples in a row beyond the level before it by half the step, where the
# level is the middle of the loud samples of the last cycle. The ringing of
# an edge is never that long, and the first such sample comes at the change,
# or after it by at most the carrier's silence between two levels: the times
# measured are never short.
PLATEAU = 5
# The carrier at its lowest, 220 Hz with the frequency modulators at their
# deepest (a factor of 0.49): 108 Hz.
LOWEST_HZ = 108

# The three-level square carrier plays a loud run of a third of a cycle and a
# quiet one of a sixth in turn; under the frequency modulators (a factor of
# 0.49 to 1.69) and the phase modulator (at most 0.1 × 2π × 50 = 31.4 Hz
# either way) the low note plays between 76 and 404 Hz, the high one between
# 578 and 2137 Hz, so that every run of the one is longer than any of the
# other of its kind by far more than the RUN_MARGIN samples that the stream's
# samples, the recording's and a rate converter's ringing can move a run's
# length by. A new note is shown by a run that its old note cannot play: a run
# that has ended shorter than any of the low note's, or one that has gone on
# longer than any of the high note's; and that run began after the old note
# was shown. So the frame found is at the new note's first frame or after it,
# never before.
FREQUENCY_FACTORS = (0.7 * 0.7, 1.3 * 1.3)
PHASE_SWING_HZ = 0.1 * 2 * math.pi * 50
# A loud sample: beyond half the carrier's lower level (10000).
LOUD = 5000
RUN_MARGIN = 3
# A note-on not heard within this long is counted unheard.
MIDI_SEARCH_S = 5


def midi_hz(note):
    """The range of frequencies that the carrier plays at MIDI `note` under
    the walk's modulators."""
    hz = 2 ** (note / 12) * 8.1757989
    return hz * FREQUENCY_FACTORS[0] - PHASE_SWING_HZ, hz * FREQUENCY_FACTORS[1] + PHASE_SWING_HZ


def heard_at(left, start, up, rate):
    """The index of the first sample at the carrier's new level, searched from
    `start` on, for a probe up or down; None when it was never heard."""
    before = left[max(0, start - rate // LOWEST_HZ) : start]
    peak = max((abs(v) for v in before), default=0)
    loud = sorted(abs(v) for v in before if abs(v) > peak / 2)
    if not loud:
        return None
    level = loud[len(loud) // 2]
    low, high = (level * (1 + PROBE_STEP / 2), 2 * level) if up else (level / 2, level * (1 - PROBE_STEP / 2))
    run = 0
    for i in range(start, len(left)):
        run = run + 1 if low < abs(left[i]) < high else 0
        if run == PLATEAU:
            return i - PLATEAU + 1
    return None


def pitch_shown(left, since, begin, high, rate, breaks):
    """The index of the first sample at which the recording shows the carrier
    at the high note (or the low one), by a run that begins after `since`,
    found at `begin` or later; None when none does within MIDI_SEARCH_S. A
    run across a break (cycles the recorder missed) shows nothing."""
    low_hz, high_hz = midi_hz(MIDI_LOW), midi_hz(MIDI_HIGH)
    # By loudness of the run, its bound in samples: a loud run is a third of
    # a cycle, a quiet one a sixth.
    if high:
        bound = {loud: rate / ((3 if loud else 6) * low_hz[1]) - RUN_MARGIN for loud in (False, True)}
    else:
        bound = {loud: rate / ((3 if loud else 6) * high_hz[0]) + RUN_MARGIN for loud in (False, True)}
    loud, run = abs(left[since]) > LOUD, None  # the run under way at `since` began before it
    for i in range(since + 1, min(len(left), begin + MIDI_SEARCH_S * rate)):
        now = abs(left[i]) > LOUD
        if i in breaks:
            loud, run = now, None
        elif now != loud:
            # A run has ended; shorter than any of the low note's, it was
            # played (in part) at the high one.
            if high and run is not None and i - run < bound[loud] and i >= begin:
                return i
            loud, run = now, i
        elif not high and run is not None and i - run + 1 > bound[loud] and i >= begin:
            # Longer already than any of the high note's.
            return i
    return None


def midi_to_sound(recording, probes, rate):
    """The MIDI probes' times, from the frame at which each note-on reached
    the program to the first frame at its note (s), each with when it was
    sent (s, on the monotonic clock), and the count of those never heard.
    Each note is searched for past the frame at which the previous one was
    heard, or where the previous one was not, past the frame at which its
    own old note is shown again."""
    firsts, left = recording.firsts, recording.left
    # The server's frame times, unwrapped.
    frames = recording.frames[:1]
    for a, b in zip(recording.frames, recording.frames[1:]):
        frames.append(frames[-1] + (b - a) % 2**32)
    breaks = {firsts[i] for i in range(1, len(firsts)) if recording.missed(i)}
    latencies, unheard, found = [], 0, None
    for high, frame, start_us in probes:
        # The note-on's frame, unwrapped as the period that began with its
        # cycle's start is.
        p = max(0, bisect.bisect_right(recording.starts, start_us / 1e6) - 1)
        sent = frames[p] + (frame - recording.frames[p] + 2**31) % 2**32 - 2**31
        q = bisect.bisect_right(frames, sent) - 1
        if q < 0:
            unheard += 1
            continue
        begin = min(firsts[q] + sent - frames[q], firsts[q + 1] if q + 1 < len(firsts) else len(left))
        if found is None:
            found = pitch_shown(left, begin, begin, not high, rate, breaks)
        if found is not None:
            # What came long enough before the note-on is the old note's.
            since = max(found, begin - rate // 50)
            found = pitch_shown(left, since, begin, high, rate, breaks)
        if found is None:
            unheard += 1
            continue
        r = bisect.bisect_right(firsts, found) - 1
        latencies.append(((frames[r] + found - firsts[r] - sent) / rate, start_us / 1e6))
    return latencies, unheard


def listen(recording, probes, rate, midi_probes=(), origin=None):
    """Reads `recording` (a Recording), made at `rate` Hz: the probes' times
    from the key to the start of the period that carries the first frame at
    the new level, the probes never heard, and the periods of silence once
    the sound has started (the carrier is never silent that long), and the
    MIDI probes' times and the count of those never heard, placed as the
    keys are: in seconds from `origin` (on the monotonic clock), by default
    the first sound."""
    starts, firsts, left = recording.starts, recording.firsts, recording.left
    latencies, unheard, frame = [], 0, 0
    # Keys are placed in time as the silences are: from the first sound.
    sounding = min(recording.sounding(), len(starts) - 1)
    first_sound = starts[sounding]
    origin = first_sound if origin is None else origin
    for sent, up in probes:
        # From the first period that the server ran after the key was sent
        # (what ran before could not carry it; a server that woke late runs
        # periods due earlier), and past the previous probe's first frame:
        # that one may come later still.
        period = min(bisect.bisect_right(recording.ran, sent), len(firsts) - 1)
        start = max(frame, firsts[period])
        found = heard_at(left, start, up, rate)
        if found is None:
            unheard += 1
            continue
        latencies.append((starts[bisect.bisect_right(firsts, found) - 1] - sent, sent - origin))
        frame = found + 1
    midi_latencies, midi_unheard = midi_to_sound(recording, midi_probes, rate)
    gaps, stalls = recording.silences()
    late, due = recording.latest_run()
    return {
        "midi_latencies": [(x, at - origin) for x, at in midi_latencies],
        "midi_unheard": midi_unheard,
        "latencies": latencies,
        "unheard": unheard,
        # The silences are counted from the first sound.
        "silences": sorted(round(at + first_sound - origin, 3) for at in gaps + stalls),
        "server_late": (late, due - origin),
        "first_sound": first_sound,
    }
