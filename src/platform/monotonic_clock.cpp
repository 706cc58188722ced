// SPDX-License-Identifier: MIT
#include "platform/monotonic_clock.h"

#include <chrono>

// The standard library's steady clock is CLOCK_MONOTONIC on Linux and the
// performance counter on Windows.
int64_t monotonic_ns() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}
