// SPDX-License-Identifier: MIT
#include "main_thread_signals_probe.h"

bool main_thread_signals_blocked_here() {
    return true;
}
