// SPDX-License-Identifier: MIT
#include "platform/audio/backends/portaudio_host.h"

#include <pa_win_wasapi.h>

// What MME, DirectSound and WASAPI were tried with.
const double PORTAUDIO_BUFFER_S = 0.03;

// PortAudio is built for this program with the Windows host APIs it needs,
// and without its diagnostics: there is nothing to keep quiet.
void portaudio_prepare_host() {}

// MME and WASAPI play through the Windows audio engine, which takes its
// clients' frames 10 ms at a time (and so does wine's driver).
long portaudio_engine_period(PaHostApiTypeId api, int rate) {
    constexpr long ENGINE_PERIOD_MS = 10;
    return api == paMME || api == paWASAPI ? rate * ENGINE_PERIOD_MS / 1000 : 0;
}

bool portaudio_device_hidden(const char *) {
    return false;
}

namespace {
bool on_wasapi(const PaStreamParameters &out) {
    const PaHostApiInfo *api = Pa_GetHostApiInfo(Pa_GetDeviceInfo(out.device)->hostApi);
    return api && api->type == paWASAPI;
}

PaError open_stream(PaStream **stream, const PaStreamParameters &out, int rate,
                    PaStreamCallback *callback, void *user_data) {
    return Pa_OpenStream(stream, nullptr, &out, rate, paFramesPerBufferUnspecified, paNoFlag,
                         callback, user_data);
}
} // namespace

// WASAPI's shared mode plays only at the rate the system mixes at, 48000 Hz
// on most machines, and this PortAudio cannot have the system convert. Where
// shared mode refuses the stream's format, the device is taken in exclusive
// mode, at the stream's own format, as an ASIO driver takes it.
PaError portaudio_open_stream(PaStream **stream, const PaStreamParameters &out, int rate,
                              PaStreamCallback *callback, void *user_data) {
    const PaError shared = open_stream(stream, out, rate, callback, user_data);
    if (!on_wasapi(out) || (shared != paInvalidSampleRate && shared != paSampleFormatNotSupported))
        return shared;
    PaWasapiStreamInfo exclusive = {};
    exclusive.size = sizeof exclusive;
    exclusive.hostApiType = paWASAPI;
    exclusive.version = 1;
    exclusive.flags = paWinWasapiExclusive;
    PaStreamParameters taken = out;
    taken.hostApiSpecificStreamInfo = &exclusive;
    return open_stream(stream, taken, rate, callback, user_data);
}
