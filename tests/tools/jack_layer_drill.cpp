// SPDX-License-Identifier: MIT
// The program's JACK layer alone (the JACK back-end and the JACK MIDI input),
// on the server named by JACK_DEFAULT_SERVER, for the drill of a server that
// goes and comes back (tests/e2e/test_jack_restart.py). It starts the MIDI
// input, prints `ready`, and takes commands, one a line:
//
//   open SINK   closes its sink, then lists the back-end's devices and opens
//               SINK for 44100 Hz frames on a thread of its own, as the audio
//               layer's reopener does: `opened PERIOD` (the sink's period in
//               those frames) or `failed`
//   state       `playing` while the sink reports its level, `failed` once it
//               no longer does (its server gone), `none` without a sink
//   midi        `midi` and the note of each note-on taken since the last time
//
// At the end of input it closes everything and exits with status 0.

#include "platform/audio/backends/backend.h"
#include "platform/midi/jack_midi_input.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main() {
    MidiQueue queue;
    std::unique_ptr<MidiInput> midi = jack_midi_input_start(queue);
    if (!midi)
        return 1;
    std::unique_ptr<AudioSink> sink;
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line); std::fflush(stdout)) {
        if (line.rfind("open ", 0) == 0) {
            sink.reset();
            std::thread([&] {
                std::vector<std::string> devices;
                AudioError error = AudioError::None;
                const std::string device = line.substr(5);
                if (!JACK_BACKEND.list(&devices) ||
                    std::find(devices.begin(), devices.end(), device) == devices.end())
                    JACK_BACKEND.release();
                else if ((sink = JACK_BACKEND.open(device, 44100, &error)) &&
                         sink->start() != AudioError::None)
                    sink.reset();
            }).join();
            if (sink)
                std::printf("opened %ld\n", sink->period());
            else
                std::printf("failed\n");
        } else if (line == "state") {
            long held = 0, room = 0;
            std::printf("%s\n", !sink ? "none" : sink->level(&held, &room) ? "playing" : "failed");
        } else if (line == "midi") {
            std::printf("midi");
            for (MidiMessage m; queue.pop(&m);)
                if (m.kind() == MIDI_NOTE_ON && m.data2 > 0)
                    std::printf(" %d", m.data1);
            std::printf("\n");
        }
    }
    sink.reset();
    midi.reset();
    JACK_BACKEND.end();
    return 0;
}
