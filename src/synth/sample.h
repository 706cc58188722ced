// SPDX-License-Identifier: MIT
#pragma once

#include "synth/truncate.h"

#include <cstdint>

// The level of a carrier output in sample units: 1.0 is 10000.
inline float carrier_level(float output) {
    return static_cast<float>(output * 10000.0);
}

// The 16-bit sample of a carrier output: the low 16 bits of the truncated
// level, so that levels beyond the 16-bit range wrap instead of clipping.
// A level that is not a number or is infinite gives 0.
inline int16_t pcm_sample(float output) {
    return static_cast<int16_t>(static_cast<uint16_t>(truncate_to_int32(carrier_level(output))));
}
