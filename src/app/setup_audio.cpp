// SPDX-License-Identifier: MIT
#include "app/setup_audio.h"

#include "app/audio_error_text.h"
#include "app/shutdown.h"
#include "platform/audio/facade/fsound.h"
#include "platform/console/console_keys.h"
#include "synth/oscillator.h"

#include <cstdio>

namespace {
constexpr float REQUIRED_AUDIO_VERSION = 3.74f;
constexpr int MIXER_CHANNELS = 32;
constexpr char SEPARATOR[] = "---------------------------------------------------------\n";
constexpr signed char ESC = 27;

const char *output_name(int code) {
    switch (code) {
    case 0:
        return "NoSound";
    case 1:
        return "Windows Multimedia Waveout";
    case 2:
        return "Direct Sound";
    case 4:
        return "Open Sound System";
    case 5:
        return "Enlightment Sound Daemon";
    case 6:
        return "Alsa";
    case 7:
        return "ASIO";
    default:
        return "";
    }
}

// The next key as the prompts see it: its low 8 bits as a signed character.
// Everything printed so far is shown before waiting. ESC ends the program.
signed char prompt_key() {
    std::fflush(stdout);
    const auto key = static_cast<signed char>(read_key() & 0xFF);
    if (key == ESC)
        end_program(0);
    return key;
}

void choose_output() {
    std::printf("%sOutput Type\n%s", SEPARATOR, SEPARATOR);
    std::printf("1 - Direct Sound\n2 - Windows Multimedia Waveout\n3 - ASIO\n4 - NoSound\n");
    std::printf("%sPress a corresponding number or ESC to quit\n", SEPARATOR);
    static const int CODES[] = {FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_WINMM, FSOUND_OUTPUT_ASIO,
                                FSOUND_OUTPUT_NOSOUND};
    for (;;) {
        const signed char key = prompt_key();
        if (key >= '1' && key <= '4') {
            FSOUND_SetOutput(CODES[key - '1']);
            return;
        }
    }
}

void choose_driver() {
    std::printf("%s%s Driver list\n%s", SEPARATOR, output_name(FSOUND_GetOutput()), SEPARATOR);
    for (int i = 0; i < FSOUND_GetNumDrivers(); i++)
        std::printf("%d - %s\n", i + 1, FSOUND_GetDriverName(i));
    std::printf("%sPress a corresponding number or ESC to quit\n", SEPARATOR);
    // The driver listed as n is chosen by the character 0x30 + n: "1" to "9",
    // then ":", ";", "<" and onward.
    for (;;) {
        const int index = prompt_key() - '1';
        if (index >= 0 && index < FSOUND_GetNumDrivers()) {
            FSOUND_SetDriver(index);
            return;
        }
    }
}
} // namespace

bool setup_audio() {
    if (!(FSOUND_GetVersion() >= REQUIRED_AUDIO_VERSION)) {
        std::printf(
            "Error : You are using the wrong DLL version!  You should be using FMOD %.02f\n",
            static_cast<double>(REQUIRED_AUDIO_VERSION));
        std::fflush(stdout);
        return false;
    }
    choose_output();
    choose_driver();
    if (FSOUND_Init(SAMPLE_RATE, MIXER_CHANNELS, 0))
        return true;
    report_audio_failure();
    return false;
}
