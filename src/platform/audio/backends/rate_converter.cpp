// SPDX-License-Identifier: MIT
#include "platform/audio/backends/rate_converter.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <soxr.h>

namespace {
// Frames converted at a time: a piece of the frame loop.
constexpr long CHUNK = 256;
// The converter grows its buffers over its first calls; fed this much
// silence when it is made, it has them all before the stream starts.
constexpr int PRIMING_CHUNKS = 200;
// Frames out beyond the exact ratio that one call may give, at most.
constexpr long OUT_SLACK = 64;
// The highest rate out, as a multiple of the rate in: 352800 Hz.
constexpr int MOST_RATIO = 8;

// Settings that libsoxr reads from the environment when a converter is made,
// over those it is given: one of them would have it start threads of its own
// on every call.
constexpr const char *LIBRARY_SETTINGS[] = {"SOXR_NUM_THREADS", "SOXR_MIN_DFT_SIZE",
                                            "SOXR_LARGE_DFT_SIZE", "SOXR_COEFS_SIZE",
                                            "SOXR_COEF_INTERP"};
} // namespace

// Both sides of a frame are alike, so one channel is converted and given to
// both. Float in, not 16-bit: libsoxr 0.1.3 misconverts 16-bit frames at
// this quality, one frame in 160 off by up to -20 dB.
struct RateConverter::State {
    soxr_t soxr = nullptr;
    double ratio = 1; // frames out a frame in
    float in[CHUNK] = {};
    float out[CHUNK * MOST_RATIO + OUT_SLACK] = {};

    ~State() {
        if (soxr)
            soxr_delete(soxr);
    }
};

std::unique_ptr<RateConverter> RateConverter::make(int from_rate, int to_rate) {
    if (from_rate <= 0 || to_rate <= 0 || to_rate > MOST_RATIO * from_rate)
        return nullptr;
    for (const char *name : LIBRARY_SETTINGS)
        unsetenv(name);
    auto state = std::make_unique<State>();
    state->ratio = double(to_rate) / from_rate;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    // Small transforms, where the rates call for them (44100 to 88200 Hz).
    runtime.log2_min_dft_size = 8;
    runtime.log2_large_dft_size = 8;
    soxr_error_t error = nullptr;
    state->soxr = soxr_create(from_rate, to_rate, 1, &error, &io, &quality, &runtime);
    if (error || !state->soxr)
        return nullptr;
    for (int i = 0; i < PRIMING_CHUNKS; i++) {
        size_t taken = 0, given = 0;
        soxr_process(state->soxr, state->in, CHUNK, &taken, state->out,
                     sizeof state->out / sizeof(float), &given);
    }
    return std::unique_ptr<RateConverter>(new RateConverter(std::move(state)));
}

RateConverter::RateConverter(std::unique_ptr<State> state) : state(std::move(state)) {}

RateConverter::~RateConverter() = default;

long RateConverter::most_out(long count) const {
    return static_cast<long>(std::ceil(count * state->ratio)) + OUT_SLACK;
}

long RateConverter::most_in(long room) const {
    return room > OUT_SLACK ? static_cast<long>((room - OUT_SLACK - 1) / state->ratio) : 0;
}

double RateConverter::held() const {
    return soxr_delay(state->soxr) / state->ratio;
}

long RateConverter::convert(const char *frames, long count, float *out) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(frames);
    long written = 0;
    for (long from = 0; from < count; from += CHUNK) {
        const long n = count - from < CHUNK ? count - from : CHUNK;
        for (long i = 0; i < n; i++) {
            const unsigned char *left = bytes + 4 * (from + i);
            state->in[i] = static_cast<int16_t>(left[0] | left[1] << 8) / 32768.0f;
        }
        size_t taken = 0, given = 0;
        soxr_process(state->soxr, state->in, n, &taken, state->out,
                     sizeof state->out / sizeof(float), &given);
        for (size_t i = 0; i < given; i++)
            out[2 * (written + i)] = out[2 * (written + i) + 1] = state->out[i];
        written += static_cast<long>(given);
    }
    return written;
}
