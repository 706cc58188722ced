// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/frame_time.h"

namespace {
constexpr int64_t NS_PER_S = 1'000'000'000;
} // namespace

int64_t frames_to_ns(int64_t frames, int rate) {
    return frames / rate * NS_PER_S + frames % rate * NS_PER_S / rate;
}

int64_t ns_to_frames(int64_t ns, int rate) {
    return ns / NS_PER_S * rate + ns % NS_PER_S * rate / NS_PER_S;
}
