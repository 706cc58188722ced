// SPDX-License-Identifier: MIT
#include "platform/midi/jack_midi_input.h"

#include "platform/jack_client.h"
#include "platform/midi/midi_decoder.h"
#include "platform/midi/source_watcher.h"

#include <chrono>
#include <jack/midiport.h>
#include <set>
#include <string>

namespace {
// How often the server's ports are looked over for keyboards plugged in
// since: a keyboard is heard within this, and a look costs little.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(250);

class JackMidiInput final : public MidiInput {
  public:
    JackMidiInput(std::shared_ptr<JackClient> client, MidiQueue &queue)
        : client(std::move(client)), queue(queue) {}

    ~JackMidiInput() override {
        watcher.reset();
        client->remove_part(this);
        if (port)
            jack_port_unregister(client->handle(), port);
    }

    bool open() {
        port = jack_port_register(client->handle(), "midi_in", JACK_DEFAULT_MIDI_TYPE,
                                  JackPortIsInput, 0);
        if (!port || !client->add_part(take_messages, this))
            return false;
        connect_keyboards();
        watcher = std::make_unique<SourceWatcher>();
        watcher->start(LOOK_EVERY, [this] { connect_keyboards(); });
        return true;
    }

  private:
    // Real-time: every byte of the cycle's events, in order, through the
    // decoder, as bytes come down a MIDI cable; no allocation, no lock.
    static void take_messages(jack_nframes_t frames, void *self) {
        JackMidiInput &in = *static_cast<JackMidiInput *>(self);
        void *buffer = jack_port_get_buffer(in.port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; i++) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            MidiMessage message;
            for (size_t b = 0; b < event.size; b++)
                if (midi_decode(in.decoder, event.buffer[b], &message))
                    in.queue.push(message);
        }
    }

    // Connects each keyboard once, when it is first seen, so that a player
    // who disconnects one in a patchbay is not overruled; one unplugged and
    // plugged back is seen anew.
    void connect_keyboards() {
        if (client->server_gone())
            return;
        std::set<std::string> present;
        const char **found = jack_get_ports(client->handle(), nullptr, JACK_DEFAULT_MIDI_TYPE,
                                            JackPortIsOutput | JackPortIsPhysical);
        for (int i = 0; found && found[i]; i++) {
            present.emplace(found[i]);
            if (!known.count(found[i]))
                jack_connect(client->handle(), found[i], jack_port_name(port));
        }
        jack_free(found);
        known = std::move(present);
    }

    std::shared_ptr<JackClient> client;
    MidiQueue &queue;
    jack_port_t *port = nullptr;
    MidiDecoder decoder;         // JACK's process thread only
    std::set<std::string> known; // the keyboards seen at the last look
    std::unique_ptr<SourceWatcher> watcher;
};
} // namespace

std::unique_ptr<MidiInput> jack_midi_input_start(MidiQueue &queue) {
    auto client = JackClient::get();
    if (!client)
        return nullptr;
    auto input = std::make_unique<JackMidiInput>(std::move(client), queue);
    if (!input->open())
        return nullptr;
    return input;
}
