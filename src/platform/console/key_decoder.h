// SPDX-License-Identifier: MIT
#pragma once

// Turns the bytes that a terminal sends into the key codes of the Windows
// console: a byte with a character is its own code, and a key without one
// (arrow, Home, function key...), which the terminal sends as an escape
// sequence, becomes a lead byte (0 or 0xE0) and a scan code. Modifiers are
// dropped: Ctrl+Up is Up, Alt+a is "a".
//
// Bytes go in one at a time, however the reads split them. The decoder has no
// clock: its owner tells it when nothing more came in time after a byte that
// left a sequence unfinished. Then a lone ESC is the Escape key (27), ESC with
// only "[" or "O" after it is Alt with that character, and any other
// unfinished sequence is dropped. A complete sequence that is no key of the
// table is dropped too: handing on its bytes would make keys of them (ESC
// would end the set-up dialog, ";" would play a note).

enum class KeyStage { Ground, Escape, Csi, Ss3, LinuxFunction };

struct KeyDecoder {
    KeyStage stage = KeyStage::Ground;
    bool alt = false;        // a first ESC was taken as Alt (ESC ESC ...)
    bool has_body = false;   // bytes came after ESC [ or ESC O
    bool past_first = false; // a ";" ended the first parameter
    bool unknown = false;    // private marker or intermediate: no key of ours
    int first_parameter = 0;
};

// What one input gave: no code, one, or the two codes of a key.
struct KeyCodes {
    int count = 0;
    int code[2] = {0, 0};
};

KeyCodes decode_byte(KeyDecoder &decoder, unsigned char byte);

// Nothing more arrived in time after the last byte.
KeyCodes decode_timeout(KeyDecoder &decoder);

// True while the bytes so far are the start of a sequence, so that a timeout
// would decide what they are.
bool decoder_in_sequence(const KeyDecoder &decoder);
