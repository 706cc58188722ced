// SPDX-License-Identifier: MIT
#pragma once

#include "audio_sink.h"

#include <memory>
#include <string>
#include <vector>

// The sound devices, through PortAudio: the devices of the host APIs that
// the output types stand for, and a sink that plays the stream on one of
// them with PortAudio's blocking calls.

// The host APIs that the output types reach, on Linux and on Windows.
enum class PortAudioApi { Alsa, Oss, DirectSound, Mme, Wasapi };

// Starts PortAudio once, with this system's host APIs, and keeps the sound
// libraries' own diagnostics off the console. False when it cannot start.
bool portaudio_start();

// Ends PortAudio, if it was started. Every sink on it must be gone.
void portaudio_end();

// The devices of `api` that can play stereo, by name, in PortAudio's order;
// none when PortAudio or that host API is not there.
std::vector<std::string> portaudio_devices(PortAudioApi api);

// A sink on the device of `api` named `name` (the first of that name), for
// frames at `rate` frames per second. Null, with why in `*error`, when it
// cannot be opened.
std::unique_ptr<AudioSink> portaudio_open(PortAudioApi api, const std::string &name, int rate,
                                          AudioError *error);
