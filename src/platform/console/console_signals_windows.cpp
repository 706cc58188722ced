// SPDX-License-Identifier: MIT
#include "platform/console/console_signals_windows.h"

#include "platform/console/console_input.h"

#include <atomic>

namespace {
constexpr int INTERRUPTED = 128 + 2; // SIGINT's status
constexpr int HUNG_UP = 128 + 1;     // SIGHUP's

struct StopRequest {
    std::atomic<int> status{0};
    HANDLE event = nullptr;
};
StopRequest stop;

BOOL WINAPI on_console_event(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    stop.status = interrupt ? INTERRUPTED : HUNG_UP;
    SetEvent(stop.event);
    // Once this returns from a closed console, the system ends the process
    // at once: the main thread ends it, with its shutdown.
    if (!interrupt)
        Sleep(INFINITE);
    return TRUE;
}
} // namespace

void console_signals_start() {
    stop.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

HANDLE stop_request_event() {
    return stop.event;
}

int stop_requested() {
    return stop.status;
}
