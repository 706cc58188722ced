// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_input.h"

// MIDI through JACK: the port `midi_in` on the program's JACK client, fed by
// every MIDI port of the server that is an output and flagged physical (a
// keyboard's, as the server or PipeWire's bridge shows it). Null when no
// JACK server answers.
std::unique_ptr<MidiInput> jack_midi_input_start(MidiQueue &queue);
