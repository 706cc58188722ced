// SPDX-License-Identifier: MIT
#include "app/control_loop.h"
#include "app/setup_audio.h"
#include "app/start_stream.h"
#include "platform/audio/facade/fsound.h"
#include "platform/console/clear_console.h"
#include "platform/console/console_keys.h"
#include "platform/midi/midi_input.h"
#include "scope/screen.h"
#include "synth/patch.h"

#include <cstdio>
#include <cstdlib>

namespace {
// The MIDI input, stopped at exit before the sound: on JACK both stand on
// one client.
std::unique_ptr<MidiInput> midi_input;

void stop_midi() {
    midi_input.reset();
}

void print_help() {
    std::printf("aqzs edrftg yhujik olpm our modifier les trucs \n");
    std::printf("+- change le OSC1\n");
    std::printf("wxcvbn,; pour les notes (foireuxmaismarche)\n");
    std::fflush(stdout);
}
} // namespace

int main() {
    console_keys_start();
    if (!setup_audio())
        return 1;
    // The console is cleared first, so that a note that the window could
    // not be opened stays in sight.
    clear_console();
    open_screen();
    // Registered after the window, so it runs before the video library shuts
    // down: the stream thread draws into the window until it is stopped.
    std::atexit(FSOUND_Close);
    print_help();
    create_oscillators();
    if (!start_stream())
        return 1;
    // What the keyboards send, from the MIDI input's threads to the control
    // loop, for the rest of the process's life.
    static MidiQueue midi_messages;
    midi_input = midi_input_start(midi_messages);
    std::atexit(stop_midi);
    control_loop(midi_messages);
}
