// SPDX-License-Identifier: MIT
#include "fakes.h"

#include "app/shutdown.h"
#include "platform/audio/facade/fsound.h"
#include "platform/console/console_keys.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

FakeAudio fake_audio;
std::deque<int> fake_keys;

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string test_output_file() {
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(test->test_suite_name()) + "." + test->name() + ".out";
}

void redirect_stdout(const std::string &path) {
    if (!std::freopen(path.c_str(), "w", stdout))
        std::abort();
}

float FSOUND_GetVersion() {
    return fake_audio.version;
}
signed char FSOUND_SetOutput(int output) {
    fake_audio.output_set = output;
    return 1;
}
int FSOUND_GetOutput() {
    return fake_audio.forced_output >= 0 ? fake_audio.forced_output : fake_audio.output_set;
}
int FSOUND_GetNumDrivers() {
    return static_cast<int>(fake_audio.drivers.size());
}
const char *FSOUND_GetDriverName(int driver) {
    return fake_audio.drivers.at(driver).c_str();
}
signed char FSOUND_SetDriver(int driver) {
    fake_audio.driver_set = driver;
    return 1;
}
signed char FSOUND_Init(int mix_rate, int, unsigned int flags) {
    fake_audio.init_rate = mix_rate;
    fake_audio.init_flags = flags;
    return fake_audio.init_ok;
}
int FSOUND_GetError() {
    return fake_audio.error;
}
FSOUND_STREAM *FSOUND_Stream_Create(FSOUND_STREAMCALLBACK, int length, unsigned int,
                                    int sample_rate, void *user_data) {
    fake_audio.stream_length = length;
    fake_audio.stream_rate = sample_rate;
    fake_audio.stream_user_data = user_data;
    static int handle;
    return fake_audio.create_ok ? reinterpret_cast<FSOUND_STREAM *>(&handle) : nullptr;
}
int FSOUND_Stream_Play(int, FSOUND_STREAM *) {
    return fake_audio.play_result;
}
void FSOUND_Close() {}
ProgressHook audio_progress_hook() {
    return {};
}

void console_keys_start(void (*)(int)) {}
void console_keys_stop() {}

// The program's way out, without its shutdown: nothing was started.
void end_program(int status) {
    std::fflush(stdout);
    std::exit(status);
}

int key_waiting() {
    if (fake_keys.empty()) {
        std::fflush(stdout);
        std::exit(0);
    }
    return 1;
}

int read_key() {
    if (fake_keys.empty()) {
        std::fflush(stdout);
        std::exit(OUT_OF_KEYS);
    }
    const int key = fake_keys.front();
    fake_keys.pop_front();
    return key;
}
