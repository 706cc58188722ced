#include "stream_callback.h"

#include "patch.h"
#include "sample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr int32_t BLOCK_BYTES = 32768;
constexpr unsigned char UNTOUCHED = 0xA5;

using Bytes = std::vector<unsigned char>;

// Runs the callback on a buffer of `size` bytes prefilled with UNTOUCHED.
Bytes fill(int32_t length, size_t size, void *user_data = nullptr) {
    Bytes buffer(size, UNTOUCHED);
    EXPECT_EQ(stream_callback(nullptr, buffer.data(), length, user_data), 1);
    return buffer;
}

Bytes fill(int32_t length) {
    return fill(length, static_cast<size_t>(length));
}

// Little-endian 16-bit sample `index` (0 left, 1 right) of frame `frame` (0-based).
int16_t sample(const Bytes &block, size_t frame, int index) {
    const size_t at = 4 * frame + 2 * static_cast<size_t>(index);
    return static_cast<int16_t>(block[at] | block[at + 1] << 8);
}

// The carrier's samples over a block, left and right checked equal.
std::vector<int16_t> carrier_samples(const Bytes &block) {
    std::vector<int16_t> out;
    for (size_t frame = 0; frame < block.size() / 4; ++frame) {
        EXPECT_EQ(sample(block, frame, 0), sample(block, frame, 1)) << "frame " << frame;
        out.push_back(sample(block, frame, 0));
    }
    return out;
}

} // namespace

TEST(PcmSample, TruncatesAndWrapsToSixteenBits) {
    EXPECT_EQ(pcm_sample(1.0f), 10000);
    EXPECT_EQ(pcm_sample(-1.0f), -10000);
    EXPECT_EQ(pcm_sample(3.5f), -30536);
    EXPECT_EQ(pcm_sample(-3.5f), 30536);
    EXPECT_EQ(pcm_sample(35000.0f / 10000.0f), -30536);
    EXPECT_EQ(pcm_sample(3.2767f), 32767);
    EXPECT_EQ(pcm_sample(3.2768f), -32768);
    // Toward zero, not toward minus infinity.
    EXPECT_EQ(pcm_sample(0.99999f), 9999);
    EXPECT_EQ(pcm_sample(-0.99999f), -9999);
    EXPECT_EQ(pcm_sample(-0.00015f), -1);

    // Huge finite levels keep the low 16 bits of their exact integer value;
    // from 2^40 up a float level has no bits that low.
    EXPECT_EQ(pcm_sample(123456.789f), 768);     // 1234567936
    EXPECT_EQ(pcm_sample(-98765.4321f), -26752); // -987654272
    EXPECT_EQ(pcm_sample(429496.8064f), 1024);   // 4294968320
    EXPECT_EQ(pcm_sample(-1.0e6f), 7168);        // -10000000000
    EXPECT_EQ(pcm_sample(1.0e9f), 0);
    EXPECT_EQ(pcm_sample(-1.0e15f), 0);
    EXPECT_EQ(pcm_sample(std::numeric_limits<float>::max()), 0);

    EXPECT_EQ(pcm_sample(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(pcm_sample(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(pcm_sample(-std::numeric_limits<float>::infinity()), 0);
}

TEST(StreamCallback, StartPatchBlock) {
    create_oscillators();
    const Bytes block = fill(BLOCK_BYTES);
    const std::vector<int16_t> samples = carrier_samples(block);
    ASSERT_EQ(samples.size(), 8192u);
    int counts[3] = {0, 0, 0};
    for (int16_t s : samples) {
        ASSERT_TRUE(s == -10000 || s == 0 || s == 10000) << s;
        ++counts[s / 10000 + 1];
    }
    EXPECT_GT(counts[0], 0);
    EXPECT_GT(counts[2], 0);
    for (size_t frame = 0; frame < 8; ++frame)
        EXPECT_EQ(samples[frame], 0) << "frame " << frame + 1;
    EXPECT_EQ(samples[8], 10000);
    // 10000 is 0x2710, low byte first, in both slots.
    EXPECT_EQ(Bytes(block.begin() + 32, block.begin() + 36), (Bytes{0x10, 0x27, 0x10, 0x27}));
}

TEST(StreamCallback, BlocksContinueOneAnother) {
    create_oscillators();
    const Bytes whole = fill(BLOCK_BYTES);

    create_oscillators();
    Bytes halves = fill(BLOCK_BYTES / 2);
    const Bytes second = fill(BLOCK_BYTES / 2);
    halves.insert(halves.end(), second.begin(), second.end());
    EXPECT_EQ(halves, whole);

    // The user data is not looked at.
    create_oscillators();
    EXPECT_EQ(fill(BLOCK_BYTES, BLOCK_BYTES, patch.OSC1), whole);
}

TEST(StreamCallback, NewNoteIsHeardFromTheSecondFrameOfTheNextBlock) {
    create_oscillators();
    Oscillator alone(1.0f, 440.0f, ThreeLevelSquare);
    std::vector<int16_t> expected;
    auto play_alone = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            alone.step();
            expected.push_back(static_cast<int16_t>(alone.output() * 10000.0f));
        }
    };

    std::vector<int16_t> heard = carrier_samples(fill(4000));
    play_alone(1000);
    patch.note = 61;
    const std::vector<int16_t> first = carrier_samples(fill(4));
    EXPECT_EQ(patch.OSC1->AFreq, 440.0f) << "the first frame still plays the old note";
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f);
    play_alone(1);
    const std::vector<int16_t> rest = carrier_samples(fill(8000));
    EXPECT_EQ(patch.OSC1->AFreq, 523.25116f);
    alone.AFreq = 523.25116f;
    play_alone(2000);

    heard.insert(heard.end(), first.begin(), first.end());
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(heard, expected);
}

TEST(StreamCallback, OddAndTinyLengths) {
    create_oscillators();
    const Bytes odd = fill(BLOCK_BYTES + 2);
    EXPECT_EQ(odd[BLOCK_BYTES], UNTOUCHED);
    EXPECT_EQ(odd[BLOCK_BYTES + 1], UNTOUCHED);
    EXPECT_NE(odd[BLOCK_BYTES - 4], UNTOUCHED) << "the last whole frame is written";

    const Bytes seven = fill(7);
    EXPECT_EQ(Bytes(seven.begin() + 4, seven.end()), Bytes(3, UNTOUCHED));

    const float position = patch.OSC1->position;
    for (int32_t length : {0, 2, 3, -1, -4, -32768, INT32_MIN})
        EXPECT_EQ(fill(length, 16), Bytes(16, UNTOUCHED)) << "length " << length;
    EXPECT_EQ(patch.OSC1->position, position) << "no frame was computed";
}

TEST(StreamCallback, CarrierOutputBecomesWrappedSamples) {
    // The first frame moves a ramp at 44100 Hz to position 1.0, where it stays
    // at the 0 Hz of the lowest note: every sample is the amplitude's.
    struct Case {
        float ampl;
        int16_t expected;
    };
    const float inf = std::numeric_limits<float>::infinity();
    for (const Case c :
         {Case{1.0f, 10000}, Case{-1.0f, -10000}, Case{3.5f, -30536}, Case{-3.5f, 30536},
          Case{429496.8064f, 1024}, Case{-429496.8064f, -1024}, Case{inf, 0}, Case{-inf, 0},
          Case{std::numeric_limits<float>::quiet_NaN(), 0}}) {
        create_oscillators();
        patch.OSC1->waveform = Ramp;
        patch.OSC1->Ampl = c.ampl;
        patch.OSC1->Freq = 44100.0f;
        patch.note = INT32_MIN;
        EXPECT_EQ(carrier_samples(fill(12)), std::vector<int16_t>(3, c.expected)) << c.ampl;
        EXPECT_EQ(patch.OSC1->position, 1.0f);
    }
}

TEST(StreamCallback, ExtremeSettingsPlayWithoutFault) {
    // Note 5000 is far beyond any float frequency: from the second frame the
    // position is infinite, its sine is not a number, and the square rests.
    create_oscillators();
    patch.note = 5000;
    EXPECT_EQ(carrier_samples(fill(BLOCK_BYTES)), std::vector<int16_t>(8192, 0));
    EXPECT_TRUE(std::isinf(patch.OSC1->Freq));

    // An infinite ramp is no sample either; only the first 440 Hz frame sounds.
    create_oscillators();
    patch.OSC1->waveform = Ramp;
    patch.note = INT32_MAX;
    std::vector<int16_t> expected(8192, 0);
    expected[0] = 99;
    EXPECT_EQ(carrier_samples(fill(BLOCK_BYTES)), expected);

    // Noise whose modulated frequency and amplitude sweep through the
    // divisor-0 ranges (437..438 Hz, amplitude -1.12..-1.11).
    create_oscillators();
    patch.OSC1->waveform = Noise;
    patch.OSC2->Ampl = 3.0f;
    patch.OSC2->Freq = 50.0f;
    patch.OSC3->Ampl = 0.01f;
    patch.OSC3->Freq = 30.0f;
    int impulses = 0;
    for (int block = 0; block < 10; ++block) {
        for (int16_t s : carrier_samples(fill(BLOCK_BYTES))) {
            ASSERT_GE(s, -20000);
            ASSERT_LE(s, 31000);
            impulses += s > 5000;
        }
    }
    EXPECT_GT(impulses, 0);

    // Every carrier code, known or not, under wild modulation.
    for (int32_t code : {1, 2, 3, 4, 5, 0, 99, -7}) {
        for (float extreme : {1.0e30f, 3.0e38f, -1.0e30f}) {
            create_oscillators();
            patch.OSC1->waveform = code;
            patch.OSC1->Ampl = extreme;
            for (Oscillator *osc : {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5}) {
                osc->Ampl = extreme;
                osc->Freq = extreme;
            }
            patch.note = code * 1000;
            carrier_samples(fill(BLOCK_BYTES));
        }
    }
}
