// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The noise source: a linear congruential generator whose state starts at 1
// and is never seeded, so every run draws the same sequence. Audio thread only.
int32_t noise_rand();
