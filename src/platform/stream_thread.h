#pragma once

#include "fsound.h"

#include <cstdint>
#include <portaudio.h>

// The stream: the caller's callback and the block it fills.
struct FSOUND_STREAM {
    FSOUND_STREAMCALLBACK callback;
    void *user_data;
    int length;
    char *block;
};

// Starts the layer's own thread, which has the callback fill one block after
// another and writes each to `device` as the device makes room for it; with
// no device the blocks are discarded at real time. The callback runs on
// this thread only. False when the thread cannot start.
bool stream_thread_start(FSOUND_STREAM *stream, PaStream *device, int rate);

// Stops the thread, waking it from any wait, and waits until it has ended.
// Returns how long it ran, in nanoseconds.
int64_t stream_thread_stop();
