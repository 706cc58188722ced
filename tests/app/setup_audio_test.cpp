// SPDX-License-Identifier: MIT
#include "app/audio_error_text.h"
#include "app/setup_audio.h"
#include "app/start_stream.h"
#include "fakes.h"
#include "synth/patch.h"

#include <gtest/gtest.h>

#include <string>

using testing::ExitedWithCode;

namespace {
const std::string SEP = "---------------------------------------------------------\n";
const std::string MENU = SEP + "Output Type\n" + SEP +
                         "1 - Direct Sound\n2 - Windows Multimedia Waveout\n3 - ASIO\n"
                         "4 - NoSound\n" +
                         SEP + "Press a corresponding number or ESC to quit\n";
const std::string PROMPT = SEP + "Press a corresponding number or ESC to quit\n";

std::string driver_header(const std::string &name) {
    return SEP + name + " Driver list\n" + SEP;
}

// Runs the dialog to an exit and returns what it printed.
std::string dialog_until_exit(int expected_status) {
    EXPECT_EXIT(
        {
            redirect_stdout(test_output_file());
            setup_audio();
        },
        ExitedWithCode(expected_status), "");
    return read_file(test_output_file());
}
} // namespace

TEST(SetupAudio, RefusesALibraryOlderThan374AndAcceptsExactly374) {
    fake_audio.version = 3.73f;
    fake_keys = {'4', '1'};
    bool ok = true;
    EXPECT_EQ(captured_stdout([&] { ok = setup_audio(); }),
              "Error : You are using the wrong DLL version!  You should be using FMOD 3.74\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(fake_audio.output_set, -1);

    fake_audio.version = 3.74f;
    EXPECT_TRUE(setup_audio());
}

TEST(SetupAudio, FullDialogIgnoresUnusableKeysAndStartsTheMixer) {
    fake_audio.drivers = {"NoSound"};
    // Unusable keys at both prompts, each ignored without a word; a key counts
    // by its low 8 bits only, so 0x134 is "4".
    fake_keys = {'5', '0', 'a', '\r', 0x1B5, 0x134, '0', '2', 0xE0, 0x48, '1'};
    bool ok = false;
    const std::string out = captured_stdout([&] { ok = setup_audio(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, MENU + driver_header("NoSound") + "1 - NoSound\n" + PROMPT);
    EXPECT_EQ(fake_audio.output_set, 0);
    EXPECT_EQ(fake_audio.driver_set, 0);
    EXPECT_EQ(fake_audio.init_rate, 44100);
    EXPECT_EQ(fake_audio.init_flags, 0u);
    EXPECT_TRUE(fake_keys.empty());
}

TEST(SetupAudio, MenuKeysSelectTheirOutputCodes) {
    const std::pair<int, int> menu[] = {{'1', 2}, {'2', 1}, {'3', 7}, {'4', 0}};
    for (auto [key, code] : menu) {
        fake_keys = {key, '1'};
        captured_stdout([] { setup_audio(); });
        EXPECT_EQ(fake_audio.output_set, code) << "key " << char(key);
    }
}

TEST(SetupAudio, EscAtEitherPromptEndsWithStatusZeroAndNothingMore) {
    fake_keys = {'x', 27};
    EXPECT_EQ(dialog_until_exit(0), MENU);

    fake_keys = {'3', '9', 27, '1'};
    fake_audio.forced_output = 6;
    EXPECT_EQ(dialog_until_exit(0), MENU + driver_header("Alsa") + "1 - Only driver\n" + PROMPT);
}

TEST(SetupAudio, OutputsWithoutANamePrintNothingBeforeDriverList) {
    for (int code : {3, 8, 9}) {
        fake_audio.forced_output = code;
        fake_keys = {'1', '1'};
        const std::string out = captured_stdout([] { setup_audio(); });
        EXPECT_NE(out.find(SEP + " Driver list\n"), std::string::npos) << code;
    }
}

TEST(SetupAudio, WithNoDriversOnlyEscLeavesTheDriverPrompt) {
    fake_audio.drivers.clear();
    fake_keys = {'4', '1', '0', ':', 27};
    EXPECT_EQ(dialog_until_exit(0), MENU + driver_header("NoSound") + PROMPT);

    fake_keys = {'4', '1'};
    EXPECT_EXIT(
        {
            redirect_stdout(test_output_file());
            setup_audio();
        },
        ExitedWithCode(OUT_OF_KEYS), "");
}

TEST(SetupAudio, TwelveDriversAreNumberedAndChosenPastNine) {
    fake_audio.drivers.clear();
    for (int i = 1; i <= 12; i++)
        fake_audio.drivers.push_back("card " + std::to_string(i));
    fake_keys = {'1', '<'};
    const std::string out = captured_stdout([] { setup_audio(); });
    EXPECT_NE(out.find("\n9 - card 9\n10 - card 10\n11 - card 11\n12 - card 12\n" + SEP),
              std::string::npos);
    EXPECT_EQ(fake_audio.driver_set, 11);

    const std::pair<int, int> keys[] = {{':', 9}, {';', 10}, {'9', 8}, {'1', 0}};
    for (auto [key, index] : keys) {
        fake_keys = {'1', '=', key};
        captured_stdout([] { setup_audio(); });
        EXPECT_EQ(fake_audio.driver_set, index) << char(key);
    }
}

TEST(SetupAudio, KeysFrom0x80CountAsNegativeAtTheDriverPrompt) {
    // With this many drivers an unsigned 0x80 would pick driver 80.
    fake_audio.drivers.assign(200, "card");
    fake_keys = {'1', 0x80, 0xFF, 0xB1, '2'};
    captured_stdout([] { setup_audio(); });
    EXPECT_EQ(fake_audio.driver_set, 1);
}

TEST(SetupAudio, AFailedMixerStartIsReportedWithItsErrorText) {
    fake_audio.init_ok = false;
    fake_audio.error = 4;
    fake_keys = {'1', '1'};
    bool ok = true;
    const std::string out = captured_stdout([&] { ok = setup_audio(); });
    EXPECT_FALSE(ok);
    const std::string tail = "Error!\nThe output device is already in use and cannot be reused.\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST(AudioErrorText, CoversTheTableAndCallsEverythingElseUnknown) {
    EXPECT_STREQ(audio_error_text(0), "No errors");
    EXPECT_STREQ(audio_error_text(1),
                 "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.");
    EXPECT_STREQ(audio_error_text(12), "Not enough memory ");
    EXPECT_STREQ(audio_error_text(14), "An invalid parameter was passed to this function");
    EXPECT_STREQ(audio_error_text(18), "Required Mediaplayer codec is not installed");
    for (int code : {19, -1, 1000, INT32_MIN})
        EXPECT_STREQ(audio_error_text(code), "Unknown error") << code;
}

TEST(StartStream, CreatesTheStreamOverItsContextAndCountsOnlyMinusOneAsFailure) {
    create_oscillators();
    StreamContext context{&patch, {}, nullptr};
    for (int played : {1, 0, -2}) {
        fake_audio.play_result = played;
        bool ok = false;
        EXPECT_EQ(captured_stdout([&] { ok = start_stream(context); }), "");
        EXPECT_TRUE(ok) << played;
    }
    EXPECT_EQ(fake_audio.stream_length, 32768);
    EXPECT_EQ(fake_audio.stream_rate, 44100);
    EXPECT_EQ(fake_audio.stream_user_data, &context);

    fake_audio.error = 5;
    fake_audio.play_result = -1;
    bool ok = true;
    EXPECT_EQ(captured_stdout([&] { ok = start_stream(context); }),
              "Error!\nPlaying the sound failed.\n");
    EXPECT_FALSE(ok);

    fake_audio.create_ok = false;
    fake_audio.play_result = 1;
    fake_audio.error = 12;
    EXPECT_EQ(captured_stdout([&] { ok = start_stream(context); }), "Error!\nNot enough memory \n");
    EXPECT_FALSE(ok);
}
