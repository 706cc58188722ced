#include "fsound.h"
#include "stream_probe.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr int RATE = 44100;
constexpr int BLOCK_BYTES = 32768;
constexpr int BLOCK_FRAMES = BLOCK_BYTES / 4;
const char *const SINK = "scopesynth_sink";

// ALSA reads ~/.asoundrc on top of the system's configuration, so a HOME of
// the test's own defines its devices without hiding `null`. The sink writes
// what it is given to a file and passes it on to `null`, which takes it as
// fast as it comes. No JACK server runs under the name given here.
class Alsa : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fsound_alsa_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        capture = home / "captured.raw";
        std::ofstream(home / ".asoundrc") << "pcm." << SINK << " {\n"
                                          << "    type file\n"
                                          << "    slave.pcm \"null\"\n"
                                          << "    file \"" << capture.string() << "\"\n"
                                          << "    format \"raw\"\n"
                                          << "}\n";
        setenv("HOME", home.c_str(), 1);
        setenv("JACK_DEFAULT_SERVER", "scopesynth_test_no_server", 1);
    }
    void TearDown() override {
        FSOUND_Close();
        fs::remove_all(home);
    }

    // Chooses the sink among the ALSA drivers; false when it is not listed.
    bool choose_sink() {
        for (int i = 0; i < FSOUND_GetNumDrivers(); i++)
            if (std::string(FSOUND_GetDriverName(i)) == SINK)
                return FSOUND_SetDriver(i);
        return false;
    }

    fs::path home, capture;
    StreamProbe probe;
};

// Sends this process's standard output and error to a file while alive.
class ConsoleCapture {
  public:
    explicit ConsoleCapture(const fs::path &path) : path(path) {
        fflush(stdout);
        saved_out = dup(1);
        saved_err = dup(2);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    ~ConsoleCapture() { restore(); }
    std::string text() {
        restore();
        return read_file(path);
    }

  private:
    void restore() {
        if (saved_out < 0)
            return;
        fflush(stdout);
        dup2(saved_out, 1);
        dup2(saved_err, 2);
        close(saved_out);
        close(saved_err);
        saved_out = saved_err = -1;
    }
    fs::path path;
    int saved_out, saved_err;
};

// The frames of a raw 16-bit little-endian stereo file, as (left, right).
std::vector<std::pair<int16_t, int16_t>> read_frames(const fs::path &path) {
    const std::string bytes = read_file(path);
    std::vector<std::pair<int16_t, int16_t>> frames;
    auto sample = [&](size_t at) {
        return int16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
    };
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4)
        frames.emplace_back(sample(at), sample(at + 2));
    return frames;
}
} // namespace

TEST_F(Alsa, ListsTheUserDevicesUnderTheirOwnNames) {
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_ALSA);
    EXPECT_TRUE(choose_sink());
    // Without a JACK server the native output stays in force.
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_ASIO));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_ALSA);
    EXPECT_TRUE(choose_sink());
}

TEST_F(Alsa, DefaultsToAlsaBeforeAnyChoice) {
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_ALSA);
    EXPECT_TRUE(choose_sink());
}

TEST_F(Alsa, RatesTheDeviceCannotPlayAreAFormatError) {
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_ALSA));
    ASSERT_TRUE(choose_sink());
    for (int rate : {100, 400000}) {
        EXPECT_FALSE(FSOUND_Init(rate, 32, 0)) << rate;
        EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_OUTPUT_FORMAT) << rate;
    }
    EXPECT_FALSE(FSOUND_Init(0, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);
    // A failed start leaves the layer ready for another try.
    EXPECT_TRUE(FSOUND_Init(RATE, 32, 0));
}

TEST_F(Alsa, TheSoundLibrariesPrintNothing) {
    ConsoleCapture console(home / "console.txt");
    // Probing every ALSA device and a JACK server that is not there, and a
    // failed open, are what make the libraries talk.
    FSOUND_SetOutput(FSOUND_OUTPUT_ASIO);
    FSOUND_SetOutput(FSOUND_OUTPUT_ALSA);
    choose_sink();
    FSOUND_Init(100, 32, 0);
    FSOUND_Init(RATE, 32, 0);
    FSOUND_Stream_Play(0, FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, 0, RATE, &probe));
    wait_for_calls(probe, 3);
    FSOUND_Close();
    EXPECT_EQ(console.text(), "");
    EXPECT_GE(probe.calls, 3);
}

TEST_F(Alsa, TheDeviceGetsEveryFrameInOrder) {
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_ALSA));
    ASSERT_TRUE(choose_sink());
    ASSERT_TRUE(FSOUND_Init(RATE, 32, 0));
    FSOUND_STREAM *stream = FSOUND_Stream_Create(probe_callback, BLOCK_BYTES, 0, RATE, &probe);
    ASSERT_NE(FSOUND_Stream_Play(0, stream), -1);
    ASSERT_TRUE(wait_for_calls(probe, 12));
    FSOUND_Close();
    EXPECT_EQ(probe.stream, stream);
    EXPECT_TRUE(probe.stop_signals_blocked);

    const auto frames = read_frames(capture);
    // The device may start with silence; the stream's frames count 0, 1, 2...
    size_t first = 0;
    while (first + 1 < frames.size() && frames[first + 1].first != 1)
        first++;
    ASSERT_GE(frames.size(), first + 10 * BLOCK_FRAMES);
    for (size_t i = 0; i < 10 * BLOCK_FRAMES; i++) {
        ASSERT_EQ(frames[first + i].first, int16_t(i)) << "frame " << i;
        ASSERT_EQ(frames[first + i].second, int16_t(i)) << "frame " << i;
    }
}
