// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/facade/fsound.h"

#include <atomic>
#include <cstdint>

// What the audio layer's tests share: a stream callback that records what
// the layer hands it, and a few waits and checks.
constexpr int RATE = 44100;
constexpr int BLOCK_BYTES = 32768;
constexpr int BLOCK_FRAMES = BLOCK_BYTES / 4;

// The probe's frames count 0, 1, 2... left and right alike. Each call lasts
// 20 ms, so that a test can catch the layer in the middle of one.
struct Probe {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false}, signals_blocked{true};
    std::atomic<FSOUND_STREAM *> stream{nullptr};
    int16_t counter = 0; // the value of the next frame
};

// The stream callback; its user data is a Probe.
signed char probe_callback(FSOUND_STREAM *stream, void *buffer, int length, void *user_data);

// Waits until `done()` holds, for 20 s at most; returns whether it does.
bool within_20_s(bool (*done)(void *), void *context);
template <class Condition> bool within_20_s(Condition done) {
    return within_20_s([](void *c) { return (*static_cast<Condition *>(c))(); }, &done);
}

// The error that a failed call left, or -1 when the call succeeded.
int error_of(bool failed);
