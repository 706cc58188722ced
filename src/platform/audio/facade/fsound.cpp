// SPDX-License-Identifier: MIT
#include "platform/audio/facade/fsound.h"

#include "platform/audio/facade/fsound_error.h"
#include "platform/audio/facade/outputs.h"
#include "platform/audio/facade/reopener.h"
#include "platform/audio/pacing/stream_thread.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

// The stream: the caller's callback and the block it fills.
struct FSOUND_STREAM {
    FSOUND_STREAMCALLBACK callback;
    void *user_data;
    int length; // bytes
    char *block;
};

// The layer's state, from the choice of output to the end of the stream.
// Every call comes from the main thread.
namespace {
constexpr float VERSION = 3.74f;
constexpr int NOT_CHOSEN = -1;

struct Layer {
    int output = NOT_CHOSEN;
    const Backend *backend = nullptr; // none for NoSound
    std::vector<std::string> drivers; // by name, in the order listed
    int driver = 0;
    bool initialised = false;
    int mix_rate = 0;                // frames per second
    std::unique_ptr<AudioSink> sink; // none for NoSound; the reopener's once playing
    std::unique_ptr<Reopener> reopener;
    FSOUND_STREAM *stream = nullptr;
    bool playing = false;
    int last_error = FMOD_ERR_NONE;
};
Layer layer;

bool fail(int error) {
    layer.last_error = error;
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

// NoSound has a single driver and needs no sound library at all.
void choose_output(int requested) {
    layer.driver = 0;
    if (requested == FSOUND_OUTPUT_NOSOUND) {
        outputs_close();
        layer.output = FSOUND_OUTPUT_NOSOUND;
        layer.backend = nullptr;
        layer.drivers = {"NoSound"};
        return;
    }
    const Output output = outputs_choose(requested, &layer.drivers);
    layer.output = output.type;
    layer.backend = output.backend;
}

int driver_count() {
    return static_cast<int>(layer.drivers.size());
}

// Before any choice the native output is in force.
void choose_default_output() {
    if (layer.output == NOT_CHOSEN)
        choose_output(FSOUND_OUTPUT_ALSA);
}

void free_stream() {
    if (layer.stream)
        delete[] layer.stream->block;
    delete layer.stream;
    layer.stream = nullptr;
}

bool allocate_stream(FSOUND_STREAMCALLBACK callback, int length, void *user_data) {
    layer.stream = new (std::nothrow) FSOUND_STREAM{callback, user_data, length, nullptr};
    if (layer.stream)
        layer.stream->block = new (std::nothrow) char[length]();
    if (layer.stream && layer.stream->block)
        return true;
    free_stream();
    return false;
}

// On the stream thread: the caller's callback, handed its stream.
void fill_block(char *block, int length, void *user_data) {
    FSOUND_STREAM *const s = static_cast<FSOUND_STREAM *>(user_data);
    s->callback(s, block, length, s->user_data);
}

// A device is watched over from here on, and opened again if it fails.
int start_playing() {
    AudioSink *device = nullptr;
    SinkSwap *swap = nullptr;
    if (layer.sink) {
        const AudioError error = layer.sink->start();
        if (error != AudioError::None)
            return fsound_error(error);
        layer.reopener = std::make_unique<Reopener>(*layer.backend, layer.drivers[layer.driver],
                                                    layer.mix_rate, std::move(layer.sink));
        device = layer.reopener->first_sink();
        if (layer.reopener->start())
            swap = layer.reopener->swap();
    }
    FSOUND_STREAM *const s = layer.stream;
    return stream_thread_start(fill_block, s, s->block, s->length, device, swap, layer.mix_rate)
               ? FMOD_ERR_NONE
               : FMOD_ERR_PLAY;
}
} // namespace

int fsound_error(AudioError error) {
    switch (error) {
    case AudioError::None:
        return FMOD_ERR_NONE;
    case AudioError::Unavailable:
        return FMOD_ERR_INIT;
    case AudioError::InUse:
        return FMOD_ERR_ALLOCATED;
    case AudioError::Format:
        return FMOD_ERR_OUTPUT_FORMAT;
    case AudioError::Memory:
        return FMOD_ERR_MEMORY;
    }
    return FMOD_ERR_INIT;
}

float FSOUND_GetVersion() {
    return VERSION;
}

signed char FSOUND_SetOutput(int code) {
    if (layer.initialised)
        return fail(FMOD_ERR_BUSY);
    if (!valid_output(code))
        return fail(FMOD_ERR_INVALID_PARAM);
    choose_output(code);
    return 1;
}

int FSOUND_GetOutput() {
    choose_default_output();
    return layer.output;
}

int FSOUND_GetNumDrivers() {
    choose_default_output();
    return driver_count();
}

const char *FSOUND_GetDriverName(int index) {
    if (index < 0 || index >= FSOUND_GetNumDrivers()) {
        layer.last_error = FMOD_ERR_INVALID_PARAM;
        return nullptr;
    }
    return layer.drivers[index].c_str();
}

signed char FSOUND_SetDriver(int index) {
    if (layer.initialised)
        return fail(FMOD_ERR_BUSY);
    if (index < 0 || index >= FSOUND_GetNumDrivers())
        return fail(FMOD_ERR_INVALID_PARAM);
    layer.driver = index;
    return 1;
}

signed char FSOUND_Init(int rate, int, unsigned int) {
    if (layer.initialised)
        return fail(FMOD_ERR_BUSY);
    if (rate <= 0)
        return fail(FMOD_ERR_INVALID_PARAM);
    choose_default_output();
    if (layer.output != FSOUND_OUTPUT_NOSOUND) {
        if (driver_count() == 0)
            return fail(FMOD_ERR_INIT);
        AudioError error = AudioError::None;
        layer.sink = layer.backend->open(layer.drivers[layer.driver], rate, &error);
        if (!layer.sink)
            return fail(fsound_error(error));
    }
    layer.mix_rate = rate;
    layer.initialised = true;
    return 1;
}

int FSOUND_GetError() {
    return layer.last_error;
}

FSOUND_STREAM *FSOUND_Stream_Create(FSOUND_STREAMCALLBACK callback, int length, unsigned int,
                                    int sample_rate, void *user_data) {
    // The stream is played as the mixer's frames: no conversion of rate, and
    // at least one whole frame per block.
    int error = FMOD_ERR_NONE;
    if (!layer.initialised)
        error = FMOD_ERR_UNINITIALIZED;
    else if (!callback || length < 4 || sample_rate != layer.mix_rate)
        error = FMOD_ERR_INVALID_PARAM;
    else if (layer.stream)
        error = FMOD_ERR_ALLOCATED;
    else if (!allocate_stream(callback, length, user_data))
        error = FMOD_ERR_MEMORY;
    if (error == FMOD_ERR_NONE)
        return layer.stream;
    fail(error);
    return nullptr;
}

int FSOUND_Stream_Play(int, FSOUND_STREAM *s) {
    int error = FMOD_ERR_NONE;
    if (!s || s != layer.stream)
        error = FMOD_ERR_INVALID_PARAM;
    else if (layer.playing)
        error = FMOD_ERR_PLAY;
    else
        error = start_playing();
    if (error != FMOD_ERR_NONE) {
        fail(error);
        return -1;
    }
    layer.playing = true;
    // The one stream always takes the first channel.
    return 0;
}

ProgressHook audio_progress_hook() {
    return stream_progress_hook();
}

void FSOUND_Close() {
    if (layer.reopener)
        layer.reopener->stop();
    if (layer.playing) {
        const StreamRun run = stream_thread_stop();
        write_audio_stats(run.stats, run.elapsed_ns);
    }
    layer.reopener.reset();
    layer.sink.reset();
    outputs_close();
    free_stream();
    layer = Layer();
}
