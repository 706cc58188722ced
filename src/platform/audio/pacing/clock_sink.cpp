// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/clock_sink.h"

#include "platform/audio/pacing/frame_time.h"

#include <algorithm>

ClockSink::ClockSink(StreamTime &time, int rate, long block_frames)
    : time(time), rate(rate), block_frames(block_frames) {
    restart();
}

void ClockSink::restart() {
    origin_ns = time.now_ns();
    frames = 0;
}

AudioError ClockSink::start() {
    restart();
    return AudioError::None;
}

bool ClockSink::level(long *held, long *room) {
    const int64_t played = ns_to_frames(time.now_ns() - origin_ns, rate);
    if (played > frames + block_frames)
        restart();
    *held = static_cast<long>(std::max<int64_t>(frames - played, 0));
    *room = block_frames;
    return true;
}

bool ClockSink::write(const char *, long count) {
    frames += count;
    return true;
}
