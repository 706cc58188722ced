// SPDX-License-Identifier: MIT
#pragma once

#include "common/newest_of_three.h"
#include "common/progress_hook.h"
#include "synth/patch.h"
#include "synth/preview.h"

// What the stream callback works with, handed to it as its user data from
// the stream's creation: the patch it plays, where it reports the frames it
// has finished, and where each block's preview goes.
struct StreamContext {
    Patch *patch = nullptr;
    ProgressHook progress;
    // Null without a window: no preview is run at all.
    NewestOfThree<Preview> *previews = nullptr;
};
