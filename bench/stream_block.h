// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The block that the program's stream asks its callback for: 8192 stereo
// frames of two 16-bit samples.
constexpr int32_t BLOCK_BYTES = 32768;
constexpr long BLOCK_FRAMES = BLOCK_BYTES / 4;
