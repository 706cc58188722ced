// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_input.h"

#include <memory>

// The program's one way out. However it ends (Escape in the dialog, a signal,
// the end of input, a failure at start, or Xlib ending the process when the
// window's display goes away), what it started stops in one order: the MIDI
// input (on JACK it stands on the sound's client), the stream, the window's
// presenter and the window (the stream publishes into it until it stops),
// and last the console, so that the terminal is given back after everything
// else. Each step is harmless for a part that never started.

// Has the shutdown run at exit, from whichever thread calls exit(). Called
// first thing, before anything that it stops is started.
void shut_down_at_exit();

// Hands over the MIDI input, for the shutdown to stop first.
void keep_midi_input(std::unique_ptr<MidiInput> midi);

// Ends the process with `status`, through the shutdown.
[[noreturn]] void end_program(int status);
