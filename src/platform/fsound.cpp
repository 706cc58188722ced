#include "fsound.h"

#include "audio_stats.h"
#include "jack_output.h"
#include "portaudio_output.h"
#include "stream_thread.h"

#include <new>
#include <string>
#include <vector>

// The layer's state, from the choice of output to the end of the stream.
// Every call comes from the main thread; only the stream thread's own
// figures are shared.
namespace {
constexpr float VERSION = 3.74f;
constexpr int NOT_CHOSEN = -1;

int output = NOT_CHOSEN;
// The drivers: PortAudio's devices, or with JACK the server's sinks.
std::vector<PaDeviceIndex> devices;
std::vector<std::string> sinks;
int driver = 0;
bool initialised = false;
int mix_rate = 0;
PaStream *device = nullptr;
FSOUND_STREAM *stream = nullptr;
bool playing = false;
int last_error = FMOD_ERR_NONE;

bool fail(int error) {
    last_error = error;
    return false;
}

bool valid_output(int code) {
    switch (code) {
    case FSOUND_OUTPUT_NOSOUND:
    case FSOUND_OUTPUT_WINMM:
    case FSOUND_OUTPUT_DSOUND:
    case FSOUND_OUTPUT_OSS:
    case FSOUND_OUTPUT_ALSA:
    case FSOUND_OUTPUT_ASIO:
        return true;
    default:
        return false;
    }
}

// NoSound has a single driver and needs no sound library at all. JACK
// stands for ASIO, the low-latency output, while a JACK server runs.
void choose_output(int requested) {
    devices.clear();
    sinks.clear();
    jack_stream_close();
    driver = 0;
    if (requested == FSOUND_OUTPUT_NOSOUND) {
        output = FSOUND_OUTPUT_NOSOUND;
        return;
    }
    const bool host = host_start();
    if (requested == FSOUND_OUTPUT_ASIO && jack_stream_connect(&sinks)) {
        output = FSOUND_OUTPUT_ASIO;
        return;
    }
    PaHostApiIndex api = -1;
    output = host ? host_output_in_force(requested, &api) : FSOUND_OUTPUT_ALSA;
    if (api >= 0)
        devices = host_stereo_devices(api);
}

int driver_count() {
    switch (output) {
    case FSOUND_OUTPUT_NOSOUND:
        return 1;
    case FSOUND_OUTPUT_ASIO:
        return int(sinks.size());
    default:
        return int(devices.size());
    }
}

StreamSink sink_in_use() {
    if (output == FSOUND_OUTPUT_ASIO)
        return StreamSink::Jack;
    return device ? StreamSink::PortAudio : StreamSink::Clock;
}

// Before any choice the native output is in force.
void choose_default_output() {
    if (output == NOT_CHOSEN)
        choose_output(FSOUND_OUTPUT_ALSA);
}

void free_stream() {
    if (stream)
        delete[] stream->block;
    delete stream;
    stream = nullptr;
}

bool allocate_stream(FSOUND_STREAMCALLBACK callback, int length, void *user_data) {
    stream = new (std::nothrow) FSOUND_STREAM{callback, user_data, length, nullptr};
    if (stream)
        stream->block = new (std::nothrow) char[length]();
    if (stream && stream->block)
        return true;
    free_stream();
    return false;
}

int start_playing() {
    if (device) {
        const int error = host_start_stream(device);
        if (error != FMOD_ERR_NONE)
            return error;
    }
    if (stream_thread_start(stream, sink_in_use(), device, mix_rate))
        return FMOD_ERR_NONE;
    if (device)
        Pa_AbortStream(device);
    return FMOD_ERR_PLAY;
}
} // namespace

float FSOUND_GetVersion() {
    return VERSION;
}

signed char FSOUND_SetOutput(int code) {
    if (initialised)
        return fail(FMOD_ERR_BUSY);
    if (!valid_output(code))
        return fail(FMOD_ERR_INVALID_PARAM);
    choose_output(code);
    return 1;
}

int FSOUND_GetOutput() {
    choose_default_output();
    return output;
}

int FSOUND_GetNumDrivers() {
    choose_default_output();
    return driver_count();
}

const char *FSOUND_GetDriverName(int index) {
    if (index < 0 || index >= FSOUND_GetNumDrivers()) {
        last_error = FMOD_ERR_INVALID_PARAM;
        return nullptr;
    }
    if (output == FSOUND_OUTPUT_NOSOUND)
        return "NoSound";
    if (output == FSOUND_OUTPUT_ASIO)
        return sinks[index].c_str();
    return Pa_GetDeviceInfo(devices[index])->name;
}

signed char FSOUND_SetDriver(int index) {
    if (initialised)
        return fail(FMOD_ERR_BUSY);
    if (index < 0 || index >= FSOUND_GetNumDrivers())
        return fail(FMOD_ERR_INVALID_PARAM);
    driver = index;
    return 1;
}

signed char FSOUND_Init(int rate, int, unsigned int) {
    if (initialised)
        return fail(FMOD_ERR_BUSY);
    if (rate <= 0)
        return fail(FMOD_ERR_INVALID_PARAM);
    choose_default_output();
    if (output != FSOUND_OUTPUT_NOSOUND && driver_count() == 0)
        return fail(FMOD_ERR_INIT);
    if (output == FSOUND_OUTPUT_ASIO) {
        const int error = jack_stream_open(sinks[driver], rate);
        if (error != FMOD_ERR_NONE)
            return fail(error);
    } else if (output != FSOUND_OUTPUT_NOSOUND) {
        const int error = host_open(devices[driver], rate, &device);
        if (error != FMOD_ERR_NONE) {
            device = nullptr;
            return fail(error);
        }
    }
    mix_rate = rate;
    initialised = true;
    return 1;
}

int FSOUND_GetError() {
    return last_error;
}

FSOUND_STREAM *FSOUND_Stream_Create(FSOUND_STREAMCALLBACK callback, int length, unsigned int,
                                    int sample_rate, void *user_data) {
    // The stream is played as the mixer's frames: no conversion of rate, and
    // at least one whole frame per block.
    int error = FMOD_ERR_NONE;
    if (!initialised)
        error = FMOD_ERR_UNINITIALIZED;
    else if (!callback || length < 4 || sample_rate != mix_rate)
        error = FMOD_ERR_INVALID_PARAM;
    else if (stream)
        error = FMOD_ERR_ALLOCATED;
    else if (!allocate_stream(callback, length, user_data))
        error = FMOD_ERR_MEMORY;
    if (error == FMOD_ERR_NONE)
        return stream;
    fail(error);
    return nullptr;
}

int FSOUND_Stream_Play(int, FSOUND_STREAM *s) {
    int error = FMOD_ERR_NONE;
    if (!s || s != stream)
        error = FMOD_ERR_INVALID_PARAM;
    else if (playing)
        error = FMOD_ERR_PLAY;
    else
        error = start_playing();
    if (error != FMOD_ERR_NONE) {
        fail(error);
        return -1;
    }
    playing = true;
    // The one stream always takes the first channel.
    return 0;
}

void FSOUND_Close() {
    if (playing)
        stats_write(stream_thread_stop());
    jack_stream_close();
    host_close(device);
    free_stream();
    device = nullptr;
    playing = false;
    initialised = false;
    output = NOT_CHOSEN;
    devices.clear();
    sinks.clear();
    driver = 0;
}
