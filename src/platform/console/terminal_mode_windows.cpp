// SPDX-License-Identifier: MIT
#include "platform/console/terminal_mode_windows.h"

#include <cstdlib>

namespace {
struct ConsoleMode {
    HANDLE input = nullptr;
    DWORD saved = 0;
};
ConsoleMode mode;

void restore_mode() {
    SetConsoleMode(mode.input, mode.saved);
}
} // namespace

bool console_mode_start(HANDLE input) {
    if (!GetConsoleMode(input, &mode.saved))
        return false;
    mode.input = input;
    const DWORD raw =
        (mode.saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT;
    SetConsoleMode(input, raw);
    atexit(restore_mode);
    return true;
}
