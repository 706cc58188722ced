// SPDX-License-Identifier: MIT
#include "targets.h"

namespace {
bool missed = false;
} // namespace

void miss_target(benchmark::State &state, const char *what) {
    state.SkipWithError(what);
    missed = true;
}

bool targets_missed() {
    return missed;
}
