// SPDX-License-Identifier: MIT
#pragma once

// Clears the console through the shell's "clear", once, when standard output
// is one; where the shell has no such command the console stays as it is, and
// nothing is said of it.
void clear_console();
