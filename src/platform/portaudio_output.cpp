#include "portaudio_output.h"

#include "fsound.h"
#include "stop_signals.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdlib>
#include <jack/jack.h>

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

namespace {
// A short device buffer: the stream thread computes each block just before
// the device needs it, so this is most of the delay from key to sound.
constexpr double DEVICE_BUFFER_S = 0.03;

bool started = false;

void silent_alsa(const char *, int, const char *, int, const char *, ...) {}
void silent_text(const char *) {}

// ALSA, JACK and PortAudio report every device they fail to probe; the
// console belongs to the program, so all of that is dropped. A JACK server
// is used when one runs, never started for us.
void silence_libraries() {
    snd_lib_error_set_handler(silent_alsa);
    jack_set_error_function(silent_text);
    jack_set_info_function(silent_text);
    PaUtil_SetDebugPrintFunction(silent_text);
    setenv("JACK_NO_START_SERVER", "1", 0);
}

bool alsa_device_busy() {
    const PaHostErrorInfo *info = Pa_GetLastHostErrorInfo();
    return info->hostApiType == paALSA && info->errorCode == -EBUSY;
}

int fmod_error(PaError error) {
    switch (error) {
    case paNoError:
        return FMOD_ERR_NONE;
    case paInsufficientMemory:
        return FMOD_ERR_MEMORY;
    case paSampleFormatNotSupported:
    case paInvalidSampleRate:
    case paInvalidChannelCount:
        return FMOD_ERR_OUTPUT_FORMAT;
    case paDeviceUnavailable:
        return FMOD_ERR_ALLOCATED;
    case paUnanticipatedHostError:
        return alsa_device_busy() ? FMOD_ERR_ALLOCATED : FMOD_ERR_INIT;
    default:
        return FMOD_ERR_INIT;
    }
}
} // namespace

bool host_start() {
    if (started)
        return true;
    silence_libraries();
    const sigset_t previous = block_stop_signals();
    started = Pa_Initialize() == paNoError;
    restore_signals(previous);
    return started;
}

void host_close(PaStream *stream) {
    if (!started)
        return;
    if (stream)
        Pa_CloseStream(stream);
    Pa_Terminate();
    started = false;
}

int host_output_in_force(int requested, PaHostApiIndex *api) {
    const PaHostApiIndex oss = Pa_HostApiTypeIdToHostApiIndex(paOSS);
    const bool wants_oss = requested == FSOUND_OUTPUT_WINMM || requested == FSOUND_OUTPUT_OSS;
    if (wants_oss && oss >= 0 && !host_stereo_devices(oss).empty()) {
        *api = oss;
        return FSOUND_OUTPUT_OSS;
    }
    *api = Pa_HostApiTypeIdToHostApiIndex(paALSA);
    return FSOUND_OUTPUT_ALSA;
}

std::vector<PaDeviceIndex> host_stereo_devices(PaHostApiIndex api) {
    std::vector<PaDeviceIndex> devices;
    const PaHostApiInfo *info = Pa_GetHostApiInfo(api);
    for (int i = 0; info && i < info->deviceCount; i++) {
        const PaDeviceIndex device = Pa_HostApiDeviceIndexToDeviceIndex(api, i);
        if (Pa_GetDeviceInfo(device)->maxOutputChannels >= 2)
            devices.push_back(device);
    }
    return devices;
}

int host_open(PaDeviceIndex device, int rate, PaStream **stream) {
    PaStreamParameters out = {};
    out.device = device;
    out.channelCount = 2;
    out.sampleFormat = paInt16;
    out.suggestedLatency = DEVICE_BUFFER_S;
    const sigset_t previous = block_stop_signals();
    const PaError error = Pa_OpenStream(stream, nullptr, &out, rate, paFramesPerBufferUnspecified,
                                        paNoFlag, nullptr, nullptr);
    restore_signals(previous);
    return fmod_error(error);
}

int host_start_stream(PaStream *stream) {
    const sigset_t previous = block_stop_signals();
    const PaError error = Pa_StartStream(stream);
    restore_signals(previous);
    return fmod_error(error);
}
