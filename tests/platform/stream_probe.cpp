#include "stream_probe.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

signed char probe_callback(FSOUND_STREAM *stream, void *buffer, int length, void *user_data) {
    auto *probe = static_cast<StreamProbe *>(user_data);
    if (probe->inside.exchange(true))
        probe->overlapped = true;
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        if (!sigismember(&mask, sig))
            probe->stop_signals_blocked = false;
    auto *bytes = static_cast<unsigned char *>(buffer);
    for (int frame = 0; frame < length / 4; frame++, probe->counter++)
        for (int side = 0; side < 2; side++) {
            bytes[4 * frame + 2 * side] = probe->counter & 0xFF;
            bytes[4 * frame + 2 * side + 1] = probe->counter >> 8;
        }
    probe->stream = stream;
    probe->length = length;
    probe->thread = pthread_self();
    probe->inside = false;
    probe->calls++;
    return 1;
}

bool wait_for_calls(const StreamProbe &probe, int calls) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (probe.calls < calls) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
