// SPDX-License-Identifier: MIT
#include "outputs.h"

#include "fsound.h"
#include "portaudio_sink.h"

// On Windows the menu's output types are PortAudio's host APIs of the same
// names: DirectSound, and the multimedia waveout (MME). ASIO's SDK is not
// free to have, so its place goes to WASAPI, the other low-latency one. Any
// other type asked for through the calls (OSS, ALSA) is DirectSound, the
// system's own.
namespace {
struct Choice {
    PortAudioApi api = PortAudioApi::DirectSound;
};
Choice choice;

int output_in_force(int requested) {
    switch (requested) {
    case FSOUND_OUTPUT_WINMM:
        choice.api = PortAudioApi::Mme;
        return FSOUND_OUTPUT_WINMM;
    case FSOUND_OUTPUT_ASIO:
        choice.api = PortAudioApi::Wasapi;
        return FSOUND_OUTPUT_ASIO;
    default:
        choice.api = PortAudioApi::DirectSound;
        return FSOUND_OUTPUT_DSOUND;
    }
}
} // namespace

int outputs_choose(int requested, std::vector<std::string> *drivers) {
    choice = Choice();
    const int output = output_in_force(requested);
    drivers->clear();
    if (portaudio_start())
        *drivers = portaudio_devices(choice.api);
    return output;
}

std::unique_ptr<AudioSink> outputs_open(const std::vector<std::string> &drivers, int index,
                                        int rate, AudioError *error) {
    return portaudio_open(choice.api, drivers[index], rate, error);
}

void outputs_close() {
    portaudio_end();
    choice = Choice();
}
