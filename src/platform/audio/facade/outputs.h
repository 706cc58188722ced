// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/backend.h"

#include <string>
#include <vector>

// What the output types reach on this system, NoSound aside (the layer's
// own): each system's table of routes from an output type to a back-end.

// An output type in force, and the back-end that plays it.
struct Output {
    int type; // FSOUND_OUTPUT_*
    const Backend *backend;
};

// The output in force when `requested` (an FSOUND_OUTPUT_* code other than
// NoSound) is asked for, with its back-end's drivers by name in `*drivers`.
// What a previous choice kept is let go first.
Output outputs_choose(int requested, std::vector<std::string> *drivers);

// Lets go of what the back-ends hold (a server connection, the sound
// library). Every sink must be gone.
void outputs_close();
