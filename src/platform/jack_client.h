// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/job_stop_steps.h"

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The program's one client of a JACK server, "scopesynth": the JACK output's
// ports and the MIDI input's port stand on it, so that a patchbay shows one
// instrument with its outputs and its input. Each user adds a part, which the
// client's process callback runs every cycle on JACK's real-time thread; the
// client is activated with its first part.
//
// A server that goes away takes the client with it for good (server_gone).
// The next get() opens a new client on whatever server answers then, and
// each user moves onto that one by itself: the output through the audio
// layer's reopening, the MIDI input through its watcher. Under jackd's
// library get() closes the dead client first, which then stays a harmless
// object whose calls do nothing and fail until its last user lets it go;
// PipeWire's closes with its last user, once their ports are gone.
//
// Used from any of the program's threads (the main thread, the MIDI input's
// watcher, the audio layer's reopener), never from JACK's: every call but
// server_gone, sample_rate and buffer_size takes one lock, shared by all
// clients, so that no client is closed under a call on it. JACK's threads
// take no lock.
class JackClient {
  public:
    using Process = void (*)(jack_nframes_t frames, void *arg);
    // Makes a part's connections again after the client has been out of the
    // graph (a stop of the job): its ports are registered still, but
    // disconnected. Called with the client's lock held, so that the part
    // cannot be removed meanwhile; the client's calls may be used.
    using Connect = void (*)(JackClient &client, void *arg);

    // The client open now, or a new one on the running server (never started
    // for us); null when no server answers. It closes when the last user
    // lets it go, or once its server has gone, when the next get() opens
    // another.
    static std::shared_ptr<JackClient> get();
    ~JackClient();
    JackClient(const JackClient &) = delete;
    JackClient &operator=(const JackClient &) = delete;

    // Whether the server has gone away since the client opened.
    bool server_gone() const { return gone.load(std::memory_order_relaxed) != 0; }

    // The server's rate (Hz), for the client's life, and its period
    // (frames), followed as it changes. No lock: the stream thread reads the
    // period.
    jack_nframes_t sample_rate() const { return rate; }
    jack_nframes_t buffer_size() const { return period.load(std::memory_order_relaxed); }

    // jack_port_register and jack_port_unregister, on the client while it is
    // open: null, and nothing, once it is closed.
    jack_port_t *register_port(const char *name, const char *type, unsigned long flags);
    void unregister_port(jack_port_t *port);
    // The full name ("client:port") of one of the client's ports; empty once
    // it is closed.
    std::string port_name(const jack_port_t *port);
    // The full names of the server's ports of `type` with all of `flags`, in
    // the server's order.
    std::vector<std::string> ports(const char *type, unsigned long flags);
    // Connects two ports by name; false when the server refuses (or has
    // gone: a client without its server still sees the graph it last knew).
    bool connect(const std::string &source, const std::string &destination);

    // Adds `process`, to be called with `arg` every cycle from now on, and
    // activates the client if it is not yet; `connect` makes the part's
    // connections again after a stop of the job. False when it cannot be
    // activated, or holds its most parts already.
    bool add_part(Process process, Connect connect, void *arg);

    // Removes the part added with `arg`; once this returns, no cycle runs it
    // and its `connect` is not called.
    void remove_part(void *arg);

    // For the console (console_keys_start): the client leaves the graph
    // before the job stops (jack_deactivate: a client frozen in the graph
    // holds up the server and every other client), and once the program runs
    // again it joins it again and its parts connect their ports again.
    static const JobStopSteps JOB_STOP_STEPS;

  private:
    static constexpr int MAX_PARTS = 2; // the output and the MIDI input

    struct Part {
        std::atomic<Process> process{nullptr};
        std::atomic<void *> arg{nullptr};
        Connect connect = nullptr; // under the lock
    };

    JackClient() = default;
    bool activate();
    void close();
    static int run_parts(jack_nframes_t frames, void *self);
    static int on_buffer_size(jack_nframes_t frames, void *self);
    static void on_shutdown(void *self);
    static void leave_graph(void *clients);
    static void join_graph(void *clients);

    jack_client_t *client = nullptr; // null once closed; under the lock
    Part parts[MAX_PARTS];
    std::atomic<uint32_t> cycles{0}; // odd while a cycle runs the parts
    std::atomic<int32_t> gone{0};    // set on JACK's thread
    jack_nframes_t rate = 0;
    std::atomic<jack_nframes_t> period{0}; // set on JACK's thread
    bool active = false;                   // under the lock
};

// Keeps libjack's diagnostics off the console, and makes sure that no JACK
// server is ever started for us, by our client or by ALSA's `jack` PCMs.
// Before anything else of JACK's is used.
void jack_keep_quiet();
