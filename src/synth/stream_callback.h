// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

struct FSOUND_STREAM;

// Fills an audio block of `length` bytes with 16-bit little-endian stereo
// frames of the patch, left equal to right, reporting its progress as it
// goes, then runs the preview of the patch and publishes it. `user_data` is
// the stream's StreamContext. Called on the audio thread, one call at a
// time. Always returns 1.
signed char stream_callback(FSOUND_STREAM *stream, void *buffer, int32_t length, void *user_data);
