#pragma once

#include <cstdint>

// With no device, or one that has failed, a clock stands in for it and plays
// the frames unheard at real time: those handed to it since `origin_ns` are
// played by now, or it still holds them.
struct ClockSink {
    int rate;
    long block_frames;
    int64_t origin_ns;
    int64_t frames; // handed to it since `origin_ns`
};

void clock_start(ClockSink &clock, int64_t now_ns);

// The frames it still holds at `now_ns`: none when the stream is late.
// Nothing is heard, so nothing can break up: a late wake-up is made good by
// the frames that follow at once, and the stream keeps to real time. Only
// when the stream has fallen more than a block behind, which takes a stop of
// the whole process (Ctrl-Z), does the clock start again from now, so that
// the stream goes on at its pace rather than in a burst.
long clock_held(ClockSink &clock, int64_t now_ns);
