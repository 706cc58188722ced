// SPDX-License-Identifier: MIT
#include "app/control_loop.h"
#include "app/setup_audio.h"
#include "app/shutdown.h"
#include "app/start_stream.h"
#include "platform/audio/facade/fsound.h"
#include "platform/console/clear_console.h"
#include "platform/console/console_keys.h"
#include "platform/job_stop.h"
#include "platform/midi/midi_input.h"
#include "scope/screen.h"
#include "synth/patch.h"
#include "synth/stream_context.h"

#include <cstdio>

namespace {
// What the keyboards send, from the MIDI input's threads to the control
// loop. Made before main, so that it outlasts the shutdown that stops them.
MidiQueue midi_messages;

void print_help() {
    std::printf("aqzs edrftg yhujik olpm our modifier les trucs \n");
    std::printf("+- change le OSC1\n");
    std::printf("wxcvbn,; pour les notes (foireuxmaismarche)\n");
    std::fflush(stdout);
}
} // namespace

int main() {
    shut_down_at_exit();
    console_keys_start(end_program, job_stop_steps());
    if (!setup_audio())
        end_program(1);
    // The console is cleared first, so that a note that the window could
    // not be opened stays in sight.
    clear_console();
    NewestOfThree<Preview> *previews = open_screen();
    print_help();
    create_oscillators();
    // Handed to the stream's callback, for the rest of the process's life.
    static StreamContext context{&patch, audio_progress_hook(), previews};
    if (!start_stream(context))
        end_program(1);
    keep_midi_input(midi_input_start(midi_messages));
    control_loop(midi_messages);
}
