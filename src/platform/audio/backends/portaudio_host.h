// SPDX-License-Identifier: MIT
#pragma once

#include <portaudio.h>

// What differs from one system to another in the PortAudio sink. The file
// that implements these also sets which host APIs PortAudio starts.

// A short device buffer, in seconds, which PortAudio divides into a few
// periods; the stream keeps at least a period ahead (ahead_time.h).
extern const double PORTAUDIO_BUFFER_S;

// Before PortAudio starts: this system's sound libraries kept quiet on the
// console.
void portaudio_prepare_host();

// The period (frames at `rate`) in which the system's audio engine takes the
// frames of a device of `api`, whatever buffer PortAudio asked for; 0 where
// no engine sets one.
long portaudio_engine_period(PaHostApiTypeId api, int rate);

// Whether a device that PortAudio lists is left out of the program's list:
// one that reaches the same place as another listed device by a longer way.
bool portaudio_device_hidden(const char *name);

// Opens an output stream on `out` at `rate` frames per second, the way this
// system's host APIs need it: written with the blocking calls, or with no
// `callback`, played from `callback`.
PaError portaudio_open_stream(PaStream **stream, const PaStreamParameters &out, int rate,
                              PaStreamCallback *callback, void *user_data);
