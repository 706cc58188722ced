// SPDX-License-Identifier: MIT
#pragma once

// Stand-ins for the audio layer and the console keys, linked in place of the
// real ones. Each test sets them up and reads back what the program did.

#include <deque>
#include <string>
#include <vector>

struct FakeAudio {
    float version = 3.74f;
    int forced_output = -1; // the output reported in force; -1: the one set
    std::vector<std::string> drivers{"Only driver"};
    bool init_ok = true;
    int error = 0;
    bool create_ok = true;
    int play_result = 1;

    int output_set = -1;
    int driver_set = -1;
    int init_rate = 0;
    unsigned int init_flags = 99;
    int stream_length = 0, stream_rate = 0;
    void *stream_user_data = nullptr;
};
extern FakeAudio fake_audio;

// Keys that read_key hands out in order. When they run out, key_waiting ends
// the process with status 0, so a test can run the endless control loop to
// the end of its script; read_key, which the set-up prompts call alone, ends
// it with OUT_OF_KEYS instead, so that a prompt that should have ended on a
// key cannot pass for one that did.
extern std::deque<int> fake_keys;
constexpr int OUT_OF_KEYS = 97;

// Runs `body` with standard output going to a file and returns what it printed.
template <typename F> std::string captured_stdout(F body);

// Reads a whole file.
std::string read_file(const std::string &path);
// A file for the output of the test in hand, named after it: CTest runs the
// cases side by side in one folder, and a death test's process (a fork on
// Linux, the test program started again on Windows) writes the same one.
std::string test_output_file();
// Points standard output at a file (for statements that end the process).
void redirect_stdout(const std::string &path);

#include <cstdio>
#include <gtest/gtest.h>

template <typename F> std::string captured_stdout(F body) {
    testing::internal::CaptureStdout();
    body();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
