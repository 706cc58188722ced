// SPDX-License-Identifier: MIT
#include "platform/console/clear_console.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Only a terminal has anything to clear, and a pipe must not receive its
// escape codes.
void clear_console() {
    if (!isatty(STDOUT_FILENO))
        return;
    std::fflush(stdout);
    [[maybe_unused]] const int status = std::system("clear");
}
