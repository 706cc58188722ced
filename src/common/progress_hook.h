// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The frame loop hands its frames on in pieces as it goes, so that the audio
// layer can send each piece to the device as soon as it is made and hold the
// loop back until the device needs more. A key then lands at the frame being
// computed when it arrives, rather than a block later, and waits at most a
// piece (2.9 ms) for the loop to come back to it.
constexpr int32_t PROGRESS_FRAMES = 128;

// Where the frame loop reports: called on the audio thread after every
// PROGRESS_FRAMES frames of a block, and after its last frame, with the
// number of frames finished so far, which are final. Without a function (as
// in the tests) the loop runs unpaced.
struct ProgressHook {
    void (*report)(void *to, int32_t frames_done) = nullptr;
    void *to = nullptr;

    void operator()(int32_t frames_done) const {
        if (report)
            report(to, frames_done);
    }
};
