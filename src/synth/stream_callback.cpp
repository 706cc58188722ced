// SPDX-License-Identifier: MIT
#include "synth/stream_callback.h"

#include "synth/sample.h"
#include "synth/stream_context.h"

namespace {
// The frames are counted in a float, which is exact up to 2^24; a longer
// block gets its first 2^24 frames rather than a counter that stops moving.
constexpr int32_t MAX_FRAMES = 1 << 24;

void put_le16(unsigned char *p, int16_t sample) {
    const auto u = static_cast<uint16_t>(sample);
    p[0] = static_cast<unsigned char>(u & 0xFF);
    p[1] = static_cast<unsigned char>(u >> 8);
}
} // namespace

signed char stream_callback(FSOUND_STREAM *, void *buffer, int32_t length, void *user_data) {
    const StreamContext &context = *static_cast<const StreamContext *>(user_data);
    Patch &p = *context.patch;
    int32_t frames = length >> 2;
    if (frames > MAX_FRAMES)
        frames = MAX_FRAMES;
    auto *out = static_cast<unsigned char *>(buffer);
    // A copy: the frames' byte stores might otherwise be taken to change it.
    const ProgressHook progress = context.progress;
    for (float frame = 0.0f; frame < frames; frame += 1.0f) {
        const int16_t sample = pcm_sample(patch_tick(p, true));
        const int32_t at = static_cast<int32_t>(frame);
        put_le16(out + 4 * at, sample);
        put_le16(out + 4 * at + 2, sample);
        if ((at + 1) % PROGRESS_FRAMES == 0 || at + 1 == frames)
            progress(at + 1);
    }
    if (context.previews) {
        run_preview(p, context.previews->to_write());
        context.previews->publish();
    }
    return 1;
}
