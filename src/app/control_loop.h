// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_queue.h"

// Plays and shapes the sound from the keyboard and from MIDI for the rest of
// the process's life: polls both without pausing, applies each key and each
// message that means something to the patch, and prints the status block
// after it. Never returns.
[[noreturn]] void control_loop(MidiQueue &midi);

// Applies one key (only its low 8 bits count) to the patch, then sets every
// amplitude, frequency and phase that is not above 0.0001 to zero.
void handle_key(int key);

// MIDI note 69 (A4, 440 Hz) is note 58.
constexpr int MIDI_NOTE_OFFSET = 11;

// Applies one MIDI message as a key is applied: a note-on sets the note, a
// controller of the table its setting, a program change 0..4 the carrier's
// waveform; then the same clamp. False, with nothing changed, for a message
// that means nothing here (a note-off, any other controller or message).
bool handle_midi(const MidiMessage &message);
