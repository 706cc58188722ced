// SPDX-License-Identifier: MIT
#pragma once

// The audio library's calls, as the program uses them: output type and
// driver selection, mixer start, error codes and an endless stream whose
// blocks come from a callback on the library's own thread.

#include "common/progress_hook.h"

struct FSOUND_STREAM;

typedef signed char (*FSOUND_STREAMCALLBACK)(FSOUND_STREAM *stream, void *buffer, int length,
                                             void *user_data);

enum {
    FSOUND_OUTPUT_NOSOUND = 0,
    FSOUND_OUTPUT_WINMM = 1,
    FSOUND_OUTPUT_DSOUND = 2,
    FSOUND_OUTPUT_OSS = 4,
    FSOUND_OUTPUT_ALSA = 6,
    FSOUND_OUTPUT_ASIO = 7,
};

enum {
    FMOD_ERR_NONE = 0,
    FMOD_ERR_BUSY = 1,
    FMOD_ERR_UNINITIALIZED = 2,
    FMOD_ERR_INIT = 3,
    FMOD_ERR_ALLOCATED = 4,
    FMOD_ERR_PLAY = 5,
    FMOD_ERR_OUTPUT_FORMAT = 6,
    FMOD_ERR_MEMORY = 12,
    FMOD_ERR_INVALID_PARAM = 14,
};

float FSOUND_GetVersion();
signed char FSOUND_SetOutput(int output);
int FSOUND_GetOutput();
int FSOUND_GetNumDrivers();
const char *FSOUND_GetDriverName(int driver);
signed char FSOUND_SetDriver(int driver);
signed char FSOUND_Init(int mix_rate, int max_channels, unsigned int flags);
int FSOUND_GetError();
FSOUND_STREAM *FSOUND_Stream_Create(FSOUND_STREAMCALLBACK callback, int length, unsigned int mode,
                                    int sample_rate, void *user_data);
int FSOUND_Stream_Play(int channel, FSOUND_STREAM *stream);
// Stops the stream (waiting for a callback in progress to return) and closes
// the output. Safe to call at any time, more than once.
void FSOUND_Close();

// This layer's own, beside the library's calls: where a stream's callback
// reports the frames it has finished, so that each piece goes to the device
// as soon as it is made and the callback is held back until the device needs
// more. Valid for the life of the process; it acts only from inside the
// callback.
ProgressHook audio_progress_hook();
