// SPDX-License-Identifier: MIT
#pragma once

#include "audio_sink.h"
#include "audio_stats.h"
#include "fsound.h"

#include <cstdint>

// The stream: the caller's callback and the block it fills.
struct FSOUND_STREAM {
    FSOUND_STREAMCALLBACK callback;
    void *user_data;
    int length; // bytes
    char *block;
};

// Starts the layer's own thread, which has the callback fill one block after
// another and hands the frames to `device` (with none, to the clock) as they
// are made, paced by the pacer at `rate` frames per second. The callback runs
// on this thread only. False when the thread cannot start.
bool stream_thread_start(FSOUND_STREAM *stream, AudioSink *device, int rate);

// What the stream did, and for how long.
struct StreamRun {
    AudioStats stats;
    int64_t elapsed_ns;
};

// Stops the thread, waking it from any wait, and waits until it has ended.
StreamRun stream_thread_stop();
