# SPDX-License-Identifier: MIT
"""What the program prints and plays, as the tests and the soak hold it to:
the dialog and the help text, the stream's block and piece, the keys and
the MIDI controllers. Kept in one place so that a test's idea of the
program and the soak's cannot drift apart; the C++ program is the source,
these restate it (src/app/main.cpp, control_loop.cpp, start_stream.cpp,
common/progress_hook.h)."""

# The stream's rate, and its block: every callback computes 8192 frames.
RATE = 44100
BLOCK_FRAMES = 8192
BLOCK_S = BLOCK_FRAMES / RATE
# The frame loop hands its frames on every 128 frames, a piece.
PIECE_FRAMES = 128

PROMPT = "Press a corresponding number or ESC to quit"
SEP = "-" * 57 + "\n"
MENU = (
    SEP + "Output Type\n" + SEP + "1 - Direct Sound\n2 - Windows Multimedia Waveout\n"
    "3 - ASIO\n4 - NoSound\n" + SEP + PROMPT + "\n"
)
DRIVERS = SEP + "NoSound Driver list\n" + SEP + "1 - NoSound\n" + SEP + PROMPT + "\n"
# The help ends with HELP_END: once it is shown, the program takes keys.
HELP_END = "(foireuxmaismarche)"
HELP = (
    "aqzs edrftg yhujik olpm our modifier les trucs \n"
    "+- change le OSC1\n"
    "wxcvbn,; pour les notes " + HELP_END + "\n"
)
# Every key and every MIDI message that acts prints a status block, which
# starts so.
STATUS = "Note ["

# Every key the program reads, in the help's order; "-" changes nothing,
# but prints its status block as any key does.
KEYS = "aqzsedrftgyhujikolpm+-wxcvbn,;"
# The note keys, the AZERTY bottom row, and the note each plays.
NOTE_KEYS = {"w": 61, "x": 63, "c": 65, "v": 66, "b": 68, "n": 70, ",": 71, ";": 72}
# The stepped settings: the note ("a" up, "q" down) and the nine that keys
# step and controllers set, each as its increasing and decreasing key and
# its start, counted in steps (the carrier's amplitude starts at 1, a
# hundred steps of 0.01), by oscillator.
STEPPED = [
    ("a", "q", 58),
    ("z", "s", 100),
    ("e", "d", 0),
    ("r", "f", 100),
    ("t", "g", 0),
    ("y", "h", 100),
    ("u", "j", 0),
    ("i", "k", 100),
    ("o", "l", 0),
    ("p", "m", 100),
]
# The MIDI controller of each stepped setting, by its increasing key.
CONTROLLERS = {"z": 7, "e": 70, "r": 71, "t": 72, "y": 73, "u": 74, "i": 75, "o": 76, "p": 77}
