// SPDX-License-Identifier: MIT
#include "app/control_loop.h"
#include "patch_checks.h"
#include "platform/console/key_decoder.h"
#include "synth/patch.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

// Terminal bytes through the key decoder into the control loop's key
// handling, with the patch checked after every key. Byte 0xFF in the input
// stands for "nothing more came in time", so that a lone ESC and sequences
// cut short are decided by a timeout; 0xFF 0xFF is one real 0xFF byte, so
// that every byte value still reaches the decoder.

namespace {
constexpr uint8_t TIMEOUT_MARK = 0xFF;
constexpr int ESC = 27;

struct Keys {
    KeyDecoder decoder;
    size_t bytes = 0; // fed to the decoder so far
    size_t codes = 0; // given by it so far
    int last_byte = -1;
};

// Hands every code to the key handling. The decoder never gives more codes
// than it took bytes, a key of two codes has a lead of 0 or 0xE0, and
// Escape comes only from an ESC byte.
void handle(Keys &k, const KeyCodes &got) {
    check(got.count >= 0 && got.count <= 2);
    check(got.count < 2 || got.code[0] == 0 || got.code[0] == 0xE0);
    k.codes += static_cast<size_t>(got.count);
    check(k.codes <= k.bytes);
    for (int i = 0; i < got.count; i++) {
        const int code = got.code[i];
        check(code >= 0 && code <= 0xFF);
        check(code != ESC || (got.count == 1 && k.last_byte == ESC));
        handle_key(code);
        check_patch();
    }
}

void feed(Keys &k, uint8_t byte) {
    const bool in_sequence = decoder_in_sequence(k.decoder);
    k.bytes++;
    k.last_byte = byte;
    const KeyCodes got = decode_byte(k.decoder, byte);
    // Outside a sequence every byte but ESC is a key of its own.
    if (!in_sequence && byte != ESC)
        check(got.count == 1 && got.code[0] == byte);
    handle(k, got);
}

void time_out(Keys &k) {
    const bool in_sequence = decoder_in_sequence(k.decoder);
    const KeyCodes got = decode_timeout(k.decoder);
    check(in_sequence || got.count == 0);
    check(!decoder_in_sequence(k.decoder));
    handle(k, got);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Every input starts from the patch that start-up leaves.
    patch = Patch{};
    create_oscillators();
    Keys keys;
    for (size_t i = 0; i < size; i++) {
        if (data[i] != TIMEOUT_MARK)
            feed(keys, data[i]);
        else if (i + 1 < size && data[i + 1] == TIMEOUT_MARK)
            feed(keys, data[++i]);
        else
            time_out(keys);
    }
    // As at the end of the console's input, an unfinished sequence is decided.
    time_out(keys);
    for (Oscillator *o : {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5})
        delete o;
    return 0;
}
