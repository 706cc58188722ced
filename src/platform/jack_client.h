// SPDX-License-Identifier: MIT
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>

// The program's one client of a JACK server, "scopesynth": the JACK output's
// ports and the MIDI input's port stand on it, so that a patchbay shows one
// instrument with its outputs and its input. Each user adds a part, which the
// client's process callback runs every cycle on JACK's real-time thread; the
// client is activated with its first part. Used from the main thread and the
// MIDI input's own thread, never from JACK's.
class JackClient {
  public:
    using Process = void (*)(jack_nframes_t frames, void *arg);

    // The client open now, or a new one on the running server (never started
    // for us); null when no server answers. It closes when the last user
    // lets it go.
    static std::shared_ptr<JackClient> get();
    ~JackClient();
    JackClient(const JackClient &) = delete;
    JackClient &operator=(const JackClient &) = delete;

    jack_client_t *handle() const { return client; }

    // Whether the server has gone away since the client opened.
    bool server_gone() const { return gone.load(std::memory_order_relaxed) != 0; }

    // Adds `process`, to be called with `arg` every cycle from now on, and
    // activates the client if it is not yet. False when it cannot be
    // activated, or holds its most parts already.
    bool add_part(Process process, void *arg);

    // Removes the part added with `arg`; once this returns, no cycle runs it.
    void remove_part(void *arg);

  private:
    static constexpr int MAX_PARTS = 2; // the output and the MIDI input

    struct Part {
        std::atomic<Process> process{nullptr};
        std::atomic<void *> arg{nullptr};
    };

    JackClient() = default;
    static int run_parts(jack_nframes_t frames, void *self);
    static void on_shutdown(void *self);

    jack_client_t *client = nullptr;
    Part parts[MAX_PARTS];
    std::atomic<uint32_t> cycles{0}; // odd while a cycle runs the parts
    std::atomic<int32_t> gone{0};    // set on JACK's thread
    bool active = false;
};

// Keeps libjack's diagnostics off the console, and makes sure that no JACK
// server is ever started for us, by our client or by ALSA's `jack` PCMs.
// Before anything else of JACK's is used.
void jack_keep_quiet();
