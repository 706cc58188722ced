// SPDX-License-Identifier: MIT
#include "platform/audio/backends/backend.h"

#include "common/progress_hook.h"
#include "common/relaxed.h"
#include "platform/audio/backends/rate_converter.h"
#include "platform/audio/pacing/dry_spells.h"
#include "platform/jack_client.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jack/jack.h>
#include <jack/ringbuffer.h>

// The JACK output, spoken to directly: two ports on the program's JACK
// client, whose process callback plays frames from a lock-free ring that the
// stream thread fills. (PortAudio's blocking JACK path starts with a ring of
// its own full of silence, a tenth of a second ahead of every key.)
namespace {
constexpr int CHANNELS = 2;
constexpr size_t FRAME_BYTES = CHANNELS * sizeof(float);
// Far more than the stream ever keeps ahead of the server: 186 ms.
constexpr size_t RING_FRAMES = 8192; // at the stream's rate
// PipeWire runs its graph at the smallest latency its clients ask for, and
// its JACK library asks for what PIPEWIRE_LATENCY says when the client
// opens: the client that plays asks for a piece of the frame loop, as
// PipeWire's ALSA plugin asks for PortAudio's period. The latency is written
// in the graph's own frames and rate, which the client that lists the sinks
// reads: pipewire-jack gives a client the rate its latency names as the
// server's, and the stream would be played at it. Plain JACK servers ignore
// the variable; a value the user set is kept.
const bool USER_LATENCY = std::getenv("PIPEWIRE_LATENCY") != nullptr;

// The client that listed the sinks, until a sink takes the server's rate
// from it. The calls below come from one thread at a time (the main thread
// at first, the audio layer's reopener after a server has gone), so that
// this needs no lock.
struct Jack {
    std::shared_ptr<JackClient> kept;
};
Jack jack;

// The audio inputs of the server, "client:port", in the server's order.
std::vector<std::string> audio_inputs(JackClient &client) {
    return client.ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
}

std::string client_of(const std::string &port) {
    return port.substr(0, port.find(':'));
}

// Copies `count` interleaved frames into the ports' buffers from frame `at`
// on. The frames are read where they stand in libjack's ring, whose barriers
// order them after the stream thread's writes; ThreadSanitizer cannot see
// those barriers, and reporting then suppressing every word it reads made
// the process thread miss its cycles, so it is kept out of this copy.
__attribute__((no_sanitize("thread"))) void take_frames(const float *frames, jack_nframes_t count,
                                                        float *const out[CHANNELS],
                                                        jack_nframes_t at) {
    for (jack_nframes_t i = 0; i < count; i++)
        for (int c = 0; c < CHANNELS; c++)
            out[c][at + i] = frames[CHANNELS * i + c];
}

// The server plays at its own rate. At the stream's rate the frames go to
// the ring as they are, bit for bit; at another the converter turns them
// into the server's, on the stream thread. Every count that the sink reports
// is in frames at the stream's rate. A sink lives and dies with its client:
// once the server has gone it fails, and the audio layer opens another.
class JackSink final : public AudioSink {
  public:
    explicit JackSink(std::shared_ptr<JackClient> client) : client(std::move(client)) {}

    ~JackSink() override {
        client->remove_part(this);
        for (jack_port_t *port : ports)
            client->unregister_port(port);
        if (ring)
            jack_ringbuffer_free(ring);
    }

    // Registers, starts and connects the outputs, for frames at `rate` into
    // a server at `server_rate`.
    AudioError open(const std::string &sink, int rate, jack_nframes_t server_rate) {
        if (client->server_gone())
            return AudioError::Unavailable;
        ratio = double(server_rate) / rate;
        if (server_rate != jack_nframes_t(rate) &&
            !(converter = RateConverter::make(rate, int(server_rate))))
            return AudioError::Format;
        ring_frames = static_cast<size_t>(std::ceil(RING_FRAMES * ratio));
        ring = jack_ringbuffer_create(ring_frames * FRAME_BYTES);
        scratch = std::make_unique<float[]>(ring_frames * CHANNELS);
        if (!ring)
            return AudioError::Memory;
        const char *names[CHANNELS] = {"out_1", "out_2"};
        for (int c = 0; c < CHANNELS; c++) {
            ports[c] = client->register_port(names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
            if (!ports[c])
                return AudioError::Unavailable;
        }
        for (const std::string &port : audio_inputs(*client))
            if (client_of(port) == sink && destinations.size() < CHANNELS)
                destinations.push_back(port);
        if (destinations.size() < CHANNELS)
            return AudioError::Unavailable; // the sink has gone since it was listed
        if (!client->add_part(process, connect_ports, this))
            return AudioError::Unavailable;
        // Without its server a client still sees the graph it last knew; a
        // connection needs the server.
        return connect_ports(*client) ? AudioError::None : AudioError::Unavailable;
    }

    // Playing started when the client was activated.
    AudioError start() override { return AudioError::None; }

    // What the ring holds, and what the converter holds on its way there.
    bool level(long *held, long *room) override {
        if (client->server_gone())
            return false;
        const size_t ring_held = jack_ringbuffer_read_space(ring) / FRAME_BYTES;
        const size_t ring_room = jack_ringbuffer_write_space(ring) / FRAME_BYTES;
        if (!converter) {
            *held = static_cast<long>(ring_held);
            *room = static_cast<long>(ring_room);
            return true;
        }
        *held = std::lround(ring_held / ratio + converter->held());
        *room = converter->most_in(static_cast<long>(ring_room));
        return true;
    }

    // Converted to JACK's floats here, off the process thread.
    bool write(const char *frames, long count) override {
        long out = count;
        if (converter) {
            out = converter->convert(frames, count, scratch.get());
        } else {
            const auto *bytes = reinterpret_cast<const unsigned char *>(frames);
            for (long i = 0; i < count * CHANNELS; i++)
                scratch[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8) / 32768.0f;
        }
        jack_ringbuffer_write(ring, reinterpret_cast<const char *>(scratch.get()),
                              out * FRAME_BYTES);
        dry.fed = 1;
        return true;
    }

    long period() override { return std::lround(client->buffer_size() / ratio); }

    uint32_t dry_spells() override { return dry.count; }

  private:
    // The outputs to the sink's first two inputs, as when it opened.
    bool connect_ports(JackClient &on) {
        for (int c = 0; c < CHANNELS; c++)
            if (!on.connect(on.port_name(ports[c]), destinations[c]))
                return false;
        return true;
    }

    // After a stop of the job, which took the client out of the graph.
    static void connect_ports(JackClient &on, void *self) {
        static_cast<JackSink *>(self)->connect_ports(on);
    }

    // Real-time: copies what the ring holds, and silence for what it lacks.
    static void process(jack_nframes_t frames, void *arg) {
        JackSink &s = *static_cast<JackSink *>(arg);
        float *out[CHANNELS];
        for (int c = 0; c < CHANNELS; c++)
            out[c] = static_cast<float *>(jack_port_get_buffer(s.ports[c], frames));
        // The ring's bytes are whole frames, so each of its two parts is.
        jack_ringbuffer_data_t held[2];
        jack_ringbuffer_get_read_vector(s.ring, held);
        jack_nframes_t played = 0;
        for (const jack_ringbuffer_data_t &part : held) {
            const auto count = static_cast<jack_nframes_t>(
                std::min<size_t>(part.len / FRAME_BYTES, frames - played));
            take_frames(reinterpret_cast<const float *>(part.buf), count, out, played);
            played += count;
        }
        jack_ringbuffer_read_advance(s.ring, played * FRAME_BYTES);
        for (int c = 0; c < CHANNELS; c++)
            std::fill(out[c] + played, out[c] + frames, 0.0f);
        s.dry.note_period(played < frames);
    }

    std::shared_ptr<JackClient> client;
    jack_port_t *ports[CHANNELS] = {};
    std::vector<std::string> destinations; // the sink's inputs, "client:port"
    jack_ringbuffer_t *ring = nullptr;
    size_t ring_frames = 0;                   // at the server's rate
    double ratio = 1;                         // the server's frames a frame of the stream
    std::unique_ptr<RateConverter> converter; // none at the stream's rate
    std::unique_ptr<float[]> scratch;         // frames as the ring takes them
    DrySpells dry;                            // counted by JACK's process thread
};
void ask_pipewire_for_a_piece(jack_nframes_t server_rate, int rate) {
    if (USER_LATENCY)
        return;
    char latency[32];
    std::snprintf(latency, sizeof latency, "%ld/%u",
                  std::lround(double(PROGRESS_FRAMES) * server_rate / rate), server_rate);
    // Set again only when it changes: another thread's libjack may be
    // reading the environment.
    const char *now = std::getenv("PIPEWIRE_LATENCY");
    if (!now || std::strcmp(now, latency) != 0)
        setenv("PIPEWIRE_LATENCY", latency, 1);
}

// Closes the kept connection, if there is one. Harmless when the server has
// gone.
void disconnect() {
    jack = Jack();
}

// Connects to the running JACK server, never starting one, and lists its
// sinks: the clients with at least two audio inputs ("system" for the sound
// card). False when no server runs. The connection is kept for open_sink.
bool list_sinks(std::vector<std::string> *sinks) {
    disconnect();
    auto client = JackClient::get();
    if (!client)
        return false;
    sinks->clear();
    const std::vector<std::string> inputs = audio_inputs(*client);
    for (const std::string &port : inputs) {
        const std::string name = client_of(port);
        const auto same = [&](const std::string &p) { return client_of(p) == name; };
        if (std::count_if(inputs.begin(), inputs.end(), same) >= CHANNELS &&
            std::find(sinks->begin(), sinks->end(), name) == sinks->end())
            sinks->push_back(name);
    }
    jack.kept = std::move(client);
    return true;
}

// A sink on the kept connection: two outputs, registered, started and
// connected to the first two inputs of `sink`; the connection is given up
// either way. The client that listed the sinks reads the server's rate and
// goes; the one that plays opens with the latency it asks for.
std::unique_ptr<AudioSink> open_sink(const std::string &sink, int rate, AudioError *error) {
    *error = AudioError::Unavailable;
    if (!jack.kept || jack.kept->server_gone())
        return nullptr;
    const jack_nframes_t server_rate = jack.kept->sample_rate();
    jack.kept.reset();
    ask_pipewire_for_a_piece(server_rate, rate);
    auto client = JackClient::get();
    if (!client)
        return nullptr;
    auto s = std::make_unique<JackSink>(std::move(client));
    *error = s->open(sink, rate, server_rate);
    if (*error != AudioError::None)
        return nullptr;
    return s;
}
} // namespace

const Backend JACK_BACKEND = {list_sinks, open_sink, disconnect, disconnect};
