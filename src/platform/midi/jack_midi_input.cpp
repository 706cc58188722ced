// SPDX-License-Identifier: MIT
#include "platform/midi/jack_midi_input.h"

#include "platform/jack_client.h"
#include "platform/midi/midi_decoder.h"
#include "platform/periodic_thread.h"

#include <atomic>
#include <chrono>
#include <jack/midiport.h>
#include <memory>
#include <set>
#include <string>

namespace {
// How often the server's ports are looked over for keyboards plugged in
// since, and a server that has gone for its return: a keyboard is heard
// within this, a server started again within this once it answers, and a
// look costs little.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(250);

constexpr unsigned long KEYBOARDS = JackPortIsOutput | JackPortIsPhysical;

class JackMidiInput final : public MidiInput {
  public:
    explicit JackMidiInput(MidiQueue &queue) : queue(queue) {}

    ~JackMidiInput() override {
        watcher.reset();
        leave();
    }

    // Stands on `fresh`: registers midi_in there, adds the part and connects
    // every keyboard present.
    bool join(std::shared_ptr<JackClient> fresh) {
        jack_port_t *registered =
            fresh->register_port("midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
        if (!registered)
            return false;
        // Before the part, whose cycles read them: a message cut short by a
        // lost server is not finished by the next one's bytes.
        port.store(registered, std::memory_order_relaxed);
        decoder = MidiDecoder();
        if (!fresh->add_part(take_messages, connect_all, this)) {
            fresh->unregister_port(registered);
            return false;
        }
        client = std::move(fresh);
        known.clear();
        connect_keyboards();
        return true;
    }

    // Looks every LOOK_EVERY from now on, on a thread of its own.
    void watch() {
        watcher = std::make_unique<PeriodicThread>();
        watcher->start(LOOK_EVERY, [this] { look(); });
    }

  private:
    // Real-time: every byte of the cycle's events, in order, through the
    // decoder, as bytes come down a MIDI cable; no allocation, no lock.
    static void take_messages(jack_nframes_t frames, void *self) {
        JackMidiInput &in = *static_cast<JackMidiInput *>(self);
        void *buffer = jack_port_get_buffer(in.port.load(std::memory_order_relaxed), frames);
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

    // After a stop of the job, on the main thread: every keyboard present is
    // connected again, since the client's leaving the graph disconnected
    // them. The watcher's list of those seen stays as it is.
    static void connect_all(JackClient &on, void *self) {
        const std::string name =
            on.port_name(static_cast<JackMidiInput *>(self)->port.load(std::memory_order_relaxed));
        for (const std::string &source : on.ports(JACK_DEFAULT_MIDI_TYPE, KEYBOARDS))
            on.connect(source, name);
    }

    // The watcher's: the keyboards plugged in since the last look; once the
    // server has gone, a new client as soon as a server answers, with midi_in
    // on it.
    void look() {
        if (client && !client->server_gone()) {
            connect_keyboards();
            return;
        }
        leave();
        if (auto fresh = JackClient::get())
            join(std::move(fresh));
    }

    // Off the client, if on one; a dead client closes here if nobody else
    // holds it.
    void leave() {
        if (!client)
            return;
        client->remove_part(this);
        client->unregister_port(port.load(std::memory_order_relaxed));
        client.reset();
    }

    // Connects each keyboard once, when it is first seen, so that a player
    // who disconnects one in a patchbay is not overruled; one unplugged and
    // plugged back is seen anew.
    void connect_keyboards() {
        const std::string name = client->port_name(port.load(std::memory_order_relaxed));
        std::set<std::string> present;
        for (const std::string &source : client->ports(JACK_DEFAULT_MIDI_TYPE, KEYBOARDS)) {
            present.insert(source);
            if (!known.count(source))
                client->connect(source, name);
        }
        known = std::move(present);
    }

    std::shared_ptr<JackClient> client; // null while no server answers
    MidiQueue &queue;
    // The client's midi_in: set before the part that reads it is added, read
    // by the cycles and by connect_all.
    std::atomic<jack_port_t *> port{nullptr};
    MidiDecoder decoder;         // the cycles', and the watcher's before a part
    std::set<std::string> known; // the keyboards seen at the last look
    std::unique_ptr<PeriodicThread> watcher;
};
} // namespace

std::unique_ptr<MidiInput> jack_midi_input_start(MidiQueue &queue) {
    auto client = JackClient::get();
    if (!client)
        return nullptr;
    auto input = std::make_unique<JackMidiInput>(queue);
    if (!input->join(std::move(client)))
        return nullptr;
    input->watch();
    return input;
}
