// SPDX-License-Identifier: MIT
#include "platform/console/key_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {
constexpr int X = 0xE0; // lead of the cursor keys, F11 and F12

using Codes = std::vector<int>;

void append(Codes &out, const KeyCodes &k) {
    out.insert(out.end(), k.code, k.code + k.count);
}

// The codes that the bytes give, and then a timeout when asked.
Codes decode(const std::string &bytes, bool timeout = false) {
    KeyDecoder d;
    Codes out;
    for (char c : bytes)
        append(out, decode_byte(d, static_cast<unsigned char>(c)));
    if (timeout)
        append(out, decode_timeout(d));
    EXPECT_FALSE(timeout && decoder_in_sequence(d)) << "a timeout leaves no sequence open";
    return out;
}

// The forms that xterm, VT220, rxvt and the Linux console send; the last ones
// carry modifiers, which are dropped (rxvt sends Alt+Up as ESC ESC [ A).
const std::tuple<const char *, int, int> KEYS[] = {
    {"\x1b[A", X, 0x48},     {"\x1b[B", X, 0x50},     {"\x1b[C", X, 0x4D},
    {"\x1b[D", X, 0x4B},     {"\x1bOA", X, 0x48},     {"\x1bOB", X, 0x50},
    {"\x1bOC", X, 0x4D},     {"\x1bOD", X, 0x4B},     {"\x1b[H", X, 0x47},
    {"\x1bOH", X, 0x47},     {"\x1b[1~", X, 0x47},    {"\x1b[7~", X, 0x47},
    {"\x1b[F", X, 0x4F},     {"\x1bOF", X, 0x4F},     {"\x1b[4~", X, 0x4F},
    {"\x1b[8~", X, 0x4F},    {"\x1b[2~", X, 0x52},    {"\x1b[3~", X, 0x53},
    {"\x1b[5~", X, 0x49},    {"\x1b[6~", X, 0x51},    {"\x1b[11~", 0, 0x3B},
    {"\x1b[12~", 0, 0x3C},   {"\x1b[13~", 0, 0x3D},   {"\x1b[14~", 0, 0x3E},
    {"\x1b[15~", 0, 0x3F},   {"\x1bOP", 0, 0x3B},     {"\x1bOQ", 0, 0x3C},
    {"\x1bOR", 0, 0x3D},     {"\x1bOS", 0, 0x3E},     {"\x1b[[A", 0, 0x3B},
    {"\x1b[[B", 0, 0x3C},    {"\x1b[[C", 0, 0x3D},    {"\x1b[[D", 0, 0x3E},
    {"\x1b[[E", 0, 0x3F},    {"\x1b[17~", 0, 0x40},   {"\x1b[18~", 0, 0x41},
    {"\x1b[19~", 0, 0x42},   {"\x1b[20~", 0, 0x43},   {"\x1b[21~", 0, 0x44},
    {"\x1b[23~", X, 0x85},   {"\x1b[24~", X, 0x86},   {"\x1b[1;5A", X, 0x48},
    {"\x1b[1;3H", X, 0x47},  {"\x1b[5;5~", X, 0x49},  {"\x1b[1;2P", 0, 0x3B},
    {"\x1b[15;2~", 0, 0x3F}, {"\x1b[24;8~", X, 0x86}, {"\x1bO5S", 0, 0x3E},
    {"\x1b\x1b[A", X, 0x48}};

// One decoder for every key, byte by byte as the reads may split them: a key
// is an open sequence until its last byte, and then leaves the decoder clean.
TEST(KeyDecoder, EveryKeyGivesItsTwoCodesAtItsLastByte) {
    KeyDecoder d;
    for (const auto &[key, lead, scan] : KEYS) {
        const std::string bytes = std::string(key) + "a";
        Codes out;
        for (size_t i = 0; i < bytes.size(); i++) {
            append(out, decode_byte(d, bytes[i]));
            EXPECT_EQ(decoder_in_sequence(d), i + 2 < bytes.size()) << testing::PrintToString(key);
        }
        EXPECT_EQ(out, (Codes{lead, scan, 'a'})) << testing::PrintToString(key);
    }
}

TEST(KeyDecoder, BytesOutsideSequencesPassThrough) {
    std::string bytes;
    Codes codes;
    for (int b = 0; b < 256; b++)
        if (b != 27) {
            bytes += static_cast<char>(b);
            codes.push_back(b);
        }
    EXPECT_EQ(decode(bytes), codes);
}

// What a timeout after the bytes leaves: ESC alone is Escape, ESC ESC is
// Alt+Escape, ESC with "[" or "O" alone is Alt with it, and a sequence cut
// short by a byte that cannot belong to it gives that byte.
TEST(KeyDecoder, TimeoutsAltAndCutShortSequences) {
    EXPECT_EQ(decode("\x1b", true), Codes{27});
    EXPECT_EQ(decode("\x1b\x1b", true), Codes{27});
    EXPECT_EQ(decode("\x1b\x1b\x1b", true), (Codes{27, 27}));
    EXPECT_EQ(decode("\x1bz", true), Codes{'z'});
    EXPECT_EQ(decode("\x1b[", true), Codes{'['});
    EXPECT_EQ(decode("\x1bO", true), Codes{'O'});
    for (const char *unfinished : {"\x1b[1;", "\x1b[[", "\x1bO5"})
        EXPECT_EQ(decode(unfinished, true), Codes{}) << testing::PrintToString(unfinished);
    EXPECT_EQ(decode("\x1b[1\x1b[B"), (Codes{X, 0x50}));
    EXPECT_EQ(decode("\x1b[5\xe9"), Codes{0xE9});
}

TEST(KeyDecoder, UnknownSequencesAreDropped) {
    for (const char *bytes :
         {"\x1b[Z", "\x1b[E", "\x1b[0~", "\x1b[9~", "\x1b[16~", "\x1b[22~", "\x1b[25~",
          "\x1b[99999999~", "\x1b[?1;2c", "\x1b[<0;12;40M", "\x1b[2$~", "\x1b[97;5u", "\x1bOx",
          "\x1bO~", "\x1b[[Z", "\x1b[[1", "\x1b[;~"})
        EXPECT_EQ(decode(std::string(bytes) + "a"), Codes{'a'}) << testing::PrintToString(bytes);
}

// Without a timeout and without two ESC in a row, no mix of sequence bytes
// may give Escape, which would end the set-up dialog.
TEST(KeyDecoder, GarbageNeverGivesEscape) {
    const std::string alphabet = "a\x1b\x1b[[[OO~~;;0123456789ABCDEFHPQRSZu<?$\r\x7f\x80\xe0";
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; round++) {
        std::string stream;
        for (size_t length = 1 + random() % 24; stream.size() < length;) {
            const char c = alphabet[random() % alphabet.size()];
            if (!(c == 27 && !stream.empty() && stream.back() == 27))
                stream += c;
        }
        for (int code : decode(stream))
            ASSERT_NE(code, 27) << testing::PrintToString(stream);
        decode(stream, true);
    }
}
} // namespace
