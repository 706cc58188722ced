// SPDX-License-Identifier: MIT
#include "app/shutdown.h"

#include "platform/audio/facade/fsound.h"
#include "platform/console/console_keys.h"
#include "scope/presenter.h"
#include "scope/screen.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::unique_ptr<MidiInput> midi_input;

void shut_down() {
    midi_input.reset();
    FSOUND_Close();
    stop_presenter();
    close_screen();
    std::fflush(stdout);
    console_keys_stop();
}
} // namespace

void shut_down_at_exit() {
    std::atexit(shut_down);
}

void keep_midi_input(std::unique_ptr<MidiInput> midi) {
    midi_input = std::move(midi);
}

void end_program(int status) {
    std::exit(status);
}
