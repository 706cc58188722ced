// SPDX-License-Identifier: MIT
#include "platform/audio/facade/outputs.h"

#include "platform/audio/facade/fsound.h"

// On Windows the menu's output types are PortAudio's host APIs of the same
// names: DirectSound, and the multimedia waveout (MME). ASIO's SDK is not
// free to have, so its place goes to WASAPI, the other low-latency one. Any
// other type asked for through the calls (OSS, ALSA) is DirectSound, the
// system's own. A type is in force whether or not its host API has devices.
namespace {
struct Route {
    int requested;
    Output output;
};

const Route ROUTES[] = {
    {FSOUND_OUTPUT_WINMM, {FSOUND_OUTPUT_WINMM, &PORTAUDIO_MME}},
    {FSOUND_OUTPUT_ASIO, {FSOUND_OUTPUT_ASIO, &PORTAUDIO_WASAPI}},
};

const Output NATIVE = {FSOUND_OUTPUT_DSOUND, &PORTAUDIO_DIRECTSOUND};

// Every back-end above, in the order they are let go.
const Backend *const BACKENDS[] = {&PORTAUDIO_MME, &PORTAUDIO_WASAPI, &PORTAUDIO_DIRECTSOUND};

Output output_in_force(int requested) {
    for (const Route &route : ROUTES)
        if (route.requested == requested)
            return route.output;
    return NATIVE;
}
} // namespace

Output outputs_choose(int requested, std::vector<std::string> *drivers) {
    for (const Backend *backend : BACKENDS)
        backend->release();
    const Output output = output_in_force(requested);
    output.backend->list(drivers);
    return output;
}

void outputs_close() {
    for (const Backend *backend : BACKENDS)
        backend->end();
}
