// SPDX-License-Identifier: MIT
#include "synth/noise_rand.h"

namespace {
uint32_t state = 1;
}

int32_t noise_rand() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFF);
}
