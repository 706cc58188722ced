#include "fsound.h"
#include "stream_probe.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {
constexpr int RATE = 44100;
constexpr int BLOCK_BYTES = 32768;
constexpr unsigned MODE = 0x1000150;

class NoSound : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
        ASSERT_TRUE(FSOUND_SetDriver(0));
        ASSERT_TRUE(FSOUND_Init(RATE, 32, 0));
    }
    void TearDown() override { FSOUND_Close(); }

    FSOUND_STREAM *create() {
        return FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, MODE, RATE, &probe);
    }

    StreamProbe probe;
};

std::map<std::string, double> read_stats(const std::string &path) {
    std::map<std::string, double> stats;
    std::istringstream lines(read_file(path));
    std::string key;
    double value;
    while (lines >> key >> value)
        stats[key] = value;
    return stats;
}
} // namespace

TEST(NoSoundOutput, HasExactlyOneDriverNamedNoSound) {
    EXPECT_EQ(FSOUND_GetVersion(), 3.74f);
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_NOSOUND);
    EXPECT_EQ(FSOUND_GetNumDrivers(), 1);
    EXPECT_STREQ(FSOUND_GetDriverName(0), "NoSound");
    EXPECT_EQ(FSOUND_GetDriverName(1), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    EXPECT_FALSE(FSOUND_SetDriver(1));
    EXPECT_FALSE(FSOUND_SetDriver(-1));
    FSOUND_Close();
}

TEST(NoSoundOutput, RejectsUnknownOutputCodes) {
    for (int code : {-1, 3, 5, 8}) {
        EXPECT_FALSE(FSOUND_SetOutput(code)) << code;
        EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    }
}

TEST(NoSoundOutput, StreamNeedsInit) {
    StreamProbe probe;
    EXPECT_EQ(FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, MODE, RATE, &probe), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_UNINITIALIZED);
}

TEST_F(NoSound, SettingsAreFixedOnceInitialised) {
    EXPECT_FALSE(FSOUND_Init(RATE, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_BUSY);
    EXPECT_FALSE(FSOUND_SetOutput(FSOUND_OUTPUT_ALSA));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_BUSY);
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_NOSOUND);
}

TEST_F(NoSound, StreamCreateRejectsBadArguments) {
    EXPECT_EQ(FSOUND_Stream_Create(nullptr, BLOCK_BYTES, MODE, RATE, &probe), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    for (int length : {0, -4, 3}) {
        EXPECT_EQ(FSOUND_Stream_Create(probe_callback, length, MODE, RATE, &probe), nullptr);
        EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM) << length;
    }
    EXPECT_EQ(FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, MODE, 48000, &probe), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    EXPECT_NE(create(), nullptr);
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_ALLOCATED);
}

TEST_F(NoSound, StreamPlayRejectsOtherStreamsAndASecondStart) {
    FSOUND_STREAM *stream = create();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(0, nullptr), -1);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Play(0, reinterpret_cast<FSOUND_STREAM *>(&probe)), -1);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    EXPECT_NE(FSOUND_Stream_Play(0, stream), -1);
    EXPECT_EQ(FSOUND_Stream_Play(0, stream), -1);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_PLAY);
}

TEST_F(NoSound, PlayRunsTheCallbackOnItsOwnThreadOneCallAtATime) {
    FSOUND_STREAM *stream = create();
    ASSERT_NE(stream, nullptr);
    sigset_t before, after;
    pthread_sigmask(SIG_BLOCK, nullptr, &before);
    ASSERT_NE(FSOUND_Stream_Play(0, stream), -1);
    pthread_sigmask(SIG_BLOCK, nullptr, &after);
    ASSERT_TRUE(wait_for_calls(probe, 3));
    EXPECT_EQ(probe.stream, stream);
    EXPECT_EQ(probe.length, BLOCK_BYTES);
    EXPECT_FALSE(pthread_equal(probe.thread, pthread_self()));
    EXPECT_FALSE(probe.overlapped);
    EXPECT_TRUE(probe.stop_signals_blocked);
    // The caller's own mask is left as it was.
    EXPECT_EQ(sigismember(&after, SIGTERM), sigismember(&before, SIGTERM));
    EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
}

TEST_F(NoSound, CloseStopsTheCallbacksAndCanBeRepeated) {
    FSOUND_STREAM *stream = create();
    ASSERT_NE(FSOUND_Stream_Play(0, stream), -1);
    ASSERT_TRUE(wait_for_calls(probe, 2));
    FSOUND_Close();
    const int calls = probe.calls;
    EXPECT_FALSE(probe.inside);
    // Two blocks' time: a thread still running would call again.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(probe.calls, calls);
    FSOUND_Close();
    // Closed, the layer starts afresh.
    EXPECT_EQ(FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, MODE, RATE, &probe), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_UNINITIALIZED);
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
    ASSERT_TRUE(FSOUND_Init(RATE, 32, 0));
    EXPECT_NE(create(), nullptr);
}

TEST_F(NoSound, CloseWritesTheStreamFiguresWhenAsked) {
    char path[] = "/tmp/audio_stats_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("SCOPESYNTH_AUDIO_STATS", path, 1);
    ASSERT_NE(FSOUND_Stream_Play(0, create()), -1);
    ASSERT_TRUE(wait_for_calls(probe, 2));
    FSOUND_Close();
    unsetenv("SCOPESYNTH_AUDIO_STATS");
    const auto stats = read_stats(path);
    unlink(path);
    ASSERT_EQ(stats.size(), 5u);
    EXPECT_EQ(stats.at("callbacks"), probe.calls);
    EXPECT_EQ(stats.at("underruns"), 0);
    EXPECT_GE(stats.at("max_callback_us"), 0);
    EXPECT_EQ(stats.at("worst_latency_ms"), 0);
    EXPECT_GT(stats.at("elapsed_s"), 0);
}
