// SPDX-License-Identifier: MIT
#include "app/status.h"

#include "synth/patch.h"

#include <cstdio>

void print_status(const Oscillator &osc) {
    std::printf("Freq [%3.3f] Ampl [%3.3f] Phase [%3.3f] - AFreq [%3.3f] AAmpl [%3.3f] APhase "
                "[%3.3f]  \n",
                static_cast<double>(osc.Freq), static_cast<double>(osc.Ampl),
                static_cast<double>(osc.Phase), static_cast<double>(osc.AFreq),
                static_cast<double>(osc.AAmpl), static_cast<double>(osc.APhase));
}

// The frequency shown is the one the audio thread last set from the note, so
// right after a note key it can still be the previous note's.
void print_status_block() {
    std::printf("Note [%d] -> [%f]\n", static_cast<int>(patch.note),
                static_cast<double>(patch.OSC1->Freq));
    print_status(*patch.OSC1);
    print_status(*patch.OSC2);
    print_status(*patch.OSC3);
    print_status(*patch.OSC4);
    print_status(*patch.OSC5);
    std::fflush(stdout);
}
