// SPDX-License-Identifier: MIT
#include "platform/midi/midi_input.h"

#include "platform/midi/rtmidi_input.h"

#include <windows.h>

#include <mmsystem.h>

// Every multimedia MIDI input device. Without one there is nothing to hear,
// and the library would say so on the console.
std::unique_ptr<MidiInput> midi_input_start(MidiQueue &queue) {
    if (midiInGetNumDevs() == 0)
        return nullptr;
    return rtmidi_input_start(MidiSystem::WindowsMultimedia, queue);
}
