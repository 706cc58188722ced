// SPDX-License-Identifier: MIT
#include "platform/console/console_keys.h"

#include "platform/console/console_input.h"

namespace {
struct ConsoleKeys {
    KeyQueue queue;
    void (*end_program)(int status) = nullptr;
    bool started = false;
};
ConsoleKeys keys;

// A signal or event asked the program to end: it ends here, on the main
// thread, with the status asked for.
void end_if_asked() {
    if (const int status = stop_requested())
        keys.end_program(status);
}
} // namespace

void console_keys_start(void (*end_program)(int status), const JobStopSteps *steps) {
    keys.end_program = end_program;
    if (keys.started)
        return; // a second start would save the raw mode as the one to restore
    keys.started = true;
    console_input_start(steps);
}

void console_keys_stop() {
    console_input_stop();
}

int key_waiting() {
    end_if_asked();
    if (keys.queue.empty() && !keys.queue.ended)
        take_console_input(keys.queue, false);
    end_if_asked();
    return !keys.queue.empty() || keys.queue.ended;
}

int read_key() {
    while (keys.queue.empty()) {
        if (keys.queue.ended)
            keys.end_program(0);
        take_console_input(keys.queue, true);
        end_if_asked();
    }
    return keys.queue.pop();
}
