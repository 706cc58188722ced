// SPDX-License-Identifier: MIT
#include "platform/console/key_decoder.h"

#include <cstddef>

namespace {
constexpr unsigned char ESC = 27;
constexpr int EXTENDED = 0xE0; // lead of the cursor keys, F11 and F12
constexpr int FUNCTION = 0;    // lead of F1 ... F10

// A parameter this large is no key; stopping there keeps the number small.
constexpr int PARAMETER_LIMIT = 1000;

constexpr KeyCodes one(int code) {
    return {1, {code, 0}};
}
constexpr KeyCodes key(int lead, int scan) {
    return {2, {lead, scan}};
}

constexpr KeyCodes UP = key(EXTENDED, 0x48);
constexpr KeyCodes DOWN = key(EXTENDED, 0x50);
constexpr KeyCodes LEFT = key(EXTENDED, 0x4B);
constexpr KeyCodes RIGHT = key(EXTENDED, 0x4D);
constexpr KeyCodes HOME = key(EXTENDED, 0x47);
constexpr KeyCodes END = key(EXTENDED, 0x4F);

// F1 ... F10 have the consecutive scan codes 0x3B ... 0x44.
constexpr KeyCodes function_key(int n) {
    return key(FUNCTION, 0x3B + n - 1);
}

struct NamedKey {
    int name; // the final letter, or the number before "~"
    KeyCodes codes;
};

// ESC [ A, ESC O A, ESC [ 1 ; 5 A and the like.
constexpr NamedKey LETTER_KEYS[] = {
    {'A', UP},
    {'B', DOWN},
    {'C', RIGHT},
    {'D', LEFT},
    {'H', HOME},
    {'F', END},
    {'P', function_key(1)},
    {'Q', function_key(2)},
    {'R', function_key(3)},
    {'S', function_key(4)},
};

// ESC [ n ~ of xterm, VT220, rxvt and the Linux console.
constexpr NamedKey TILDE_KEYS[] = {
    {1, HOME},
    {2, key(EXTENDED, 0x52)}, // Insert
    {3, key(EXTENDED, 0x53)}, // Delete
    {4, END},
    {5, key(EXTENDED, 0x49)}, // Page Up
    {6, key(EXTENDED, 0x51)}, // Page Down
    {7, HOME},
    {8, END},
    {11, function_key(1)},
    {12, function_key(2)},
    {13, function_key(3)},
    {14, function_key(4)},
    {15, function_key(5)},
    {17, function_key(6)},
    {18, function_key(7)},
    {19, function_key(8)},
    {20, function_key(9)},
    {21, function_key(10)},
    {23, key(EXTENDED, 0x85)}, // F11
    {24, key(EXTENDED, 0x86)}, // F12
};

template <size_t N> KeyCodes find_key(const NamedKey (&table)[N], int name) {
    for (const NamedKey &k : table)
        if (k.name == name)
            return k.codes;
    return {};
}

KeyCodes after_escape(KeyDecoder &d, unsigned char byte) {
    if (byte == '[' || byte == 'O') {
        d.stage = byte == '[' ? KeyStage::Csi : KeyStage::Ss3;
        return {};
    }
    if (byte != ESC) {
        d = KeyDecoder();
        return one(byte);
    }
    // ESC ESC: the first is Alt, as rxvt sends Alt+Up as ESC ESC [ A. A third
    // ESC cannot be Alt again: the pair was Alt+Escape, and a new sequence
    // begins.
    d.alt = !d.alt;
    return d.alt ? KeyCodes{} : one(ESC);
}

// ESC [ [ A ... ESC [ [ E: F1 ... F5 on the Linux console.
KeyCodes after_linux_function(KeyDecoder &d, unsigned char byte) {
    d = KeyDecoder();
    return byte >= 'A' && byte <= 'E' ? function_key(byte - 'A' + 1) : KeyCodes{};
}

// A printable byte after ESC [ or ESC O: a parameter, or the final byte that
// names the key. Only the first parameter counts; the ones after the ";" are
// modifiers.
KeyCodes in_sequence(KeyDecoder &d, unsigned char byte) {
    const bool first = !d.has_body;
    d.has_body = true;
    if (d.stage == KeyStage::Csi && first && byte == '[') {
        d.stage = KeyStage::LinuxFunction;
        return {};
    }
    if (byte >= 0x40) {
        KeyCodes codes;
        if (!d.unknown)
            codes = d.stage == KeyStage::Csi && byte == '~'
                        ? find_key(TILDE_KEYS, d.first_parameter)
                        : find_key(LETTER_KEYS, byte);
        d = KeyDecoder();
        return codes;
    }
    if (byte >= '0' && byte <= '9') {
        if (!d.past_first && d.first_parameter < PARAMETER_LIMIT)
            d.first_parameter = d.first_parameter * 10 + (byte - '0');
    } else if (byte == ';') {
        d.past_first = true;
    } else {
        d.unknown = true;
    }
    return {};
}
} // namespace

KeyCodes decode_byte(KeyDecoder &d, unsigned char byte) {
    switch (d.stage) {
    case KeyStage::Ground:
        if (byte != ESC)
            return one(byte);
        d.stage = KeyStage::Escape;
        return {};
    case KeyStage::Escape:
        return after_escape(d, byte);
    default:
        break;
    }
    // Only printable ASCII belongs inside a sequence. Any other byte cuts it
    // short; what came so far is dropped and the byte counts on its own, so
    // that an ESC starts the next sequence and Enter is not lost.
    if (byte < 0x20 || byte > 0x7E) {
        d = KeyDecoder();
        return decode_byte(d, byte);
    }
    if (d.stage == KeyStage::LinuxFunction)
        return after_linux_function(d, byte);
    return in_sequence(d, byte);
}

KeyCodes decode_timeout(KeyDecoder &d) {
    KeyCodes codes;
    if (d.stage == KeyStage::Escape)
        codes = one(ESC);
    else if (d.stage == KeyStage::Csi && !d.has_body)
        codes = one('[');
    else if (d.stage == KeyStage::Ss3 && !d.has_body)
        codes = one('O');
    d = KeyDecoder();
    return codes;
}

bool decoder_in_sequence(const KeyDecoder &d) {
    return d.stage != KeyStage::Ground;
}
