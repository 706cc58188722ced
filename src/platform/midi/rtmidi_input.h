// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_input.h"

// The systems whose MIDI comes through the RtMidi library: the ALSA
// sequencer, and Windows' multimedia MIDI devices.
enum class MidiSystem { AlsaSequencer, WindowsMultimedia };

// MIDI through RtMidi: a connection of the library's to every hardware
// source (on the ALSA sequencer each port of a card's client, not the
// system's own ports nor a program's; on Windows every input device), looked
// for again twice a second, and on the ALSA sequencer a port of our own named
// `scopesynth` for patchbays. Null when the library cannot reach the system.
// Nothing of RtMidi's shows outside this file.
std::unique_ptr<MidiInput> rtmidi_input_start(MidiSystem system, MidiQueue &queue);
