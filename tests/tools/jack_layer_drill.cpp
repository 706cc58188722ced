// SPDX-License-Identifier: MIT
// The program's JACK layer alone (the JACK back-end and the JACK MIDI input),
// on the server named by JACK_DEFAULT_SERVER, for the drills of a server
// that goes and comes back (tests/e2e/test_jack_restart.py):
//
//   jack_layer_drill
//
// It starts the MIDI input, prints `ready`, and takes commands, one a line:
//
//   open SINK   closes the sink it has, if any, then lists the back-end's
//               devices and opens SINK at 44100 Hz, on a thread of its own
//               as the audio layer's reopener does; prints `opened` or
//               `failed`. From then on a 440 Hz square (10000 high) is
//               played on it, a few periods ahead.
//   state       prints `playing` while the sink takes frames, `failed` once
//               it has failed (its server gone), `none` without a sink.
//   midi        prints the notes the MIDI input took since the last time,
//               `midi NOTE...`, each a note-on's note number.
//
// At the end of input it closes everything and exits with status 0.

#include "platform/audio/backends/backend.h"
#include "platform/midi/jack_midi_input.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr int RATE = 44100;
constexpr long AHEAD_FRAMES = 4096;

struct Player {
    std::mutex lock; // the sink, between the commands and the playing thread
    std::unique_ptr<AudioSink> sink;
    bool failed = false;
    double position = 0; // of the square, in cycles
    std::atomic<bool> stopping{false};

    // Keeps the sink AHEAD_FRAMES ahead, every 2 ms.
    void play() {
        std::vector<int16_t> frames(2 * AHEAD_FRAMES);
        while (!stopping) {
            {
                const std::lock_guard<std::mutex> held(lock);
                long in = 0, room = 0;
                if (sink && !failed && !sink->level(&in, &room))
                    failed = true;
                const long count = std::min(room, AHEAD_FRAMES - in);
                if (sink && !failed && count > 0) {
                    for (long i = 0; i < count; i++) {
                        position += 440.0 / RATE;
                        position -= position >= 1 ? 1 : 0;
                        frames[2 * i] = frames[2 * i + 1] = position < 0.5 ? 10000 : -10000;
                    }
                    // Little-endian 16-bit stereo, as the stream's frames.
                    if (!sink->write(reinterpret_cast<const char *>(frames.data()), count))
                        failed = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    bool open(const std::string &device) {
        const std::lock_guard<std::mutex> held(lock);
        sink.reset();
        failed = false;
        bool opened = false;
        std::thread([&] {
            std::vector<std::string> devices;
            AudioError error = AudioError::None;
            if (JACK_BACKEND.list(&devices) &&
                std::find(devices.begin(), devices.end(), device) != devices.end())
                sink = JACK_BACKEND.open(device, RATE, &error);
            else
                JACK_BACKEND.release();
            opened = sink && sink->start() == AudioError::None;
        }).join();
        return opened;
    }

    const char *state() {
        const std::lock_guard<std::mutex> held(lock);
        return !sink ? "none" : failed ? "failed" : "playing";
    }
};
} // namespace

int main() {
    MidiQueue queue;
    std::unique_ptr<MidiInput> midi = jack_midi_input_start(queue);
    if (!midi) {
        std::fprintf(stderr, "jack_layer_drill: no MIDI input\n");
        return 1;
    }
    Player player;
    std::thread playing([&] { player.play(); });
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        if (line.rfind("open ", 0) == 0) {
            std::printf(player.open(line.substr(5)) ? "opened\n" : "failed\n");
        } else if (line == "state") {
            std::printf("%s\n", player.state());
        } else if (line == "midi") {
            std::printf("midi");
            for (MidiMessage m; queue.pop(&m);)
                if (m.kind() == MIDI_NOTE_ON && m.data2 > 0)
                    std::printf(" %d", m.data1);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    player.stopping = true;
    playing.join();
    player.sink.reset();
    midi.reset();
    JACK_BACKEND.end();
    return 0;
}
