// SPDX-License-Identifier: MIT
#include "platform/console/terminal_mode_linux.h"

#include <atomic>
#include <termios.h>
#include <unistd.h>

namespace {
// The settings found at start, and raw mode derived from them once. A
// continue sets these raw settings again rather than deriving new ones from
// what the terminal holds then: the process may have been stopped with the
// terminal still raw (by SIGSTOP, which no handler sees) and continued by a
// kill from elsewhere with no shell resetting the terminal in between, and
// settings read then would be the raw ones, restored at exit as the user's.
// The price is that stty changes made while the program was stopped are
// undone at exit; the terminal is left usable either way.
struct Terminal {
    termios saved;
    termios raw;
    // Atomic: signal handlers read it, and the final restore clears it
    // first, so that a continue landing during the restore does not make the
    // terminal raw again.
    std::atomic<bool> raw_mode{false};
};
Terminal terminal;

// In the background the terminal's settings are the shell's.
void set_terminal(const termios &settings) {
    if (!terminal_in_background())
        tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

} // namespace

void terminal_enter_raw() {
    if (tcgetattr(STDIN_FILENO, &terminal.saved) != 0)
        return; // not a terminal: its bytes are the keys as they stand
    termios &raw = terminal.raw;
    raw = terminal.saved;
    // No echo, and every byte at once rather than a line after Enter.
    // IEXTEN off, so that no system takes Ctrl-V to quote the next key.
    raw.c_lflag &= ~(ECHO | ICANON | IEXTEN);
    // ISIG stays on: Ctrl-C ends the program and Ctrl-Z stops it, through
    // the console's signal handlers.
    // IXON off: Ctrl-S and Ctrl-Q are keys, not flow control. Enter arrives
    // as 13, as on the Windows console, and bytes of 0x80 and up whole.
    raw.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
    // OPOST stays on, so that the "\n" of each printed line still returns
    // the cursor to the start of the next one.
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSANOW keeps keys typed before the switch; they are read as keys.
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0)
        terminal.raw_mode = true;
}

// TCSANOW rather than TCSAFLUSH: output processing is the same in both modes,
// so nothing needs draining first, and a drain waits for ever when the
// terminal has stopped reading, which would keep a signalled program from
// ending. Unread input is left to the shell.
void terminal_leave_raw() {
    if (terminal.raw_mode.exchange(false))
        set_terminal(terminal.saved);
}

bool terminal_is_raw() {
    return terminal.raw_mode;
}

// A terminal that is not the controlling one has no foreground (tcgetpgrp
// fails) and is ours.
bool terminal_in_background() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground >= 0 && foreground != getpgrp();
}

void terminal_give_back() {
    if (terminal.raw_mode)
        set_terminal(terminal.saved);
}

void terminal_take_back() {
    if (terminal.raw_mode)
        set_terminal(terminal.raw);
}
