// SPDX-License-Identifier: MIT
#include "platform/jack_client.h"

#include "platform/main_thread_signals.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
void silent_text(const char *) {}

// Every client of the process, through the one open now.
struct JackClients {
    // Recursive: a part's Connect, called under it, uses the client's calls.
    std::recursive_mutex lock;
    // The client while somebody uses it: weak, so that it closes with its
    // last user and the next get() opens a new one.
    std::weak_ptr<JackClient> current;
    // Between a stop of the job and the continue: a part added meanwhile
    // waits for the continue to be activated.
    bool job_stopped = false;
    // Whether the server that answered first was jackd (its socket stood
    // where jackd_socket says); see jackd_answers.
    bool jackd = false;
    bool ever_opened = false;
};
JackClients clients;

// A part being removed may be in a cycle that started before; a server that
// has gone runs no more cycles, and a cycle lasts milliseconds, so after
// this long the cycle is not coming back to it.
constexpr auto MOST_CYCLE_WAIT = std::chrono::seconds(1);

// Where jackd listens for its clients: /dev/shm/jack_<server>_<uid>_0, the
// server named by JACK_DEFAULT_SERVER or "default".
sockaddr_un jackd_socket() {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const char *server = std::getenv("JACK_DEFAULT_SERVER");
    if (!server || !*server)
        server = "default";
    if (std::getenv("JACK_PROMISCUOUS_SERVER"))
        std::snprintf(address.sun_path, sizeof address.sun_path, "/dev/shm/jack_%s_0", server);
    else
        std::snprintf(address.sun_path, sizeof address.sun_path, "/dev/shm/jack_%s_%d_0", server,
                      int(getuid()));
    return address;
}

bool jackd_socket_exists() {
    struct stat found;
    return stat(jackd_socket().sun_path, &found) == 0 && S_ISSOCK(found.st_mode);
}

// jackd's library (libjack of jackd2), when a client opens after a server
// has gone, closes and frees every client of the process that it still
// holds, whoever opened it: the dead client that ALSA's `jack` PCM keeps
// under a PortAudio stream would be freed under its owner's feet, to be
// closed again when the stream closes. So no client is opened while jackd
// is away (a connection to its socket, which takes no client, says when it
// is back), nor while another part of the process still holds a client of
// the server that went (see clients_of_a_gone_server). PipeWire's JACK
// library keeps no such list, and has no such socket.
bool jackd_answers() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const sockaddr_un address = jackd_socket();
    const bool answered =
        connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return answered;
}

// Whether a client of jackd is open in the process on a server that has
// gone: a server removes its shared memory (/dev/shm/jack-<uid>-<n>) as it
// goes, and the client keeps it mapped, marked deleted, until it is closed.
// Ours are closed by then; another's owner closes it once its stream has
// failed.
bool clients_of_a_gone_server() {
    char segment[64];
    std::snprintf(segment, sizeof segment, "/dev/shm/jack-%d-", int(getuid()));
    FILE *maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return false;
    bool found = false;
    char line[1024];
    while (!found && std::fgets(line, sizeof line, maps))
        found = std::strstr(line, segment) && std::strstr(line, "(deleted)");
    std::fclose(maps);
    return found;
}
} // namespace

const JobStopSteps JackClient::JOB_STOP_STEPS = {leave_graph, join_graph, &clients};

void jack_keep_quiet() {
    jack_set_error_function(silent_text);
    jack_set_info_function(silent_text);
    setenv("JACK_NO_START_SERVER", "1", 0);
}

std::shared_ptr<JackClient> JackClient::get() {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    const std::shared_ptr<JackClient> open = clients.current.lock();
    if (open && !open->server_gone())
        return open;
    // A dead client of jackd is closed before another opens: jackd's
    // library would otherwise free it itself (see jackd_answers), and its
    // users would close it again. PipeWire's must not be closed under its
    // users: it closes with the last of them, once they have unregistered
    // their ports (closed with ports still on it, it may crash).
    if (open && clients.jackd)
        open->close();
    if (clients.jackd && (!jackd_answers() || clients_of_a_gone_server()))
        return nullptr;
    jack_keep_quiet();
    // Made before libjack's threads start, so that the callbacks they may
    // run find it whole.
    std::shared_ptr<JackClient> made(new JackClient());
    {
        // Those threads must not take the main thread's signals.
        const MainThreadSignalsBlocked blocked;
        made->client = jack_client_open("scopesynth", JackNoStartServer, nullptr);
    }
    if (!made->client)
        return nullptr;
    if (!clients.ever_opened) {
        clients.ever_opened = true;
        clients.jackd = jackd_socket_exists();
    }
    made->rate = jack_get_sample_rate(made->client);
    made->period = jack_get_buffer_size(made->client);
    jack_on_shutdown(made->client, on_shutdown, made.get());
    jack_set_buffer_size_callback(made->client, on_buffer_size, made.get());
    jack_set_process_callback(made->client, run_parts, made.get());
    clients.current = made;
    return made;
}

// Closing deactivates the client first: no cycle follows. A client whose
// server has gone closes at once: its requests fail without waiting, and
// its threads, stopped short, are cancelled.
void JackClient::close() {
    if (!client)
        return;
    const MainThreadSignalsBlocked blocked;
    jack_client_close(client);
    client = nullptr;
    active = false;
}

JackClient::~JackClient() {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    close();
}

void JackClient::on_shutdown(void *self) {
    static_cast<JackClient *>(self)->gone.store(1, std::memory_order_relaxed);
}

int JackClient::on_buffer_size(jack_nframes_t frames, void *self) {
    static_cast<JackClient *>(self)->period.store(frames, std::memory_order_relaxed);
    return 0;
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

jack_port_t *JackClient::register_port(const char *name, const char *type, unsigned long flags) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    return client ? jack_port_register(client, name, type, flags, 0) : nullptr;
}

void JackClient::unregister_port(jack_port_t *port) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    if (client && port)
        jack_port_unregister(client, port);
}

std::string JackClient::port_name(const jack_port_t *port) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    const char *name = client && port ? jack_port_name(port) : nullptr;
    return name ? name : "";
}

std::vector<std::string> JackClient::ports(const char *type, unsigned long flags) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    std::vector<std::string> names;
    if (!client)
        return names;
    const char **found = jack_get_ports(client, nullptr, type, flags);
    for (int i = 0; found && found[i]; i++)
        names.emplace_back(found[i]);
    jack_free(found);
    return names;
}

bool JackClient::connect(const std::string &source, const std::string &destination) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    return client && jack_connect(client, source.c_str(), destination.c_str()) == 0;
}

// Under the lock. While the job is stopped the client stays out of the graph;
// the continue activates it.
bool JackClient::activate() {
    if (active || clients.job_stopped)
        return true;
    const MainThreadSignalsBlocked blocked; // libjack starts the process thread
    active = client && jack_activate(client) == 0;
    return active;
}

bool JackClient::add_part(Process process, Connect connect, void *arg) {
    const std::lock_guard<std::recursive_mutex> held(clients.lock);
    for (Part &part : parts) {
        if (part.process.load(std::memory_order_relaxed))
            continue;
        part.arg.store(arg, std::memory_order_relaxed);
        part.connect = connect;
        part.process.store(process, std::memory_order_release);
        if (client && activate())
            return true;
        part.process.store(nullptr, std::memory_order_relaxed);
        return false;
    }
    return false;
}

void JackClient::remove_part(void *arg) {
    {
        const std::lock_guard<std::recursive_mutex> held(clients.lock);
        for (Part &part : parts)
            if (part.process.load(std::memory_order_relaxed) &&
                part.arg.load(std::memory_order_relaxed) == arg)
                part.process.store(nullptr);
    }
    const uint32_t seen = cycles.load();
    const auto give_up = std::chrono::steady_clock::now() + MOST_CYCLE_WAIT;
    while (seen % 2 == 1 && cycles.load(std::memory_order_acquire) == seen && !server_gone() &&
           std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Before a stop of the job, on the main thread. Deactivating waits for the
// cycle in progress and takes the client's ports out of every connection.
void JackClient::leave_graph(void *all) {
    JackClients &c = *static_cast<JackClients *>(all);
    const std::lock_guard<std::recursive_mutex> held(c.lock);
    c.job_stopped = true;
    const std::shared_ptr<JackClient> open = c.current.lock();
    if (!open || !open->client || !open->active || open->server_gone())
        return;
    const MainThreadSignalsBlocked blocked;
    jack_deactivate(open->client);
    open->active = false;
}

// After the continue, on the main thread: the client joins the graph again
// if it has parts, and they connect their ports. A server that went away
// meanwhile refuses, and the users move to a new client as after any loss.
void JackClient::join_graph(void *all) {
    JackClients &c = *static_cast<JackClients *>(all);
    const std::lock_guard<std::recursive_mutex> held(c.lock);
    c.job_stopped = false;
    const std::shared_ptr<JackClient> open = c.current.lock();
    if (!open || !open->client || open->server_gone())
        return;
    bool parts = false;
    for (Part &part : open->parts)
        parts = parts || part.process.load(std::memory_order_relaxed);
    if (!parts || !open->activate())
        return;
    for (Part &part : open->parts)
        if (part.process.load(std::memory_order_relaxed) && part.connect)
            part.connect(*open, part.arg.load(std::memory_order_relaxed));
}
