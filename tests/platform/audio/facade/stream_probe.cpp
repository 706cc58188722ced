// SPDX-License-Identifier: MIT
#include "stream_probe.h"

#include "main_thread_signals_probe.h"

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

signed char probe_callback(FSOUND_STREAM *stream, void *buffer, int length, void *user_data) {
    Probe &p = *static_cast<Probe *>(user_data);
    p.inside = true;
    if (!main_thread_signals_blocked_here())
        p.signals_blocked = false;
    auto *samples = static_cast<int16_t *>(buffer);
    for (int i = 0; i < length / 2; i += 2, p.counter++)
        samples[i] = samples[i + 1] = p.counter;
    p.stream = stream;
    std::this_thread::sleep_for(20ms);
    p.inside = false;
    p.calls++;
    return 1;
}

bool within_20_s(bool (*done)(void *), void *context) {
    for (int ms = 0; ms < 20000 && !done(context); ms++)
        std::this_thread::sleep_for(1ms);
    return done(context);
}

int error_of(bool failed) {
    return failed ? FSOUND_GetError() : -1;
}
