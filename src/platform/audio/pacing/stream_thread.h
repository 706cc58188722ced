// SPDX-License-Identifier: MIT
#pragma once

#include "common/progress_hook.h"
#include "platform/audio/backends/audio_sink.h"
#include "platform/audio/pacing/audio_stats.h"
#include "platform/audio/pacing/sink_swap.h"

#include <cstdint>

// Fills `block`, `length` bytes of the stream's frames; `user_data` is what
// the thread was started with.
using BlockFill = void (*)(char *block, int length, void *user_data);

// Starts the layer's own thread, which has `fill` fill `block` (`length`
// bytes) one block after another and hands the frames to `device` (with
// none, to the clock) as they are made, paced by the pacer at `rate` frames
// per second. A device that fails is given up through `swap`, if any, and
// one offered there is played on in its place. `fill` runs on this thread
// only. False when the thread cannot start.
bool stream_thread_start(BlockFill fill, void *user_data, char *block, int length,
                         AudioSink *device, SinkSwap *swap, int rate);

// Where a fill reports its progress, so that each piece goes to the device
// as it is made and the fill is held back until the device needs more. Only
// for a fill running on the thread.
ProgressHook stream_progress_hook();

// What the stream did, and for how long.
struct StreamRun {
    AudioStats stats;
    int64_t elapsed_ns;
};

// Stops the thread, waking it from any wait, and waits until it has ended.
StreamRun stream_thread_stop();
