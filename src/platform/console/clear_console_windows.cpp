// SPDX-License-Identifier: MIT
#include "platform/console/clear_console.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

// Windows' shell has no "clear", and says so on its error output, which goes
// to NUL for the call: the failure is nothing to tell the player.
void clear_console() {
    if (!_isatty(_fileno(stdout)))
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    const int error_output = _dup(2);
    const int nul = _open("NUL", _O_WRONLY);
    if (nul >= 0)
        _dup2(nul, 2);
    [[maybe_unused]] const int status = std::system("clear");
    if (error_output >= 0)
        _dup2(error_output, 2);
    if (nul >= 0)
        _close(nul);
    if (error_output >= 0)
        _close(error_output);
}
