#pragma once

// Plays and shapes the sound from the keyboard for the rest of the process's
// life: polls for keys without pausing, applies each to the patch and prints
// the status block. Never returns.
[[noreturn]] void control_loop();

// Applies one key (only its low 8 bits count) to the patch, then sets every
// amplitude, frequency and phase that is not above 0.0001 to zero.
void handle_key(int key);
