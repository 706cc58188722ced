// SPDX-License-Identifier: MIT
#pragma once

#include "audio_sink.h"

#include <memory>
#include <string>
#include <vector>

// What the output types reach on this system, NoSound aside (the layer's
// own): the output in force for a requested type, its drivers, and a sink on
// one of them.

// The output in force when `requested` (an FSOUND_OUTPUT_* code other than
// NoSound) is asked for, and its drivers by name in `*drivers`. What a
// previous choice held is let go first.
int outputs_choose(int requested, std::vector<std::string> *drivers);

// A sink on driver `index` of the last choice, whose drivers are `drivers`,
// for frames at `rate` frames per second. Null, with why in `*error`, on
// failure.
std::unique_ptr<AudioSink> outputs_open(const std::vector<std::string> &drivers, int index,
                                        int rate, AudioError *error);

// Lets go of what the choice holds (a server connection, the sound
// library). Every sink must be gone.
void outputs_close();
