// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

// Converts the stream's frames, interleaved little-endian 16-bit stereo with
// both sides alike, from the stream's rate to another, into interleaved float
// stereo, a piece at a time, on the stream thread: it allocates, locks and
// reads nothing once made. Rates in Hz, counts in frames.
//
// The library is libsoxr at its low quality: a single polyphase stage that
// holds half a millisecond of frames and gives out a steady number of frames
// a piece, flat to 16 kHz and with nothing spurious above -120 dB, for a
// tenth of a millisecond a block. Its better qualities hold 10 to 40 ms of
// frames, most of what a key may take to be heard. Nothing outside this file
// sees the library's types.
class RateConverter {
  public:
    // Null when the library cannot convert between these rates.
    static std::unique_ptr<RateConverter> make(int from_rate, int to_rate);
    ~RateConverter();
    RateConverter(const RateConverter &) = delete;
    RateConverter &operator=(const RateConverter &) = delete;

    // Converts `count` frames into `out`, which has room for most_out(count)
    // frames; returns the frames written there.
    long convert(const char *frames, long count, float *out);

    // The most frames that `count` frames in may give out, and the most frames
    // in whose frames out fit in `room`.
    long most_out(long count) const;
    long most_in(long room) const;

    // The frames taken in and not yet given out, at the stream's rate.
    double held() const;

    struct State;

  private:
    explicit RateConverter(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};
