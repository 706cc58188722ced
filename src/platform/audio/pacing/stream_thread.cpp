// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/stream_thread.h"

#include "common/relaxed.h"
#include "platform/audio/pacing/pacer.h"
#include "platform/audio/pacing/real_time_priority.h"
#include "platform/audio/pacing/stream_wait.h"
#include "platform/main_thread_signals.h"
#include "platform/monotonic_clock.h"

#include <system_error>
#include <thread>

namespace {
constexpr int BYTES_PER_FRAME = 4;

// The thread's state, from its start to the end of its stop.
struct StreamThread {
    BlockFill fill = nullptr;
    void *user_data = nullptr;
    char *block = nullptr;
    int length = 0; // bytes
    AudioSink *device = nullptr;
    SinkSwap *swap = nullptr;
    int rate = 0;
    Pacer *pacer = nullptr; // the running thread's own
    SystemTime time;
    AudioStats stats;
    Relaxed<int32_t> stopping;
    int64_t started_ns = 0;
    std::thread thread;
};
StreamThread st;

// The frame loop's progress, reported from inside the callback.
void on_progress(void *to, int32_t frames_done) {
    static_cast<StreamThread *>(to)->pacer->progress(frames_done);
}

void run() {
    st.stats.realtime = ask_for_real_time();
    Pacer pacer(st.device, st.time, st.stats, st.rate, st.block, st.length / BYTES_PER_FRAME,
                st.swap);
    st.pacer = &pacer;
    while (!st.stopping) {
        pacer.begin_block();
        st.fill(st.block, st.length, st.user_data);
        pacer.end_block();
    }
}
} // namespace

bool stream_thread_start(BlockFill fill, void *user_data, char *block, int length,
                         AudioSink *device, SinkSwap *swap, int rate) {
    if (!stream_wait_open())
        return false;
    st = StreamThread();
    st.fill = fill;
    st.user_data = user_data;
    st.block = block;
    st.length = length;
    st.device = device;
    st.swap = swap;
    st.rate = rate;
    st.started_ns = monotonic_ns();
    try {
        const MainThreadSignalsBlocked blocked;
        st.thread = std::thread(run);
    } catch (const std::system_error &) {
        stream_wait_close();
        return false;
    }
    return true;
}

ProgressHook stream_progress_hook() {
    return {on_progress, &st};
}

StreamRun stream_thread_stop() {
    st.stopping = 1;
    stream_wait_wake();
    // The process may be ending from inside the callback: Xlib calls exit()
    // when the window's server goes away. The thread cannot wait for itself;
    // it ends with the process.
    if (st.thread.get_id() == std::this_thread::get_id())
        st.thread.detach();
    else
        st.thread.join();
    stream_wait_close();
    return {st.stats, monotonic_ns() - st.started_ns};
}
