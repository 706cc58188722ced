// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_error.h"

#include <cstdint>

// The contract between the stream thread and an output that plays its frames:
// a PortAudio device, the JACK client, or the clock that stands in for a
// device. A new output is one class that implements it, in a file of its own;
// nothing outside that file sees the sound library's types.
//
// Frames are the stream's own: interleaved little-endian 16-bit stereo at the
// stream's rate, whatever rate the device runs at; every count below is in
// such frames. A sink converts what it must on the stream thread, inside
// `write`, never on the device's thread.
//
// `start` is called once, on the thread that opened the sink, before the
// sink is handed to the stream thread; every other call comes from the stream
// thread while it plays on the sink. The sink is destroyed by the thread that
// opened it, once the stream thread has given it up or has ended.
class AudioSink {
  public:
    virtual ~AudioSink() = default;

    // Starts playing.
    virtual AudioError start() = 0;

    // The frames written and not yet played (`held`), and how many more it
    // takes now without waiting (`room`). False once the device has failed
    // for good (its server has gone away, say).
    virtual bool level(long *held, long *room) = 0;

    // Takes `count` frames, at most the room last reported. False when the
    // device failed.
    virtual bool write(const char *frames, long count) = 0;

    // The frames it plays at a time (a period), or 0 when it plays them
    // continuously.
    virtual long period() = 0;

    // How many times it has run dry since the first frames were written: one
    // count for each stretch of periods that found it short.
    virtual uint32_t dry_spells() = 0;
};
