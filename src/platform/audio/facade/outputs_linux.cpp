// SPDX-License-Identifier: MIT
#include "platform/audio/facade/outputs.h"

#include "platform/audio/facade/fsound.h"

// On Linux the menu's output types reach ALSA, with OSS for the Windows
// waveout where it has devices, and the JACK output for ASIO, the low-latency
// one, while a JACK server runs.
namespace {
struct Route {
    int requested;
    Output output;
};

// Tried in order for the type asked for: the first whose back-end is there
// is in force.
const Route ROUTES[] = {
    {FSOUND_OUTPUT_ASIO, {FSOUND_OUTPUT_ASIO, &JACK_BACKEND}},
    {FSOUND_OUTPUT_WINMM, {FSOUND_OUTPUT_OSS, &PORTAUDIO_OSS}},
    {FSOUND_OUTPUT_OSS, {FSOUND_OUTPUT_OSS, &PORTAUDIO_OSS}},
};

// In force for every other type, and when the routes' back-ends are not
// there, whatever it finds.
const Output NATIVE = {FSOUND_OUTPUT_ALSA, &PORTAUDIO_ALSA};

// Every back-end above, in the order they are let go.
const Backend *const BACKENDS[] = {&JACK_BACKEND, &PORTAUDIO_OSS, &PORTAUDIO_ALSA};
} // namespace

Output outputs_choose(int requested, std::vector<std::string> *drivers) {
    for (const Backend *backend : BACKENDS)
        backend->release();
    for (const Route &route : ROUTES)
        if (route.requested == requested && route.output.backend->list(drivers))
            return route.output;
    NATIVE.backend->list(drivers);
    return NATIVE;
}

void outputs_close() {
    for (const Backend *backend : BACKENDS)
        backend->end();
}
