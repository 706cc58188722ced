#pragma once

#include "fsound.h"

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <signal.h>
#include <string>

// A stream callback that records what the layer hands it.
struct StreamProbe {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> stop_signals_blocked{true};
    std::atomic<FSOUND_STREAM *> stream{nullptr};
    std::atomic<int> length{0};
    std::atomic<pthread_t> thread{};
    // Every frame gets the next value of a 16-bit counter, left equal to right.
    uint16_t counter = 0;
};

signed char probe_callback(FSOUND_STREAM *stream, void *buffer, int length, void *user_data);

// Waits until the probe has seen `calls` callbacks; false after 20 s.
bool wait_for_calls(const StreamProbe &probe, int calls);

// The contents of a file, empty if it cannot be read.
std::string read_file(const std::string &path);
