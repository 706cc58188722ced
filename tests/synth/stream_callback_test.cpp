// SPDX-License-Identifier: MIT
#include "synth/stream_callback.h"

#include "synth/patch.h"
#include "synth/sample.h"
#include "synth/stream_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {
constexpr int32_t BLOCK_BYTES = 32768;
constexpr unsigned char UNTOUCHED = 0xA5;

using Bytes = std::vector<unsigned char>;

// Runs the callback, unpaced and without a window, on a buffer of `size`
// bytes prefilled with UNTOUCHED.
Bytes fill(int32_t length, size_t size) {
    Bytes buffer(size, UNTOUCHED);
    StreamContext context{&patch, {}, nullptr};
    EXPECT_EQ(stream_callback(nullptr, buffer.data(), length, &context), 1);
    return buffer;
}

Bytes fill(int32_t length) {
    return fill(length, static_cast<size_t>(length));
}

// The little-endian samples of a block, left and right checked equal.
std::vector<int16_t> samples(const Bytes &block) {
    std::vector<int16_t> out;
    for (size_t at = 0; at + 4 <= block.size(); at += 4) {
        const auto left = static_cast<int16_t>(block[at] | block[at + 1] << 8);
        EXPECT_EQ(left, static_cast<int16_t>(block[at + 2] | block[at + 3] << 8)) << at / 4;
        out.push_back(left);
    }
    return out;
}
} // namespace

TEST(StreamCallback, StartPatchBlockIsAThreeLevelSquare) {
    create_oscillators();
    const std::vector<int16_t> s = samples(fill(BLOCK_BYTES));
    ASSERT_EQ(s.size(), 8192u);
    EXPECT_EQ(std::vector<int16_t>(s.begin(), s.begin() + 9),
              (std::vector<int16_t>{0, 0, 0, 0, 0, 0, 0, 0, 10000}));
    for (int16_t level : s)
        ASSERT_TRUE(level == -10000 || level == 0 || level == 10000) << level;
    EXPECT_NE(std::find(s.begin(), s.end(), -10000), s.end());
}

TEST(StreamCallback, BlocksContinueOneAnother) {
    create_oscillators();
    const Bytes whole = fill(BLOCK_BYTES);
    create_oscillators();
    Bytes halves = fill(BLOCK_BYTES / 2);
    const Bytes second = fill(BLOCK_BYTES / 2);
    halves.insert(halves.end(), second.begin(), second.end());
    EXPECT_EQ(halves, whole);
}

TEST(StreamCallback, NewNoteIsHeardFromTheSecondFrameOfTheNextBlock) {
    create_oscillators();
    fill(BLOCK_BYTES);
    patch.note = 61;
    fill(4);
    EXPECT_EQ(patch.OSC1->AFreq, 440.0f);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f);
    fill(4);
    EXPECT_EQ(patch.OSC1->AFreq, 523.25116f);
}

TEST(StreamCallback, OddAndTinyLengthsWriteOnlyWholeFrames) {
    create_oscillators();
    const Bytes odd = fill(BLOCK_BYTES + 2);
    EXPECT_NE(odd[BLOCK_BYTES - 4], UNTOUCHED);
    EXPECT_EQ(Bytes(odd.end() - 2, odd.end()), Bytes(2, UNTOUCHED));
    const Bytes seven = fill(7);
    EXPECT_EQ(Bytes(seven.begin() + 4, seven.end()), Bytes(3, UNTOUCHED));

    const float position = patch.OSC1->position;
    for (int32_t length : {0, 2, 3, -1, -4, INT32_MIN})
        EXPECT_EQ(fill(length, 16), Bytes(16, UNTOUCHED)) << "length " << length;
    EXPECT_EQ(patch.OSC1->position, position) << "no frame was computed";
}

TEST(StreamCallback, CarrierOutputBecomesItsTruncatedLevelWrappedToSixteenBits) {
    // A ramp at 44100 Hz stops at position 1.0 under the lowest note's 0 Hz:
    // every sample is that of an output equal to the amplitude.
    const float inf = std::numeric_limits<float>::infinity();
    const float max = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::pair<float, int16_t> cases[] = {
        {1.0f, 10000},      {-1.0f, -10000},   {3.5f, -30536},   {-3.5f, 30536},
        {3.2767f, 32767},   {3.2768f, -32768}, {0.99999f, 9999}, {-0.00015f, -1},
        {123456.789f, 768}, {-1.0e6f, 7168},   {1.0e9f, 0},      {-1.0e15f, 0},
        {max, 0},           {inf, 0},          {-inf, 0},        {nan, 0}};
    for (const auto &[ampl, sample] : cases) {
        create_oscillators();
        patch.OSC1->waveform = Ramp;
        patch.OSC1->Ampl = ampl;
        patch.OSC1->Freq = 44100.0f;
        patch.note = INT32_MIN;
        EXPECT_EQ(samples(fill(12)), std::vector<int16_t>(3, sample)) << ampl;
    }
}

TEST(StreamCallback, FarNotesAndWildModulationPlayWithoutFault) {
    // Note 5000's infinite frequency leaves the square no sine to decide on.
    create_oscillators();
    patch.note = 5000;
    EXPECT_EQ(samples(fill(BLOCK_BYTES)), std::vector<int16_t>(8192, 0));

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
            EXPECT_EQ(samples(fill(BLOCK_BYTES)).size(), 8192u);
        }
    }
}

namespace {
// What the frame loop showed the audio layer at each progress point.
struct ProgressSeen {
    std::vector<int32_t> points;
    bool only_finished_frames_written = true;
    const Bytes *block = nullptr;
};
ProgressSeen seen;

void watch_progress(void *, int32_t done) {
    seen.points.push_back(done);
    const Bytes &b = *seen.block;
    for (size_t at = 0; at < b.size(); at += 4)
        if ((b[at] == UNTOUCHED && b[at + 1] == UNTOUCHED) != (at / 4 >= size_t(done)))
            seen.only_finished_frames_written = false;
    // A key pressed while the layer holds the loop back.
    if (done == 512)
        patch.note = 61;
}
} // namespace

TEST(StreamCallback, HandsOnFinishedPiecesAndAKeyBetweenThemLandsAtTheNextFrame) {
    // The same key, applied by hand before frame 512.
    create_oscillators();
    std::vector<int16_t> expected;
    for (int frame = 0; frame < 1000; frame++) {
        if (frame == 512)
            patch.note = 61;
        expected.push_back(pcm_sample(patch_tick(patch, true)));
    }

    create_oscillators();
    patch.note = 58;
    Bytes block(4000, UNTOUCHED);
    seen = {{}, true, &block};
    StreamContext context{&patch, {watch_progress, nullptr}, nullptr};
    stream_callback(nullptr, block.data(), 4000, &context);
    EXPECT_EQ(seen.points, (std::vector<int32_t>{128, 256, 384, 512, 640, 768, 896, 1000}));
    EXPECT_TRUE(seen.only_finished_frames_written);
    EXPECT_EQ(samples(block), expected);
}

namespace {
// Two blocks of a modulated patch, each followed by the five positions it
// left, played with or without somewhere for the previews to go.
std::vector<float> play_modulated_patch(NewestOfThree<Preview> *previews) {
    create_oscillators();
    patch.note = 63;
    patch.OSC1->waveform = Sine;
    Oscillator *const all[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    const float settings[][2] = {{3.0f, 0.3f}, {5.5f, 0.2f}, {7.0f, 0.5f}, {11.0f, 0.1f}};
    for (int i = 0; i < 4; ++i) {
        all[i + 1]->Freq = settings[i][0];
        all[i + 1]->Ampl = settings[i][1];
    }
    std::vector<float> heard;
    StreamContext context{&patch, {}, previews};
    for (int block = 0; block < 2; ++block) {
        Bytes bytes(BLOCK_BYTES);
        stream_callback(nullptr, bytes.data(), BLOCK_BYTES, &context);
        heard.insert(heard.end(), bytes.begin(), bytes.end());
        for (const Oscillator *o : all)
            heard.push_back(o->position);
    }
    return heard;
}
} // namespace

TEST(StreamCallback, PublishesAPreviewFromPositionZeroAndPlaysOnAsWithoutOne) {
    auto previews = std::make_unique<NewestOfThree<Preview>>();
    const auto with_previews = play_modulated_patch(previews.get());

    // The newest preview is the second block's: the patch from position 0
    // at the note that block played, as a preview run now gives it.
    const Preview *newest = previews->take();
    ASSERT_NE(newest, nullptr);
    auto again = std::make_unique<Preview>();
    run_preview(patch, *again);
    EXPECT_EQ(std::memcmp(newest, again.get(), sizeof(Preview)), 0);
    EXPECT_NE(newest->samples[100].carrier, newest->samples[0].carrier);
    EXPECT_EQ(previews->take(), nullptr) << "one preview a block, each taken once";

    EXPECT_EQ(with_previews, play_modulated_patch(nullptr));
}
