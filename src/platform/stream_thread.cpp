#include "stream_thread.h"

#include "audio_stats.h"
#include "block_clock.h"
#include "portaudio_output.h"
#include "relaxed.h"
#include "stop_signals.h"

#include <algorithm>
#include <pthread.h>
#include <vector>

namespace {
constexpr int BYTES_PER_FRAME = 4;
constexpr int CHANNELS = 2;
// Devices free their room a period at a time; a shorter wait would only
// find the same room again.
constexpr int64_t MIN_WAIT_NS = 2'000'000;
// A device that takes nothing for this long, many times what it can hold,
// has stopped: its server has gone away, say.
constexpr int64_t STALL_NS = 1'000'000'000;

FSOUND_STREAM *stream;
PaStream *device;
int rate;
// The most frames the device has been seen to hold.
long capacity;
// The block as floats, for a device that takes them; empty otherwise.
std::vector<float> floats;
pthread_t thread;
int64_t started_ns;
Relaxed<int32_t> stopping;

// How long the block's first frame takes from its computation to the DAC:
// the time until the write starts, plus what the device still holds then,
// all of which plays first. The device holds its capacity less its free
// room. The capacity is the most room ever seen: an ALSA device starts
// empty, so it is exact from the start; PortAudio starts a JACK stream's
// buffer full of silence, so there it is known after the first underrun.
// (PortAudio's outputLatency is no help: for a blocking ALSA stream it leaves
// out a period, and for JACK it gives the server's latency only.)
//
// A device found empty by any block but the first has played all it had
// while the block was being computed: an underrun. (PortAudio reports them
// itself for ALSA only.)
void note_device_state(int64_t computed_ns, bool first_block) {
    const long room = Pa_GetStreamWriteAvailable(device);
    if (room < 0)
        return;
    if (!first_block && room >= capacity)
        stats_note_underrun();
    capacity = std::max(capacity, room);
    stats_note_latency(monotonic_ns() - computed_ns + frames_to_ns(capacity - room, rate));
}

// The samples of `frames` frames from `from` in the device's format. The
// block holds little-endian 16-bit samples, which is what paInt16 means on
// the machines this runs on.
const void *as_device_samples(const char *from, long frames) {
    if (floats.empty())
        return from;
    const auto *bytes = reinterpret_cast<const unsigned char *>(from);
    for (long i = 0; i < frames * CHANNELS; i++)
        floats[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8) / 32768.0f;
    return floats.data();
}

// Hands the block to the device in pieces that fit in its free room, so
// that Pa_WriteStream never blocks: PortAudio cannot wake a blocked ALSA
// write, while the waits between pieces are on the block clock, which a stop
// cuts short. The thread waits until a quarter of the device's latency (or
// the rest of the block) fits, so it wakes a few times per device buffer.
// False when the device has failed or stopped, or the stream is being
// stopped.
bool write_block(int frames) {
    const long quarter = std::max(1L, long(Pa_GetStreamInfo(device)->outputLatency * rate / 4));
    const char *from = stream->block;
    long left = frames;
    int64_t last_taken = monotonic_ns();
    while (left > 0) {
        const long room = Pa_GetStreamWriteAvailable(device);
        if (room < 0)
            return false;
        const long wanted = std::min(left, quarter);
        if (room < wanted) {
            if (monotonic_ns() - last_taken > STALL_NS)
                return false;
            const int64_t wait = std::max(MIN_WAIT_NS, frames_to_ns(wanted - room, rate));
            if (!block_clock_wait_until(monotonic_ns() + wait))
                return false;
            continue;
        }
        const bool found_empty = room >= capacity;
        capacity = std::max(capacity, room);
        const long piece = std::min(room, left);
        const PaError error = Pa_WriteStream(device, as_device_samples(from, piece), piece);
        if (error != paNoError && error != paOutputUnderflowed)
            return false;
        // A device that runs dry part way through a block underruns too (the
        // block's start is judged before the write, in note_device_state).
        if (left < frames && (found_empty || error == paOutputUnderflowed))
            stats_note_underrun();
        from += piece * BYTES_PER_FRAME;
        left -= piece;
        last_taken = monotonic_ns();
    }
    return true;
}

void *run(void *) {
    const int frames = stream->length / BYTES_PER_FRAME;
    bool on_device = device != nullptr;
    bool first_block = true;
    int64_t paced_from = monotonic_ns();
    int64_t paced_frames = 0;
    while (!stopping) {
        const int64_t begin = monotonic_ns();
        stream->callback(stream, stream->block, stream->length, stream->user_data);
        const int64_t computed = monotonic_ns();
        stats_note_callback(computed - begin);
        if (on_device) {
            note_device_state(computed, first_block);
            first_block = false;
            if (write_block(frames))
                continue;
            // The device has gone (or the stream is being stopped): the
            // blocks go on at real time, unheard, so the window still moves.
            on_device = false;
            paced_from = computed;
            paced_frames = 0;
        }
        paced_frames += frames;
        if (!block_clock_wait_until(paced_from + frames_to_ns(paced_frames, rate)))
            break;
    }
    return nullptr;
}
} // namespace

bool stream_thread_start(FSOUND_STREAM *s, PaStream *d, int r) {
    if (!block_clock_open())
        return false;
    stream = s;
    device = d;
    rate = r;
    floats.assign(d && host_takes_floats(Pa_GetStreamHostApiType(d))
                      ? s->length / BYTES_PER_FRAME * CHANNELS
                      : 0,
                  0.0f);
    capacity = d ? Pa_GetStreamWriteAvailable(d) : 0;
    stopping = 0;
    stats_reset();
    started_ns = monotonic_ns();
    const sigset_t previous = block_stop_signals();
    const bool started = pthread_create(&thread, nullptr, run, nullptr) == 0;
    restore_signals(previous);
    if (!started)
        block_clock_close();
    return started;
}

int64_t stream_thread_stop() {
    stopping = 1;
    block_clock_wake();
    pthread_join(thread, nullptr);
    block_clock_close();
    return monotonic_ns() - started_ns;
}
