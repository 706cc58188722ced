// SPDX-License-Identifier: MIT
#include "platform/audio/facade/fsound_error.h"
#include "stream_probe.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
TEST(FSoundChoice, NoSoundHasOneDriverAndAStreamNeedsInit) {
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_NOSOUND);
    EXPECT_EQ(FSOUND_GetNumDrivers(), 1);
    EXPECT_STREQ(FSOUND_GetDriverName(0), "NoSound");
    EXPECT_EQ(error_of(!FSOUND_GetDriverName(1)), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(error_of(!FSOUND_SetDriver(1)), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(error_of(!FSOUND_SetDriver(-1)), FMOD_ERR_INVALID_PARAM);
    for (int code : {-1, 3, 5, 8})
        EXPECT_EQ(error_of(!FSOUND_SetOutput(code)), FMOD_ERR_INVALID_PARAM) << code;
    EXPECT_EQ(error_of(!FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, 0, RATE, nullptr)),
              FMOD_ERR_UNINITIALIZED);
}

// The user reads an output's failure in the text of the library's code for
// it: an ALSA device that is busy, say, must still read as one in use.
TEST(FSoundError, EveryOutputFailureKeepsTheLibrarysCode) {
    const std::pair<AudioError, int> codes[] = {
        {AudioError::None, FMOD_ERR_NONE},       {AudioError::Unavailable, FMOD_ERR_INIT},
        {AudioError::InUse, FMOD_ERR_ALLOCATED}, {AudioError::Format, FMOD_ERR_OUTPUT_FORMAT},
        {AudioError::Memory, FMOD_ERR_MEMORY},
    };
    for (const auto &[error, code] : codes)
        EXPECT_EQ(fsound_error(error), code) << static_cast<int>(error);
}

class NoSound : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
        ASSERT_TRUE(FSOUND_Init(RATE, 32, 0));
    }
    void TearDown() override { FSOUND_Close(); }
    FSOUND_STREAM *create(int length = BLOCK_BYTES, int rate = RATE) {
        return FSOUND_Stream_Create(probe_callback, length, 0, rate, &probe);
    }
    Probe probe;
};

TEST_F(NoSound, ChecksArgumentsAndCallsBackWithTheStream) {
    EXPECT_EQ(error_of(!FSOUND_Init(RATE, 32, 0)), FMOD_ERR_BUSY);
    EXPECT_EQ(error_of(!FSOUND_SetOutput(FSOUND_OUTPUT_ALSA)), FMOD_ERR_BUSY);
    EXPECT_EQ(error_of(!FSOUND_Stream_Create(nullptr, BLOCK_BYTES, 0, RATE, &probe)),
              FMOD_ERR_INVALID_PARAM);
    for (int length : {0, -4, 3})
        EXPECT_EQ(error_of(!create(length)), FMOD_ERR_INVALID_PARAM) << length;
    EXPECT_EQ(error_of(!create(BLOCK_BYTES, 48000)), FMOD_ERR_INVALID_PARAM);
    FSOUND_STREAM *stream = create();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(error_of(!create()), FMOD_ERR_ALLOCATED);
    EXPECT_EQ(error_of(FSOUND_Stream_Play(0, nullptr) == -1), FMOD_ERR_INVALID_PARAM);
    auto *other = reinterpret_cast<FSOUND_STREAM *>(&probe);
    EXPECT_EQ(error_of(FSOUND_Stream_Play(0, other) == -1), FMOD_ERR_INVALID_PARAM);
    ASSERT_EQ(FSOUND_Stream_Play(0, stream), 0);
    EXPECT_EQ(error_of(FSOUND_Stream_Play(0, stream) == -1), FMOD_ERR_PLAY);

    ASSERT_TRUE(within_20_s([&] { return probe.calls >= 3; }));
    EXPECT_EQ(probe.stream, stream);
    EXPECT_TRUE(probe.signals_blocked)
        << "the stream thread blocks the signals that end the program";
}

TEST_F(NoSound, CloseWaitsForTheCallbackAndLeavesTheLayerAsNew) {
    ASSERT_EQ(FSOUND_Stream_Play(0, create()), 0);
    ASSERT_TRUE(within_20_s([&] { return probe.inside.load(); }));
    FSOUND_Close();
    EXPECT_FALSE(probe.inside) << "a callback outlived Close";
    FSOUND_Close();
    EXPECT_EQ(error_of(!create()), FMOD_ERR_UNINITIALIZED);
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
    ASSERT_TRUE(FSOUND_Init(RATE, 32, 0));
    EXPECT_NE(create(), nullptr);
}

} // namespace
