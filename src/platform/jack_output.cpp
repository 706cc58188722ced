#include "jack_output.h"

#include "fsound.h"
#include "relaxed.h"
#include "stop_signals.h"

#include <algorithm>
#include <cstring>
#include <jack/jack.h>
#include <jack/ringbuffer.h>

namespace {
constexpr int CHANNELS = 2;
constexpr size_t FRAME_BYTES = CHANNELS * sizeof(float);
// Far more than the stream ever keeps ahead of the server.
constexpr size_t RING_FRAMES = 8192;

jack_client_t *client = nullptr;
jack_port_t *ports[CHANNELS] = {};
jack_ringbuffer_t *ring = nullptr;
// Frames as the ring takes them, converted off the process thread.
float scratch[RING_FRAMES * CHANNELS];

// Shared with JACK's process thread.
Relaxed<int32_t> server_gone;
Relaxed<int32_t> fed;         // the first frames have been written
Relaxed<uint32_t> dry_spells; // runs of periods that found the ring short
bool was_short = false;       // process thread only

// Real-time: copies what the ring holds, and silence for what it lacks.
int process(jack_nframes_t frames, void *) {
    float *out[CHANNELS];
    for (int c = 0; c < CHANNELS; c++)
        out[c] = static_cast<float *>(jack_port_get_buffer(ports[c], frames));
    const size_t held = jack_ringbuffer_read_space(ring) / FRAME_BYTES;
    const jack_nframes_t played = static_cast<jack_nframes_t>(std::min<size_t>(held, frames));
    for (jack_nframes_t i = 0; i < played; i++) {
        float frame[CHANNELS];
        jack_ringbuffer_read(ring, reinterpret_cast<char *>(frame), FRAME_BYTES);
        for (int c = 0; c < CHANNELS; c++)
            out[c][i] = frame[c];
    }
    for (int c = 0; c < CHANNELS; c++)
        std::fill(out[c] + played, out[c] + frames, 0.0f);
    const bool short_period = played < frames && fed;
    if (short_period && !was_short)
        dry_spells = dry_spells + 1;
    was_short = short_period;
    return 0;
}

void on_shutdown(void *) {
    server_gone = 1;
}

// The audio inputs of the server, "client:port", in the server's order.
std::vector<std::string> audio_inputs() {
    std::vector<std::string> names;
    const char **found = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    for (int i = 0; found && found[i]; i++)
        names.emplace_back(found[i]);
    jack_free(found);
    return names;
}

std::string client_of(const std::string &port) {
    return port.substr(0, port.find(':'));
}

int fail_open(int error) {
    jack_stream_close();
    return error;
}
} // namespace

bool jack_stream_connect(std::vector<std::string> *sinks) {
    // The client's threads must leave the stop signals to the main thread.
    const sigset_t previous = block_stop_signals();
    client = jack_client_open("scopesynth", JackNoStartServer, nullptr);
    restore_signals(previous);
    if (!client)
        return false;
    server_gone = 0;
    jack_on_shutdown(client, on_shutdown, nullptr);
    sinks->clear();
    const std::vector<std::string> inputs = audio_inputs();
    for (const std::string &port : inputs) {
        const std::string name = client_of(port);
        const auto same = [&](const std::string &p) { return client_of(p) == name; };
        if (std::count_if(inputs.begin(), inputs.end(), same) >= CHANNELS &&
            std::find(sinks->begin(), sinks->end(), name) == sinks->end())
            sinks->push_back(name);
    }
    return true;
}

int jack_stream_open(const std::string &sink, int rate) {
    if (!client || server_gone)
        return fail_open(FMOD_ERR_INIT);
    if (jack_get_sample_rate(client) != static_cast<jack_nframes_t>(rate))
        return fail_open(FMOD_ERR_OUTPUT_FORMAT);
    ring = jack_ringbuffer_create(RING_FRAMES * FRAME_BYTES);
    if (!ring)
        return fail_open(FMOD_ERR_MEMORY);
    fed = 0;
    dry_spells = 0;
    was_short = false;
    const char *names[CHANNELS] = {"out_1", "out_2"};
    for (int c = 0; c < CHANNELS; c++) {
        ports[c] =
            jack_port_register(client, names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!ports[c])
            return fail_open(FMOD_ERR_INIT);
    }
    jack_set_process_callback(client, process, nullptr);
    const sigset_t previous = block_stop_signals();
    const int activated = jack_activate(client);
    restore_signals(previous);
    if (activated != 0)
        return fail_open(FMOD_ERR_INIT);
    std::vector<std::string> inputs;
    for (const std::string &port : audio_inputs())
        if (client_of(port) == sink && inputs.size() < CHANNELS)
            inputs.push_back(port);
    if (inputs.size() < CHANNELS)
        return fail_open(FMOD_ERR_INIT); // the sink has gone since it was listed
    // Without its server a client still sees the graph it last knew; a
    // connection needs the server.
    for (int c = 0; c < CHANNELS; c++)
        if (jack_connect(client, jack_port_name(ports[c]), inputs[c].c_str()) != 0)
            return fail_open(FMOD_ERR_INIT);
    return FMOD_ERR_NONE;
}

long jack_stream_period() {
    return client ? static_cast<long>(jack_get_buffer_size(client)) : 0;
}

bool jack_stream_fill(long *held, long *room) {
    if (server_gone)
        return false;
    *held = static_cast<long>(jack_ringbuffer_read_space(ring) / FRAME_BYTES);
    *room = static_cast<long>(jack_ringbuffer_write_space(ring) / FRAME_BYTES);
    return true;
}

void jack_stream_write(const char *frames, long count) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(frames);
    for (long i = 0; i < count * CHANNELS; i++)
        scratch[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8) / 32768.0f;
    jack_ringbuffer_write(ring, reinterpret_cast<const char *>(scratch), count * FRAME_BYTES);
    fed = 1;
}

uint32_t jack_stream_underruns() {
    return dry_spells;
}

void jack_stream_close() {
    if (client) {
        // Closing deactivates the client first: no process call follows.
        jack_client_close(client);
        client = nullptr;
    }
    if (ring)
        jack_ringbuffer_free(ring);
    ring = nullptr;
    ports[0] = ports[1] = nullptr;
}
