// SPDX-License-Identifier: MIT
#include "platform/jack_client.h"

#include "platform/main_thread_signals.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {
void silent_text(const char *) {}

// The client while somebody uses it: weak, so that it closes with its last
// user and the next get() opens a new one (on a server started since, say).
std::weak_ptr<JackClient> &shared_client() {
    static std::weak_ptr<JackClient> client;
    return client;
}

// A part being removed may be in a cycle that started before; a server that
// has gone runs no more cycles, and a cycle lasts milliseconds, so after
// this long the cycle is not coming back to it.
constexpr auto MOST_CYCLE_WAIT = std::chrono::seconds(1);
} // namespace

void jack_keep_quiet() {
    jack_set_error_function(silent_text);
    jack_set_info_function(silent_text);
    setenv("JACK_NO_START_SERVER", "1", 0);
}

std::shared_ptr<JackClient> JackClient::get() {
    if (auto open = shared_client().lock())
        return open;
    jack_keep_quiet();
    // Made before libjack's threads start, so that the shutdown they may
    // report finds it whole.
    std::shared_ptr<JackClient> made(new JackClient());
    {
        // Those threads must not take the main thread's signals.
        const MainThreadSignalsBlocked blocked;
        made->client = jack_client_open("scopesynth", JackNoStartServer, nullptr);
    }
    if (!made->client)
        return nullptr;
    jack_on_shutdown(made->client, on_shutdown, made.get());
    shared_client() = made;
    return made;
}

// Closing deactivates the client first: no cycle follows.
JackClient::~JackClient() {
    if (!client)
        return;
    const MainThreadSignalsBlocked blocked;
    jack_client_close(client);
}

void JackClient::on_shutdown(void *self) {
    static_cast<JackClient *>(self)->gone.store(1, std::memory_order_relaxed);
}

// Real-time: runs each part in place; the count around it lets a removal
// wait for the cycle in progress. The count and the parts are read and
// written in one total order (sequentially consistent): a removal that finds
// no cycle running is then sure that the next cycle finds the part gone.
int JackClient::run_parts(jack_nframes_t frames, void *self) {
    JackClient &c = *static_cast<JackClient *>(self);
    c.cycles.fetch_add(1);
    for (Part &part : c.parts) {
        const Process process = part.process.load();
        if (process)
            process(frames, part.arg.load(std::memory_order_relaxed));
    }
    c.cycles.fetch_add(1);
    return 0;
}

bool JackClient::add_part(Process process, void *arg) {
    for (Part &part : parts) {
        if (part.process.load(std::memory_order_relaxed))
            continue;
        part.arg.store(arg, std::memory_order_relaxed);
        part.process.store(process, std::memory_order_release);
        if (!active) {
            const MainThreadSignalsBlocked blocked;
            active = jack_set_process_callback(client, run_parts, this) == 0 &&
                     jack_activate(client) == 0;
        }
        if (active)
            return true;
        part.process.store(nullptr, std::memory_order_relaxed);
        return false;
    }
    return false;
}

void JackClient::remove_part(void *arg) {
    for (Part &part : parts)
        if (part.process.load(std::memory_order_relaxed) &&
            part.arg.load(std::memory_order_relaxed) == arg)
            part.process.store(nullptr);
    const uint32_t seen = cycles.load();
    const auto give_up = std::chrono::steady_clock::now() + MOST_CYCLE_WAIT;
    while (seen % 2 == 1 && cycles.load(std::memory_order_acquire) == seen && !server_gone() &&
           std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
