// SPDX-License-Identifier: MIT
#include "platform/job_stop.h"

const JobStopSteps *job_stop_steps() {
    return nullptr;
}
