// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/pacing/stream_time.h"

#include <algorithm>
#include <cstdint>

// Time that passes only when the pacer waits: a wait ends at its deadline,
// or later by `late_ns` once, as when the thread wakes late or the whole
// process was stopped. Nothing really sleeps. From `stop_ns` on, every wait
// is cut short, as when the stream is stopped, so that a pacer that would
// wait for ever ends.
class FakeTime final : public StreamTime {
  public:
    explicit FakeTime(int64_t start_ns = 0) : now(start_ns) {}

    int64_t now_ns() override { return now; }
    bool wait_until(int64_t deadline_ns) override {
        waits++;
        now = std::max(now, deadline_ns) + late_ns;
        late_ns = 0;
        return now < stop_ns;
    }

    int64_t now;
    int64_t late_ns = 0;
    int waits = 0;
    int64_t stop_ns = INT64_MAX;
};
