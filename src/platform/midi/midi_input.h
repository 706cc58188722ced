// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_queue.h"

#include <memory>

// MIDI from every keyboard the system has, with no patching by the player:
// the input connects itself to every hardware MIDI source present, and to
// those plugged in while the program plays, and offers a port of its own for
// patchbays. The messages go to a queue that the control loop empties. On
// Linux: JACK MIDI where a JACK server answers, otherwise the ALSA
// sequencer; on Windows, every multimedia MIDI input device.
class MidiInput {
  public:
    virtual ~MidiInput() = default;
};

// Starts listening, on the main thread once the sound is set up (so that on
// JACK the input joins the output's client). Null where the system has no
// MIDI at all: then nothing is printed and nothing waits.
std::unique_ptr<MidiInput> midi_input_start(MidiQueue &queue);
