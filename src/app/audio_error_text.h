// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The text for an error code of the audio library; "Unknown error" for codes
// it does not define.
const char *audio_error_text(int32_t code);

// Prints "Error!" and the text of the audio library's latest error.
void report_audio_failure();
