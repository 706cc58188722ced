// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_sink.h"
#include "platform/audio/pacing/stream_time.h"

#include <cstdint>

// With no device, or one that has failed, a clock stands in for it and plays
// the frames unheard at real time: those written since it started are played
// by now, or it still holds them. Nothing is heard, so nothing can break up:
// a late wake-up is made good by the frames that follow at once, and the
// stream keeps to real time. Only when the stream has fallen more than a
// block behind, which takes a stop of the whole process (Ctrl-Z), does the
// clock start again from the present, so that the stream goes on at its pace
// rather than in a burst.
class ClockSink final : public AudioSink {
  public:
    ClockSink(StreamTime &time, int rate, long block_frames);

    // From now on, holding nothing.
    void restart();

    AudioError start() override;
    // Takes a block at any time; holds none when the stream is late.
    bool level(long *held, long *room) override;
    bool write(const char *frames, long count) override;
    long period() override { return 0; }
    uint32_t dry_spells() override { return 0; }

  private:
    StreamTime &time;
    int rate;
    long block_frames;
    int64_t origin_ns = 0;
    int64_t frames = 0; // written since origin_ns
};
