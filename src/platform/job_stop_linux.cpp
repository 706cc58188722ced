// SPDX-License-Identifier: MIT
#include "platform/job_stop.h"

#include "platform/jack_client.h"

// A stopped job leaves the JACK graph meanwhile, so that the server and its
// other clients play on without it.
const JobStopSteps *job_stop_steps() {
    return &JackClient::JOB_STOP_STEPS;
}
