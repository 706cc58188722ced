// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_message.h"

// Turns the bytes of a MIDI stream into its channel messages, one byte at a
// time however the reads split them. It keeps running status (data bytes
// after a complete message repeat its status), lets real-time bytes (clock,
// active sensing...) pass between a message's bytes without disturbing it,
// and skips system exclusive data of any length, system common messages and
// stray data bytes, holding no more than one message's bytes whatever comes.

struct MidiDecoder {
    uint8_t running = 0; // the status that data bytes belong to; 0 for none
    uint8_t data[2] = {0, 0};
    int count = 0; // data bytes of the message in hand
};

// Takes one byte; true when it completes a message, which is put in `*out`.
bool midi_decode(MidiDecoder &decoder, uint8_t byte, MidiMessage *out);
