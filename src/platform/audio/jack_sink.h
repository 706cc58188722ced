// SPDX-License-Identifier: MIT
#pragma once

#include "audio_sink.h"

#include <memory>
#include <string>
#include <vector>

// The JACK output, spoken to directly: two ports on the program's JACK
// client, whose process callback plays frames from a lock-free ring that the
// stream thread fills. (PortAudio's blocking JACK path starts with a ring of its own full
// of silence, a tenth of a second ahead of every key.)

// Connects to the running JACK server, never starting one, and lists its
// sinks: the clients with at least two audio inputs ("system" for the sound
// card). False when no server runs. The connection is kept for jack_open.
bool jack_connect(std::vector<std::string> *sinks);

// A sink on the kept connection for frames at `rate` frames per second: two
// outputs, registered, started and connected to the first two inputs of
// `sink`. Null, with why in `*error`, on failure; the connection is given up
// either way.
std::unique_ptr<AudioSink> jack_open(const std::string &sink, int rate, AudioError *error);

// Closes the kept connection, if there is one. Harmless when the server has
// gone.
void jack_disconnect();
