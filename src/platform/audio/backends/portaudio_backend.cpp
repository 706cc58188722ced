// SPDX-License-Identifier: MIT
#include "platform/audio/backends/backend.h"

#include "common/relaxed.h"
#include "platform/audio/backends/frame_ring.h"
#include "platform/audio/backends/portaudio_host.h"
#include "platform/audio/pacing/dry_spells.h"
#include "platform/audio/pacing/real_time_priority.h"
#include "platform/main_thread_signals.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <portaudio.h>
#include <thread>

// The sound devices, through PortAudio: each host API that an output type
// reaches is a back-end, whose sinks play the stream with PortAudio's
// blocking calls, or from its callback where the host API has no blocking
// writes.
namespace {
struct PortAudio {
    bool started = false;
};
PortAudio portaudio;

// The devices of `api` that can play stereo, in PortAudio's order.
std::vector<PaDeviceIndex> stereo_devices(PaHostApiTypeId api) {
    std::vector<PaDeviceIndex> devices;
    if (!portaudio.started)
        return devices;
    const PaHostApiIndex index = Pa_HostApiTypeIdToHostApiIndex(api);
    const PaHostApiInfo *info = index >= 0 ? Pa_GetHostApiInfo(index) : nullptr;
    for (int i = 0; info && i < info->deviceCount; i++) {
        const PaDeviceIndex device = Pa_HostApiDeviceIndexToDeviceIndex(index, i);
        if (Pa_GetDeviceInfo(device)->maxOutputChannels >= 2)
            devices.push_back(device);
    }
    return devices;
}

bool alsa_device_busy() {
    const PaHostErrorInfo *info = Pa_GetLastHostErrorInfo();
    return info->hostApiType == paALSA && info->errorCode == -EBUSY;
}

AudioError audio_error(PaError error) {
    switch (error) {
    case paNoError:
        return AudioError::None;
    case paInsufficientMemory:
        return AudioError::Memory;
    case paSampleFormatNotSupported:
    case paInvalidSampleRate:
    case paInvalidChannelCount:
        return AudioError::Format;
    case paDeviceUnavailable:
        return AudioError::InUse;
    case paUnanticipatedHostError:
        return alsa_device_busy() ? AudioError::InUse : AudioError::Unavailable;
    default:
        return AudioError::Unavailable;
    }
}

// A device opened for interleaved 16-bit stereo, written with the blocking
// calls: the stream's frames go to it as they are.
class PortAudioSink final : public AudioSink {
  public:
    explicit PortAudioSink(int rate) : rate(rate) {}
    ~PortAudioSink() override {
        if (stream)
            Pa_CloseStream(stream);
    }

    AudioError start() override {
        const MainThreadSignalsBlocked blocked;
        const PaError error = Pa_StartStream(stream);
        capacity = Pa_GetStreamWriteAvailable(stream);
        return audio_error(error);
    }

    // The most room ever seen is the device's buffer.
    bool level(long *held, long *room) override {
        const long free = Pa_GetStreamWriteAvailable(stream);
        if (free < 0)
            return false;
        capacity = std::max(capacity, free);
        *held = capacity - free;
        *room = free;
        last_held = *held;
        return true;
    }

    bool write(const char *frames, long count) override {
        const PaError error = Pa_WriteStream(stream, frames, count);
        if (error != paNoError && error != paOutputUnderflowed)
            return false;
        // A device found empty has run dry (PortAudio reports it only for ALSA).
        if (fed && (last_held == 0 || error == paOutputUnderflowed))
            dry++;
        fed = true;
        return true;
    }

    // The system's audio engine's period where it sets one. Otherwise:
    // PortAudio leaves one period out of the latency it reports for a
    // blocking ALSA stream, so the period is what its buffer holds beyond that.
    long period() override {
        if (engine_period > 0)
            return engine_period;
        const long latency = long(Pa_GetStreamInfo(stream)->outputLatency * rate);
        return std::clamp(capacity - latency, 0L, capacity / 2);
    }

    uint32_t dry_spells() override { return dry; }

    PaError open(const PaStreamParameters &out) {
        engine_period = portaudio_engine_period(
            Pa_GetHostApiInfo(Pa_GetDeviceInfo(out.device)->hostApi)->type, rate);
        return portaudio_open_stream(&stream, out, rate, nullptr, nullptr);
    }

  private:
    PaStream *stream = nullptr;
    const int rate;
    long engine_period = 0; // frames; 0 where the engine sets none
    long capacity = 0;      // frames
    long last_held = 0;
    bool fed = false; // frames have been written
    uint32_t dry = 0;
};

// A device whose host API has no blocking writes (DirectSound, in this
// PortAudio): the stream's frames go to a ring, which PortAudio's callback
// plays from on the device's own thread, as JACK's process callback does.
class PortAudioCallbackSink final : public AudioSink {
  public:
    explicit PortAudioCallbackSink(int rate) : rate(rate), ring(RING_FRAMES) {}
    ~PortAudioCallbackSink() override {
        if (stream)
            Pa_CloseStream(stream);
    }

    PaError open(const PaStreamParameters &out) {
        return portaudio_open_stream(&stream, out, rate, play, this);
    }

    AudioError start() override {
        const MainThreadSignalsBlocked blocked;
        return audio_error(Pa_StartStream(stream));
    }

    bool level(long *held, long *room) override {
        *held = static_cast<long>(ring.held());
        *room = static_cast<long>(ring.room());
        return true;
    }

    bool write(const char *frames, long count) override {
        ring.write(reinterpret_cast<const Frame *>(frames), count);
        dry.fed = 1;
        return true;
    }

    // The frames of a callback, as PortAudio last asked for them.
    long period() override { return callback_frames; }

    uint32_t dry_spells() override { return dry.count; }

  private:
    // Far more than the stream ever keeps ahead of the device: 186 ms.
    static constexpr size_t RING_FRAMES = 8192;

    // Interleaved little-endian 16-bit stereo, as the device takes it.
    struct Frame {
        char bytes[4];
    };

    // Real-time: copies what the ring holds, and silence for what it lacks.
    static int play(const void *, void *output, unsigned long frames,
                    const PaStreamCallbackTimeInfo *, PaStreamCallbackFlags, void *arg) {
        PortAudioCallbackSink &s = *static_cast<PortAudioCallbackSink *>(arg);
        s.callback_frames = static_cast<int32_t>(frames);
        auto *out = static_cast<Frame *>(output);
        const size_t played = s.ring.read(out, frames);
        std::memset(out + played, 0, (frames - played) * sizeof(Frame));
        s.dry.note_period(played < frames);
        return paContinue;
    }

    PaStream *stream = nullptr;
    const int rate;
    FrameRing<Frame> ring;
    Relaxed<int32_t> callback_frames; // set on the device's thread
    DrySpells dry;
};

// PortAudio 19.6 leaves blocking writes unwritten in its DirectSound host: it
// opens the stream, then never takes a frame.
bool takes_blocking_writes(PaHostApiTypeId api) {
    return api != paDirectSound;
}

// Opened on a thread at the stream's real-time priority: the threads that a
// sound library starts then take it on, as ALSA's pulse plugin's does, which
// moves the frames on to its server. At normal priority a busy machine
// starves it, and its buffer runs dry while its room, which the server's
// credit makes, says nothing of it.
template <class Sink>
std::unique_ptr<AudioSink> open_sink(const PaStreamParameters &out, int rate, AudioError *error) {
    auto sink = std::make_unique<Sink>(rate);
    PaError opened;
    {
        const MainThreadSignalsBlocked blocked;
        std::thread([&] {
            ask_for_real_time();
            opened = sink->open(out);
        }).join();
    }
    *error = audio_error(opened);
    if (opened != paNoError)
        return nullptr;
    return sink;
}

// Starts PortAudio once, with this system's host APIs, and keeps the sound
// libraries' own diagnostics off the console. False when it cannot start.
bool portaudio_start() {
    if (portaudio.started)
        return true;
    portaudio_prepare_host();
    const MainThreadSignalsBlocked blocked;
    portaudio.started = Pa_Initialize() == paNoError;
    return portaudio.started;
}

// Ends PortAudio, if it was started. Every sink on it must be gone.
void portaudio_end() {
    if (portaudio.started)
        Pa_Terminate();
    portaudio = PortAudio();
}

// The devices of `api` that can play stereo, by name, in PortAudio's order;
// none when PortAudio or that host API is not there.
std::vector<std::string> portaudio_devices(PaHostApiTypeId api) {
    std::vector<std::string> names;
    for (PaDeviceIndex device : stereo_devices(api))
        if (!portaudio_device_hidden(Pa_GetDeviceInfo(device)->name))
            names.emplace_back(Pa_GetDeviceInfo(device)->name);
    return names;
}

// A sink on the device of `api` named `name` (the first of that name), for
// frames at `rate` frames per second.
template <PaHostApiTypeId api>
std::unique_ptr<AudioSink> open_device(const std::string &name, int rate, AudioError *error) {
    const std::vector<PaDeviceIndex> devices = stereo_devices(api);
    const auto named = std::find_if(devices.begin(), devices.end(), [&](PaDeviceIndex d) {
        return name == Pa_GetDeviceInfo(d)->name;
    });
    if (named == devices.end()) {
        *error = AudioError::Unavailable;
        return nullptr;
    }
    PaStreamParameters out = {};
    out.device = *named;
    out.channelCount = 2;
    out.sampleFormat = paInt16;
    out.suggestedLatency = PORTAUDIO_BUFFER_S;
    if (takes_blocking_writes(api))
        return open_sink<PortAudioSink>(out, rate, error);
    return open_sink<PortAudioCallbackSink>(out, rate, error);
}

// PortAudio is started by the first list, and stays started until the end.
template <PaHostApiTypeId api> bool list_devices(std::vector<std::string> *devices) {
    devices->clear();
    if (portaudio_start())
        *devices = portaudio_devices(api);
    return !devices->empty();
}

// ALSA's `default` is the device a player should pick: on a desktop it
// reaches PipeWire or PulseAudio, elsewhere the first sound card.
bool list_alsa(std::vector<std::string> *devices) {
    const bool there = list_devices<paALSA>(devices);
    const auto found = std::find(devices->begin(), devices->end(), "default");
    if (found != devices->end())
        std::rotate(devices->begin(), found, found + 1);
    return there;
}

// A host API keeps nothing between a list and an open.
void keep_nothing() {}
} // namespace

const Backend PORTAUDIO_ALSA = {list_alsa, open_device<paALSA>, keep_nothing, portaudio_end};
const Backend PORTAUDIO_OSS = {list_devices<paOSS>, open_device<paOSS>, keep_nothing,
                               portaudio_end};
const Backend PORTAUDIO_DIRECTSOUND = {list_devices<paDirectSound>, open_device<paDirectSound>,
                                       keep_nothing, portaudio_end};
const Backend PORTAUDIO_MME = {list_devices<paMME>, open_device<paMME>, keep_nothing,
                               portaudio_end};
const Backend PORTAUDIO_WASAPI = {list_devices<paWASAPI>, open_device<paWASAPI>, keep_nothing,
                                  portaudio_end};
