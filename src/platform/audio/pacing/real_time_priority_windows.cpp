// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/real_time_priority.h"

#include <windows.h>

#include <avrt.h>

// The multimedia class scheduler's "Pro Audio" task, where the system has
// it, raises the thread above every normal one, as audio programs' threads
// are; otherwise the highest priority of its class. The task's handle is
// kept for the thread's life.
bool ask_for_real_time() {
    DWORD task = 0;
    if (AvSetMmThreadCharacteristicsW(L"Pro Audio", &task))
        return true;
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}
