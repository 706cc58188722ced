# SPDX-License-Identifier: MIT
"""What `jack_probe record` wrote: every period that the server played, with
its start and its frame time, and the frames the sink was fed in it."""

import array
import struct

HEADER = struct.Struct("=qqqq")


class Recording:
    """The periods' start times and the times they were run (s, on the
    monotonic clock), their frame times (frames, modulo 2^32), the indices of
    their first frames, and the left samples of all of them."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        self.starts, self.ran, self.frames, self.firsts = [], [], [], []
        self.left = array.array("h")
        at = 0
        while at < len(data):
            start_us, frame, count, ran_us = HEADER.unpack_from(data, at)
            at += HEADER.size
            self.starts.append(start_us / 1e6)
            self.ran.append(ran_us / 1e6)
            self.frames.append(frame)
            self.firsts.append(len(self.left))
            self.left.extend(array.array("h", data[at : at + 4 * count])[::2])
            at += 4 * count

    def periods(self):
        ends = self.firsts[1:] + [len(self.left)]
        return [self.left[a:b] for a, b in zip(self.firsts, ends)]

    def missed(self, i):
        """Whether the server ran cycles between period `i` - 1 and `i` that
        the recorder was not given: its frame time moved on by more than the
        previous period."""
        step = (self.frames[i] - self.frames[i - 1]) % 2**32
        return i > 0 and step > self.firsts[i] - self.firsts[i - 1]

    def sounding(self):
        """The first period with sound in it; past the last without any."""
        return next((i for i, p in enumerate(self.periods()) if any(p)), len(self.starts))

    def latest_run(self):
        """The period, once the sound has started, that the server ran the
        longest after it was due: how long after (s), and when it was due
        (s, on the monotonic clock). A late server delays every key that
        waits for it, whatever the program did."""
        sounding = self.sounding()
        runs = [(self.ran[i] - self.starts[i], self.starts[i]) for i in range(sounding, len(self.starts))]
        return max(runs, default=(0.0, 0.0))

    def silences(self):
        """The periods of silence once the sound has started (the carrier is
        never silent that long), as two lists of their starts in seconds
        from the first sound: the gaps in what the sink was fed, and those
        that come right after cycles the recorder missed, where the graph
        itself stalled and its clients fell behind together."""
        periods = self.periods()
        sounding = self.sounding()
        gaps, stalls = [], []
        stalled = False
        for i in range(sounding, len(periods)):
            stalled = self.missed(i) or (stalled and not any(periods[i]))
            if not any(periods[i]):
                (stalls if stalled else gaps).append(round(self.starts[i] - self.starts[sounding], 3))
        return gaps, stalls
