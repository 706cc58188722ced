// SPDX-License-Identifier: MIT
#include "stream_probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
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
