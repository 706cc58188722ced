// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/job_stop_steps.h"

// What a stop of the program's job takes on this system besides the console:
// on Linux the JACK client leaves the server's graph while the job is stopped;
// Windows has no job control. Null when there is nothing to do.
const JobStopSteps *job_stop_steps();
