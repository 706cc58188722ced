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

// Where the frames go: a clock that plays them unheard at real time, a
// PortAudio device, or the JACK output.
enum class StreamSink { Clock, PortAudio, Jack };

// Starts the layer's own thread, which has the callback fill one block after
// another and hands the frames to `sink` (with PortAudio, `device`) as they
// are made, keeping the sink only a little ahead of what it plays. The
// callback runs on this thread only. False when the thread cannot start.
bool stream_thread_start(FSOUND_STREAM *stream, StreamSink sink, PaStream *device, int rate);

// Stops the thread, waking it from any wait, and waits until it has ended.
// Returns how long it ran, in nanoseconds.
int64_t stream_thread_stop();
