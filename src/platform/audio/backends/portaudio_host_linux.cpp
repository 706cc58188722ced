// SPDX-License-Identifier: MIT
#include "platform/audio/backends/portaudio_host.h"

#include "platform/jack_client.h"

#include <alsa/asoundlib.h>
#include <cstring>
#include <portaudio.h>
#include <string>

// Two customisation points of PortAudio's static archive that its public
// headers do not declare: the function that its reports of failed ALSA calls
// go through, and the table of host APIs that Pa_Initialize starts, which its
// own build fills with every host API it has. Ours leaves JACK out: its host
// API keeps a client of its own open in the server for as long as PortAudio
// runs, idle, since the JACK output has a client of its own. ALSA's `jack`
// PCMs are ALSA devices and stay listed.
extern "C" {
void PaUtil_SetDebugPrintFunction(void (*print)(const char *text));
struct PaUtilHostApiRepresentation;
typedef PaError PaUtilHostApiInitializer(PaUtilHostApiRepresentation **, PaHostApiIndex);
PaUtilHostApiInitializer PaAlsa_Initialize, PaOSS_Initialize;
PaUtilHostApiInitializer *paHostApiInitializers[] = {PaAlsa_Initialize, PaOSS_Initialize, nullptr};
}

// PipeWire's ALSA device runs the desktop's graph at about the period: 20 ms
// gives periods of 5 ms and a quantum of 128 frames at 48 kHz.
const double PORTAUDIO_BUFFER_S = 0.02;

namespace {
void silent_alsa(const char *, int, const char *, int, const char *, ...) {}
void silent_text(const char *) {}

// The plugin type of ALSA's `default` PCM as the configuration defines it
// ("pipewire", "pulse", "plug"...); empty when it has none.
std::string default_pcm_type() {
    snd_config_t *definition = nullptr;
    if (snd_config_update() < 0 ||
        snd_config_search_definition(snd_config, "pcm", "default", &definition) < 0)
        return "";
    snd_config_t *type = nullptr;
    const char *name = nullptr;
    std::string found;
    if (snd_config_search(definition, "type", &type) >= 0 &&
        snd_config_get_string(type, &name) >= 0)
        found = name;
    snd_config_delete(definition);
    return found;
}
} // namespace

// ALSA and PortAudio report every device they fail to probe; the console
// belongs to the program, so all of that is dropped. ALSA's `jack` PCMs
// speak to JACK through libjack, which must neither talk nor start a server.
void portaudio_prepare_host() {
    jack_keep_quiet();
    snd_lib_error_set_handler(silent_alsa);
    PaUtil_SetDebugPrintFunction(silent_text);
}

// ALSA's period is the one PortAudio asked for.
long portaudio_engine_period(PaHostApiTypeId, int) {
    return 0;
}

// ALSA's `pulse` plugin reaches the desktop's sound server over the
// PulseAudio protocol, through a thread and a buffer of its own whose gaps
// the program never sees (it reports room from the server's credit). Where
// `default` is the server's own plugin (PipeWire's, or PulseAudio's), it
// reaches the same server without them: `pulse` is left out.
bool portaudio_device_hidden(const char *name) {
    if (std::strcmp(name, "pulse") != 0)
        return false;
    const std::string type = default_pcm_type();
    return type == "pipewire" || type == "pulse";
}

PaError portaudio_open_stream(PaStream **stream, const PaStreamParameters &out, int rate,
                              PaStreamCallback *callback, void *user_data) {
    return Pa_OpenStream(stream, nullptr, &out, rate, paFramesPerBufferUnspecified, paNoFlag,
                         callback, user_data);
}
