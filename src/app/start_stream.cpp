// SPDX-License-Identifier: MIT
#include "app/start_stream.h"

#include "app/audio_error_text.h"
#include "platform/audio/facade/fsound.h"
#include "synth/oscillator.h"
#include "synth/stream_callback.h"

namespace {
constexpr int STREAM_BUFFER_BYTES = 32768; // 8192 stereo frames of two 16-bit samples
constexpr unsigned int STREAM_MODE = 0x1000150;
} // namespace

bool start_stream(StreamContext &context) {
    FSOUND_STREAM *stream = FSOUND_Stream_Create(stream_callback, STREAM_BUFFER_BYTES, STREAM_MODE,
                                                 SAMPLE_RATE, &context);
    // Only -1 from Play is a failure; any other value means the stream runs.
    if (!stream || FSOUND_Stream_Play(0, stream) == -1) {
        report_audio_failure();
        return false;
    }
    return true;
}
