// SPDX-License-Identifier: MIT
#pragma once

#include "common/relaxed.h"

#include <cstdint>

// A device thread's count of dry spells, for the stream thread to read: a
// run of periods that found too few frames counts once, and only once frames
// have been written, so that the silence before the first ones is none.
struct DrySpells {
    Relaxed<int32_t> fed;    // written by the stream thread
    Relaxed<uint32_t> count; // written by the device's thread
    bool was_short = false;  // the device's thread only

    void note_period(bool short_period) {
        const bool dry = short_period && fed;
        if (dry && !was_short)
            count = count + 1;
        was_short = dry;
    }
};
