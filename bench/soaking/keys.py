# SPDX-License-Identifier: MIT
"""The keys that the soak sends: a random walk of every setting between
bounds, and the probes, bursts of amplitude keys whose sound is timed."""

import random

from rig.program import KEYS, NOTE_KEYS
from rig.program import STEPPED as PROGRAM_STEPPED

KEYS_PER_S = 20

# Probe keys: the carrier's amplitude up and down by a fifth in turn, twenty
# keys at once, at random gaps so that they fall anywhere in a block, and
# whether each takes the carrier up.
PROBE_KEYS = 20
PROBES = (("z" * PROBE_KEYS, True), ("s" * PROBE_KEYS, False))
PROBE_STEP = 0.2
PROBE_GAP_S = (0.2, 0.5)

# Every key of the program's but "-", which changes nothing, in the order
# that fixes the walk's sequence.
KEY_TABLE = "aq+wxcvbn,;zserdftgyhujikolpm"
assert set(KEY_TABLE) == set(KEYS) - {"-"}
# Where the sound is recorded, the walk leaves the carrier's levels alone so
# that the probes can be heard: no waveform change, no amplitude keys, no
# amplitude modulator. It also keeps the carrier's frequency well above 0, so
# that its silences (two a cycle, a sixth of a cycle each) stay far shorter
# than a period: the note at least 220 Hz, the frequency depths at most 0.3
# (a factor of 0.49 at worst) and the phase depth at most 0.1 (a swing of at
# most 31 Hz at 50 Hz).
LEVEL_KEEPING_KEYS = "aqwxcvbn,;tgyhujikolpm"
LEVEL_KEEPING_BOUNDS = {"a": (46, 76), "y": (0, 30), "i": (0, 10), "p": (0, 30)}
# With MIDI the note is the keyboard's: the walk sends no note key.
MIDI_WALK_KEYS = "tgyhujikolpm"

# The stepped settings' ranges, counted in steps, by increasing key: the
# note within an octave and a half of 440 Hz, the carrier's amplitude down
# to 0.2, the modulators at most 20, 10, 50 and 50 Hz, and every depth
# within 0 to 1.
RANGES = {
    "a": (40, 76),
    "z": (20, 100),
    "e": (0, 40),
    "r": (0, 100),
    "t": (0, 100),
    "y": (0, 100),
    "u": (0, 50),
    "i": (0, 100),
    "o": (0, 50),
    "p": (0, 100),
}
# Each stepped setting as its increasing and decreasing key, its start and
# its range.
STEPPED = [(up, down, start, *RANGES[up]) for up, down, start in PROGRAM_STEPPED]


class KeyWalk:
    """Random keys from `keys`, but a key that would step its setting out of
    range is sent as the opposite key: a random walk of every setting between
    bounds, the `bounds` given by increasing key or those of STEPPED, with the
    note keys bringing the note back near 440 Hz and "+" turning the
    waveforms over."""

    def __init__(self, keys=KEY_TABLE, bounds=None):
        self.rng = random.Random(1)
        self.keys = keys
        self.steps = {key: i for i, row in enumerate(STEPPED) for key in row[:2]}
        self.values = [row[2] for row in STEPPED]
        self.bounds = [(bounds or {}).get(row[0], row[3:]) for row in STEPPED]

    def into_bounds(self):
        """The keys that bring every setting down into its bounds."""
        keys = ""
        for i, (_, down, start, _, _) in enumerate(STEPPED):
            keys += down * max(0, start - self.bounds[i][1])
            self.values[i] = min(start, self.bounds[i][1])
        return keys

    def next_key(self):
        key = self.rng.choice(self.keys)
        if key in NOTE_KEYS:
            self.values[0] = NOTE_KEYS[key]
        if key not in self.steps:
            return key
        i = self.steps[key]
        up, down = STEPPED[i][:2]
        low, high = self.bounds[i]
        step = 1 if key == up else -1
        if not low <= self.values[i] + step <= high:
            step = -step
        self.values[i] += step
        return up if step > 0 else down
