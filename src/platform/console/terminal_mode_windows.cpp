// SPDX-License-Identifier: MIT
#include "platform/console/terminal_mode_windows.h"

namespace {
struct ConsoleMode {
    HANDLE input = nullptr;
    DWORD saved = 0;
};
ConsoleMode mode;
} // namespace

bool console_mode_start(HANDLE input) {
    if (!GetConsoleMode(input, &mode.saved))
        return false;
    mode.input = input;
    const DWORD raw =
        (mode.saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT;
    SetConsoleMode(input, raw);
    return true;
}

void console_mode_stop() {
    if (mode.input)
        SetConsoleMode(mode.input, mode.saved);
    mode.input = nullptr;
}
