// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_error.h"

// The audio library's error code for an output's failure, whose text the
// user reads: the one place where what went wrong below the calls is put in
// the library's words.
int fsound_error(AudioError error);
