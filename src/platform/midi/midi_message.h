// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// One channel message, as a keyboard sends it: the status byte (kind and
// channel) and up to two data bytes (0 where the kind has fewer). System
// messages never become one: they change nothing in this instrument.
struct MidiMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;

    int kind() const { return status & 0xF0; }
};

// The kinds of channel message that the control loop acts on.
constexpr int MIDI_NOTE_ON = 0x90;
constexpr int MIDI_CONTROLLER = 0xB0;
constexpr int MIDI_PROGRAM = 0xC0;
