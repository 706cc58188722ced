// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_error.h"
#include "platform/audio/backends/audio_sink.h"

#include <memory>
#include <string>
#include <vector>

// A way to the sound devices: one of PortAudio's host APIs, or the JACK
// server. As PortAudio represents its host APIs, each back-end is one table
// of calls, defined in a file of its own; the output types reach them through
// each system's table of routes (facade/outputs_*.cpp), so that a new
// back-end is one file and one entry there. The calls come one at a time:
// from the main thread during the set-up and at the end, and meanwhile from
// the thread that opens the output again after it failed (facade/reopener.h),
// which lists the back-end again and opens the same device by name.
struct Backend {
    // Lists the devices that can play the stream, by name, in the order a
    // player should see them. False when the back-end is not there to play
    // on: no server answers, its sound library does not start, or it has no
    // such device. What opening one needs (a server connection) is kept
    // until `open` or `release`.
    bool (*list)(std::vector<std::string> *devices);

    // A sink on the device named `device` by the last list, for frames at
    // `rate` frames per second. Null, with why in `*error`, on failure.
    std::unique_ptr<AudioSink> (*open)(const std::string &device, int rate, AudioError *error);

    // Lets go of what the last list kept, if anything.
    void (*release)();

    // Ends the sound library beneath it, if it was started. Every sink on it
    // must be gone.
    void (*end)();
};

// PortAudio's host APIs (portaudio_backend.cpp). One that this system's
// PortAudio lacks is never there.
extern const Backend PORTAUDIO_ALSA;
extern const Backend PORTAUDIO_OSS;
extern const Backend PORTAUDIO_DIRECTSOUND;
extern const Backend PORTAUDIO_MME;
extern const Backend PORTAUDIO_WASAPI;

// The JACK server, spoken to directly (jack_backend.cpp); Linux only. Its
// calls may come from any thread, one at a time: the main thread, and the
// thread that reopens the output once its server has gone. After a server
// has gone and another (or the same) has started, at any rate, `list` sees
// the new server and `open` plays on a new client, connected to the inputs
// of the device named, at the new server's rate.
extern const Backend JACK_BACKEND;
