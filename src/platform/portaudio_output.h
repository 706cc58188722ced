#pragma once

#include <portaudio.h>

#include <vector>

// The sound devices, through PortAudio: which of its host APIs stands for an
// output type, the devices it offers, and opening one for the stream.

// Starts PortAudio once, with the sound libraries' own diagnostics silenced
// and without ever starting a JACK server. False when it cannot start.
bool host_start();
// Closes `stream` (when there is one) and ends PortAudio, if it was started.
void host_close(PaStream *stream);

// The output type in force when `requested` is asked for (OSS where it has
// devices, otherwise ALSA), and the host API that serves it (negative when
// there is none).
int host_output_in_force(int requested, PaHostApiIndex *api);

// The devices of `api` that can play stereo, in PortAudio's order.
std::vector<PaDeviceIndex> host_stereo_devices(PaHostApiIndex api);

// Opens `device` for interleaved 16-bit stereo at `rate` frames per second,
// written with the blocking calls. Returns an FMOD_ERR_* code.
int host_open(PaDeviceIndex device, int rate, PaStream **stream);
// Starts an opened stream. Returns an FMOD_ERR_* code.
int host_start_stream(PaStream *stream);
