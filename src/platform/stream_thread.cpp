#include "stream_thread.h"

#include "ahead_time.h"
#include "audio_stats.h"
#include "block_clock.h"
#include "clock_sink.h"
#include "jack_output.h"
#include "relaxed.h"
#include "stop_signals.h"
#include "stream_progress.h"

#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

// The stream thread computes the frames just in time: the callback's frame
// loop reports every piece it finishes, the piece goes to the sink at once,
// and the loop is held back until the sink has played down to the
// ahead-time. A key then reaches the sound within the ahead-time and a piece,
// whatever the length of a block.
namespace {
constexpr int BYTES_PER_FRAME = 4;
// Sinks free their room a period at a time; a shorter wait would only find
// the same fill again.
constexpr int64_t MIN_WAIT_NS = 1'000'000;
// A sink that takes nothing for this long, many times what it holds, has
// stopped: its server has gone away, say.
constexpr int64_t STALL_NS = 1'000'000'000;
// The lowest real-time priority: above every normal thread (the busy console
// loop among them), below every thread of a sound server and of its clients,
// so that the stream, which also draws the window, never holds up the server
// that plays it.
constexpr int REAL_TIME_PRIORITY = 1;

FSOUND_STREAM *stream;
StreamSink sink;
PaStream *device;
int rate;
long block_frames;
Relaxed<int32_t> stopping;
pthread_t thread;
int64_t started_ns;

long period;   // the frames the sink takes at a time
long ahead;    // frames to keep in the sink
long capacity; // PortAudio: the most room ever seen, which is its buffer
bool fed;      // the sink has had frames since it started
uint32_t jack_dry_spells;

long delivered; // frames of the block in hand that the sink has had
long last_held;
int64_t stalled_ns; // time waited since the sink was last seen to play
int64_t waited_ns;  // time the current callback spent held back

ClockSink clock_sink;

void note_underrun() {
    stats_note_underrun();
    ahead = raised_ahead(ahead, period, rate);
    stats_note_ahead(frames_to_ns(ahead, rate));
}

bool portaudio_fill(long *held, long *room) {
    const long free = Pa_GetStreamWriteAvailable(device);
    if (free < 0)
        return false;
    capacity = std::max(capacity, free);
    *held = capacity - free;
    *room = free;
    return true;
}

// JACK's process callback counts the times the ring ran dry.
bool jack_fill(long *held, long *room) {
    for (const uint32_t dry = jack_stream_underruns(); jack_dry_spells != dry; jack_dry_spells++)
        note_underrun();
    return jack_stream_fill(held, room);
}

// The device has gone (or stopped taking frames): the stream goes on at real
// time, unheard, so that the window still moves.
void fall_back_to_clock() {
    sink = StreamSink::Clock;
    clock_start(clock_sink, monotonic_ns());
    fed = false;
}

// How many frames the sink holds and how many more it takes now. A device
// that fails, or has played nothing for STALL_NS of waiting, is left for the
// clock.
void fill(long *held, long *room) {
    if (sink != StreamSink::Clock) {
        const bool ok =
            sink == StreamSink::Jack ? jack_fill(held, room) : portaudio_fill(held, room);
        if (!ok || stalled_ns > STALL_NS)
            fall_back_to_clock();
    }
    if (sink == StreamSink::Clock) {
        *held = clock_held(clock_sink, monotonic_ns());
        *room = block_frames;
    }
    if (*held < last_held || *held == 0)
        stalled_ns = 0;
    last_held = *held;
}

bool write(const char *frames, long count, long held) {
    switch (sink) {
    case StreamSink::Clock:
        clock_sink.frames += count;
        return true;
    case StreamSink::Jack:
        jack_stream_write(frames, count);
        return true;
    case StreamSink::PortAudio:
        break;
    }
    const PaError error = Pa_WriteStream(device, frames, count);
    if (error != paNoError && error != paOutputUnderflowed)
        return false;
    // A device found empty has run dry (PortAudio reports it only for ALSA).
    if (fed && (held == 0 || error == paOutputUnderflowed))
        note_underrun();
    return true;
}

// Waits `ns`, or less when the stream is being stopped; false then. Only the
// time asked for counts towards a stall: a wait that lasted longer had the
// whole process stopped (Ctrl-Z), and the sink with it, or will find it
// drained.
bool wait_for_sink(int64_t ns) {
    const int64_t from = monotonic_ns();
    const bool woken = !block_clock_wait_until(from + ns);
    const int64_t waited = monotonic_ns() - from;
    waited_ns += waited;
    stalled_ns += std::min(waited, ns);
    return !woken;
}

// Hands the block's frames up to `upto` to the sink, as fast as it makes room.
void deliver(long upto) {
    while (delivered < upto && !stopping) {
        long held, room;
        fill(&held, &room);
        if (room <= 0) {
            if (!wait_for_sink(MIN_WAIT_NS))
                return;
            continue;
        }
        const long count = std::min(upto - delivered, room);
        if (!write(stream->block + delivered * BYTES_PER_FRAME, count, held)) {
            fall_back_to_clock();
            continue;
        }
        delivered += count;
        fed = true;
        last_held = held + count;
        stats_note_latency(frames_to_ns(held + count, rate));
    }
}

// Waits until the sink has played down to the ahead-time, so that the next
// frames are computed just before they are needed.
void hold_back() {
    while (!stopping) {
        long held, room;
        fill(&held, &room);
        if (held <= ahead)
            return;
        if (!wait_for_sink(std::max(MIN_WAIT_NS, frames_to_ns(held - ahead, rate))))
            return;
    }
}

// The frame loop's progress: its finished frames go out at once, and but
// for the last piece of the block (the preview follows it) the loop waits
// for the sink to need more.
void on_progress(int32_t frames_done) {
    deliver(frames_done);
    if (frames_done < block_frames)
        hold_back();
}

// Real-time scheduling keeps a busy machine from making the stream late.
// Granted to root or within RLIMIT_RTPRIO; without it the stream runs at
// normal priority.
bool ask_for_real_time() {
    int priority = REAL_TIME_PRIORITY;
    rlimit limit;
    if (geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0)
        priority = static_cast<int>(std::min<rlim_t>(priority, limit.rlim_cur));
    if (priority <= 0)
        return false;
    sched_param param = {};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

void *run(void *) {
    stats_note_realtime(ask_for_real_time());
    while (!stopping) {
        hold_back();
        const int64_t begin = monotonic_ns();
        waited_ns = 0;
        delivered = 0;
        stream->callback(stream, stream->block, stream->length, stream->user_data);
        stats_note_callback(monotonic_ns() - begin - waited_ns);
        // What the callback did not report, all of it from a callback
        // without progress points.
        deliver(block_frames);
    }
    return nullptr;
}

// The frames a sink takes at a time. PortAudio leaves one period out of the
// latency it reports for a blocking ALSA stream, so the period is what its
// buffer holds beyond that.
long period_of_sink() {
    switch (sink) {
    case StreamSink::Jack:
        return jack_stream_period();
    case StreamSink::PortAudio:
        return std::clamp(capacity - long(Pa_GetStreamInfo(device)->outputLatency * rate), 0L,
                          capacity / 2);
    case StreamSink::Clock:
        break;
    }
    return 0;
}
} // namespace

bool stream_thread_start(FSOUND_STREAM *s, StreamSink k, PaStream *d, int r) {
    if (!block_clock_open())
        return false;
    stream = s;
    sink = k;
    device = d;
    rate = r;
    block_frames = s->length / BYTES_PER_FRAME;
    capacity = sink == StreamSink::PortAudio ? Pa_GetStreamWriteAvailable(device) : 0;
    period = period_of_sink();
    ahead = initial_ahead(period, rate);
    fed = false;
    jack_dry_spells = 0;
    last_held = 0;
    stalled_ns = 0;
    clock_sink = {r, block_frames, monotonic_ns(), 0};
    stopping = 0;
    stats_reset();
    stats_note_ahead(frames_to_ns(ahead, rate));
    stream_progress = on_progress;
    started_ns = monotonic_ns();
    const sigset_t previous = block_stop_signals();
    const bool started = pthread_create(&thread, nullptr, run, nullptr) == 0;
    restore_signals(previous);
    if (!started) {
        stream_progress = nullptr;
        block_clock_close();
    }
    return started;
}

int64_t stream_thread_stop() {
    stopping = 1;
    block_clock_wake();
    pthread_join(thread, nullptr);
    stream_progress = nullptr;
    block_clock_close();
    return monotonic_ns() - started_ns;
}
