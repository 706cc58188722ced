#include "fsound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
constexpr int RATE = 44100;
constexpr int BLOCK_BYTES = 32768;
constexpr int BLOCK_FRAMES = BLOCK_BYTES / 4;

// A stream callback that records what the layer hands it. Each call lasts
// 20 ms, so that a test can catch the layer in the middle of one.
struct Probe {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false}, signals_blocked{true};
    std::atomic<FSOUND_STREAM *> stream{nullptr};
    int16_t counter = 0; // the value of the next frame, left and right
};

signed char probe_callback(FSOUND_STREAM *stream, void *buffer, int length, void *user_data) {
    Probe &p = *static_cast<Probe *>(user_data);
    p.inside = true;
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        if (!sigismember(&mask, signal))
            p.signals_blocked = false;
    auto *samples = static_cast<int16_t *>(buffer);
    for (int i = 0; i < length / 2; i += 2, p.counter++)
        samples[i] = samples[i + 1] = p.counter;
    p.stream = stream;
    std::this_thread::sleep_for(20ms);
    p.inside = false;
    p.calls++;
    return 1;
}

template <class Condition> bool within_20_s(Condition done) {
    for (int ms = 0; ms < 20000 && !done(); ms++)
        std::this_thread::sleep_for(1ms);
    return done();
}

// The error that a failed call left, or -1 when the call succeeded.
int error_of(bool failed) {
    return failed ? FSOUND_GetError() : -1;
}

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

// ALSA reads ~/.asoundrc on top of the system's configuration, so a HOME of
// the test's own adds a device that writes what it is given to a file and
// passes it on to `null`, which takes it as fast as it comes. No JACK server
// runs under the name given here.
class Alsa : public testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/fsound_alsa_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        home = dir;
        std::ofstream(home / ".asoundrc")
            << "pcm.scopesynth_sink { type file slave.pcm null file \""
            << (home / "captured.raw").string() << "\" format raw }\n"
            << "pcm.!default { type null }\n";
        setenv("HOME", dir, 1);
        setenv("JACK_DEFAULT_SERVER", "scopesynth_test_no_server", 1);
    }
    void TearDown() override {
        FSOUND_Close();
        fs::remove_all(home);
    }
    // Chooses the sink among the drivers; false when it is not listed.
    bool choose_sink() {
        for (int i = 0; i < FSOUND_GetNumDrivers(); i++)
            if (std::string(FSOUND_GetDriverName(i)) == "scopesynth_sink")
                return FSOUND_SetDriver(i);
        return false;
    }
    fs::path home;
    Probe probe;
};

TEST_F(Alsa, ListsTheUserDeviceAndMapsItsErrors) {
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_ALSA) << "before any choice";
    EXPECT_STREQ(FSOUND_GetDriverName(0), "default") << "the driver a player should pick";
    EXPECT_TRUE(choose_sink());
    // Without a JACK server ASIO falls back to ALSA too.
    for (int output : {FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_ASIO}) {
        ASSERT_TRUE(FSOUND_SetOutput(output));
        EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_ALSA) << output;
        EXPECT_TRUE(choose_sink()) << output;
    }
    for (int rate : {100, 400000})
        EXPECT_EQ(error_of(!FSOUND_Init(rate, 32, 0)), FMOD_ERR_OUTPUT_FORMAT) << rate;
    EXPECT_EQ(error_of(!FSOUND_Init(0, 32, 0)), FMOD_ERR_INVALID_PARAM);
    EXPECT_TRUE(FSOUND_Init(RATE, 32, 0)) << "a failed start leaves the layer ready for another";
}

// Probing for a JACK server that is not there and a failed open are what
// make the sound libraries talk.
TEST_F(Alsa, TheDeviceGetsEveryFrameInOrderAndTheLibrariesPrintNothing) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    FSOUND_SetOutput(FSOUND_OUTPUT_ASIO);
    choose_sink();
    FSOUND_Init(100, 32, 0);
    FSOUND_Init(RATE, 32, 0);
    FSOUND_Stream_Play(0, FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, 0, RATE, &probe));
    within_20_s([&] { return probe.calls >= 12; });
    FSOUND_Close();
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");

    const fs::path captured = home / "captured.raw";
    std::vector<int16_t> samples(fs::file_size(captured) / 2);
    std::ifstream(captured).read(reinterpret_cast<char *>(samples.data()), 2 * samples.size());
    // The device may start with silence; the probe's frames count 0, 1, 2...
    size_t first = 0;
    while (first + 2 < samples.size() && samples[first + 2] != 1)
        first += 2;
    ASSERT_GE(samples.size(), first + 2 * 10 * BLOCK_FRAMES);
    for (size_t i = 0; i < 2 * 10 * BLOCK_FRAMES; i++)
        ASSERT_EQ(samples[first + i], int16_t(i / 2)) << "sample " << i;
}
} // namespace
