// SPDX-License-Identifier: MIT
#include "platform/midi/midi_input.h"

#include "platform/midi/jack_midi_input.h"
#include "platform/midi/rtmidi_input.h"

#include <unistd.h>

// JACK first: where a server runs, the keyboards are its ports (PipeWire
// shows the cards' there too, under pw-jack). Otherwise the ALSA sequencer,
// which every desktop has; without its device the library would complain on
// the console, so it is not asked.
std::unique_ptr<MidiInput> midi_input_start(MidiQueue &queue) {
    if (auto jack = jack_midi_input_start(queue))
        return jack;
    if (access("/dev/snd/seq", R_OK | W_OK) == 0)
        return rtmidi_input_start(MidiSystem::AlsaSequencer, queue);
    return nullptr;
}
