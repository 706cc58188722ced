// SPDX-License-Identifier: MIT
#include "platform/console/console_keys.h"

#include "platform/console/console_input.h"

#include <cstdlib>

namespace {
KeyQueue keys;
} // namespace

void console_keys_start() {
    static bool started = false;
    if (started)
        return; // a second start would save the raw mode as the one to restore
    started = true;
    console_input_start();
}

int key_waiting() {
    exit_if_stop_requested();
    if (keys.empty() && !keys.ended)
        take_console_input(keys, false);
    return !keys.empty() || keys.ended;
}

int read_key() {
    while (keys.empty()) {
        if (keys.ended)
            exit(0);
        take_console_input(keys, true);
    }
    return keys.pop();
}
