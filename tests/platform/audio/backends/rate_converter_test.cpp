// SPDX-License-Identifier: MIT
#include "platform/audio/backends/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
constexpr int RATE = 44100;
constexpr long PIECE = 256;

// A piece of a 440 Hz sine at a level of 10000, frames from `first` on, as
// the stream writes them: little-endian 16-bit, left and right alike.
std::vector<char> sine_piece(long first) {
    std::vector<char> piece(4 * PIECE);
    for (long i = 0; i < PIECE; i++) {
        const auto v = static_cast<uint16_t>(
            static_cast<int16_t>(10000 * std::sin(2 * M_PI * 440 * (first + i) / RATE)));
        for (int side = 0; side < 2; side++) {
            piece[4 * i + 2 * side] = static_cast<char>(v & 0xFF);
            piece[4 * i + 2 * side + 1] = static_cast<char>(v >> 8);
        }
    }
    return piece;
}
} // namespace

// What the JACK output's level and room rest on: every frame in is out or
// held, the room given never overflows, and the sound keeps its pitch.
TEST(RateConverter, GivesEveryFrameAtTheServersRateAndKeepsThePitch) {
    for (int server : {48000, 88200, 96000}) {
        const auto converter = RateConverter::make(RATE, server);
        ASSERT_TRUE(converter) << server;
        const double ratio = double(server) / RATE;
        std::vector<float> out(2 * converter->most_out(PIECE)), left;
        // The silence it was primed with comes out first.
        const double primed = converter->held();
        long in = 0;
        for (; in < RATE; in += PIECE) {
            const long n = converter->convert(sine_piece(in).data(), PIECE, out.data());
            ASSERT_LE(n, converter->most_out(PIECE));
            for (long i = 0; i < n; i++) {
                ASSERT_EQ(out[2 * i], out[2 * i + 1]);
                left.push_back(out[2 * i]);
            }
            EXPECT_NEAR(left.size() / ratio + converter->held(), primed + in + PIECE, 1.0)
                << server;
            // Held: a few milliseconds at most, which a key waits.
            EXPECT_LT(converter->held(), 3 * RATE / 1000) << server;
        }
        // The pitch, from the first rising zero to the last, past the onset's
        // ripples.
        std::vector<size_t> rising;
        float peak = 0;
        for (size_t i = server / 100; i < left.size(); i++) {
            if (left[i - 1] < 0 && left[i] >= 0)
                rising.push_back(i);
            peak = std::max(peak, left[i]);
        }
        ASSERT_GT(rising.size(), 2u);
        const double cycles = rising.size() - 1;
        EXPECT_NEAR(cycles * server / (rising.back() - rising.front()), 440.0, 0.1) << server;
        EXPECT_NEAR(peak, 10000 / 32768.0, 0.003) << server;
        for (long room : {0L, 64L, 65L, 300L, 8192L})
            EXPECT_LE(converter->most_out(converter->most_in(room)), std::max(room, 0L) + 64);
    }
}

TEST(RateConverter, RefusesRatesItCannotConvertTo) {
    EXPECT_FALSE(RateConverter::make(RATE, 0));
    EXPECT_FALSE(RateConverter::make(RATE, 9 * RATE));
}
