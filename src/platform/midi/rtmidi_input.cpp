// SPDX-License-Identifier: MIT
#include "platform/midi/rtmidi_input.h"

#include "platform/main_thread_signals.h"
#include "platform/midi/midi_decoder.h"
#include "platform/periodic_thread.h"

#include <RtMidi.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {
const std::string NAME = "scopesynth";
// The sources are looked for again this often: a keyboard plugged in is
// heard within it.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(500);
// On the ALSA sequencer, clients numbered from here on are programs; below,
// the kernel's (the system's at 0, the cards' after it).
constexpr int FIRST_PROGRAM_CLIENT = 128;

// The library's warnings and errors would go to the console: failures show
// as sources that say nothing instead.
void quiet(RtMidiError::Type, const std::string &, void *) {}

RtMidi::Api library_api(MidiSystem system) {
    return system == MidiSystem::AlsaSequencer ? RtMidi::LINUX_ALSA : RtMidi::WINDOWS_MM;
}

std::unique_ptr<RtMidiIn> make_input(MidiSystem system) {
    try {
        auto in = std::make_unique<RtMidiIn>(library_api(system), NAME);
        in->setErrorCallback(quiet, nullptr);
        return in;
    } catch (const RtMidiError &) {
        return nullptr;
    }
}

// A port the library lists as "client:port C:P" on the ALSA sequencer. Only
// a card's client is a keyboard; every Windows input device is one.
bool is_hardware(MidiSystem system, const std::string &name) {
    if (system != MidiSystem::AlsaSequencer)
        return true;
    int client = -1, port = -1;
    const size_t last_space = name.rfind(' ');
    if (last_space == std::string::npos ||
        std::sscanf(name.c_str() + last_space, " %d:%d", &client, &port) != 2)
        return false;
    return client > 0 && client < FIRST_PROGRAM_CLIENT;
}

// One connection, with the decoder of what comes through it. The library
// calls back on a thread of its own, one message at a time.
struct Source {
    explicit Source(MidiQueue &queue) : queue(queue) {}

    static void take_message(double, std::vector<unsigned char> *bytes, void *self) {
        Source &s = *static_cast<Source *>(self);
        MidiMessage message;
        for (const unsigned char byte : *bytes)
            if (midi_decode(s.decoder, byte, &message))
                s.queue.push(message);
    }

    MidiQueue &queue;
    MidiDecoder decoder;
    std::unique_ptr<RtMidiIn> in; // last, so that it is closed first
};

class RtMidiInput final : public MidiInput {
  public:
    RtMidiInput(MidiSystem system, MidiQueue &queue) : system(system), queue(queue) {}

    bool open() {
        {
            const MainThreadSignalsBlocked blocked; // the library starts threads
            lister = make_input(system);
            if (!lister)
                return false;
            if (system == MidiSystem::AlsaSequencer)
                open_own_port();
            connect_sources();
        }
        watcher.start(LOOK_EVERY, [this] { connect_sources(); });
        return true;
    }

  private:
    void open_own_port() {
        own = std::make_unique<Source>(queue);
        own->in = make_input(system);
        if (!own->in)
            return;
        own->in->setCallback(Source::take_message, own.get());
        own->in->openVirtualPort(NAME);
    }

    // Opens each hardware source not yet open, and closes those gone.
    void connect_sources() {
        std::map<std::string, std::unique_ptr<Source>> present;
        const unsigned int count = lister->getPortCount();
        for (unsigned int i = 0; i < count; i++) {
            const std::string name = lister->getPortName(i);
            if (name.empty() || !is_hardware(system, name) || present.count(name))
                continue;
            const auto open = sources.find(name);
            if (open != sources.end()) {
                present[name] = std::move(open->second);
                continue;
            }
            auto source = std::make_unique<Source>(queue);
            source->in = make_input(system);
            if (!source->in)
                continue;
            source->in->setCallback(Source::take_message, source.get());
            source->in->openPort(i, NAME);
            present[name] = std::move(source);
        }
        sources = std::move(present);
    }

    const MidiSystem system;
    MidiQueue &queue;
    std::unique_ptr<RtMidiIn> lister;                       // lists the sources, opens none
    std::unique_ptr<Source> own;                            // the port for patchbays
    std::map<std::string, std::unique_ptr<Source>> sources; // by the library's name
    PeriodicThread watcher; // last, so that it stops before the sources go
};
} // namespace

std::unique_ptr<MidiInput> rtmidi_input_start(MidiSystem system, MidiQueue &queue) {
    auto input = std::make_unique<RtMidiInput>(system, queue);
    if (!input->open())
        return nullptr;
    return input;
}
