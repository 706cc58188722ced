// SPDX-License-Identifier: MIT
#pragma once

#include "synth/oscillator.h"

// One oscillator's line of the status block: base and applied settings.
void print_status(const Oscillator &osc);

// The note, the carrier's frequency and one line per oscillator, shown at once.
void print_status_block();
