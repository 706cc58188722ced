// SPDX-License-Identifier: MIT
#include "outputs.h"

#include "fsound.h"
#include "jack_client.h"
#include "jack_sink.h"
#include "portaudio_sink.h"

#include <algorithm>

// On Linux the menu's output types reach ALSA, with OSS for the Windows
// waveout where it has devices, and the JACK output for ASIO, the low-latency
// one, while a JACK server runs.
namespace {
struct Choice {
    bool jack = false;
    PortAudioApi api = PortAudioApi::Alsa;
};
Choice choice;

// ALSA's `default` is the device a player should pick: on a desktop it
// reaches PipeWire or PulseAudio, elsewhere the first sound card.
void default_first(std::vector<std::string> *names) {
    const auto found = std::find(names->begin(), names->end(), "default");
    if (found != names->end())
        std::rotate(names->begin(), found, found + 1);
}
} // namespace

int outputs_choose(int requested, std::vector<std::string> *drivers) {
    jack_keep_quiet();
    jack_disconnect();
    choice = Choice();
    if (requested == FSOUND_OUTPUT_ASIO && jack_connect(drivers)) {
        choice.jack = true;
        return FSOUND_OUTPUT_ASIO;
    }
    drivers->clear();
    if (!portaudio_start())
        return FSOUND_OUTPUT_ALSA;
    if (requested == FSOUND_OUTPUT_WINMM || requested == FSOUND_OUTPUT_OSS) {
        *drivers = portaudio_devices(PortAudioApi::Oss);
        if (!drivers->empty()) {
            choice.api = PortAudioApi::Oss;
            return FSOUND_OUTPUT_OSS;
        }
    }
    *drivers = portaudio_devices(PortAudioApi::Alsa);
    default_first(drivers);
    return FSOUND_OUTPUT_ALSA;
}

std::unique_ptr<AudioSink> outputs_open(const std::vector<std::string> &drivers, int index,
                                        int rate, AudioError *error) {
    if (choice.jack)
        return jack_open(drivers[index], rate, error);
    return portaudio_open(choice.api, drivers[index], rate, error);
}

void outputs_close() {
    jack_disconnect();
    portaudio_end();
    choice = Choice();
}
