// SPDX-License-Identifier: MIT
#include "app/control_loop.h"
#include "patch_checks.h"
#include "platform/midi/midi_decoder.h"
#include "synth/patch.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

// Any bytes, as a MIDI source might send them, through the decoder into the
// control loop's message handling, with the patch checked after every
// message: whatever comes, the settings stay clamped, the waveform a known
// one and the note within what a MIDI note can give.

namespace {
void check_note() {
    check(patch.note >= -MIDI_NOTE_OFFSET && patch.note <= 127 - MIDI_NOTE_OFFSET);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    patch = Patch{};
    create_oscillators();
    patch.note = 0;
    MidiDecoder decoder;
    for (size_t i = 0; i < size; i++) {
        MidiMessage message;
        if (!midi_decode(decoder, data[i], &message))
            continue;
        // Only channel messages come out, with data bytes below 0x80, and
        // only on a data byte.
        check(data[i] < 0x80 && message.status >= 0x80 && message.status < 0xF0);
        check(message.data1 < 0x80 && message.data2 < 0x80);
        handle_midi(message);
        check_patch();
        check_note();
    }
    for (Oscillator *o : {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5})
        delete o;
    return 0;
}
