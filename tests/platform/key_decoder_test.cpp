#include "key_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {
constexpr int X = 0xE0; // lead of the cursor keys, F11 and F12

using Codes = std::vector<int>;

// Feeds the bytes and collects the codes; a timeout after the last byte
// when asked, as when nothing more arrives in time.
Codes decode(const std::string &bytes, bool timeout = false) {
    KeyDecoder d;
    Codes out;
    auto take = [&](const KeyCodes &k) {
        EXPECT_LE(k.count, 2);
        out.insert(out.end(), k.code, k.code + k.count);
    };
    for (char c : bytes)
        take(decode_byte(d, static_cast<unsigned char>(c)));
    if (timeout)
        take(decode_timeout(d));
    EXPECT_FALSE(timeout && decoder_in_sequence(d)) << "a timeout leaves no sequence open";
    return out;
}

struct Sequence {
    const char *bytes;
    int lead;
    int scan;
};

// The forms that xterm, VT220, rxvt and the Linux console send.
const Sequence KEYS[] = {
    {"\x1b[A", X, 0x48},
    {"\x1b[B", X, 0x50},
    {"\x1b[C", X, 0x4D},
    {"\x1b[D", X, 0x4B},
    {"\x1bOA", X, 0x48},
    {"\x1bOB", X, 0x50},
    {"\x1bOC", X, 0x4D},
    {"\x1bOD", X, 0x4B},
    {"\x1b[H", X, 0x47},
    {"\x1bOH", X, 0x47},
    {"\x1b[1~", X, 0x47},
    {"\x1b[7~", X, 0x47},
    {"\x1b[F", X, 0x4F},
    {"\x1bOF", X, 0x4F},
    {"\x1b[4~", X, 0x4F},
    {"\x1b[8~", X, 0x4F},
    {"\x1b[2~", X, 0x52},
    {"\x1b[3~", X, 0x53},
    {"\x1b[5~", X, 0x49},
    {"\x1b[6~", X, 0x51},
    {"\x1b[11~", 0, 0x3B},
    {"\x1b[12~", 0, 0x3C},
    {"\x1b[13~", 0, 0x3D},
    {"\x1b[14~", 0, 0x3E},
    {"\x1b[15~", 0, 0x3F},
    {"\x1bOP", 0, 0x3B},
    {"\x1bOQ", 0, 0x3C},
    {"\x1bOR", 0, 0x3D},
    {"\x1bOS", 0, 0x3E},
    {"\x1b[[A", 0, 0x3B},
    {"\x1b[[B", 0, 0x3C},
    {"\x1b[[C", 0, 0x3D},
    {"\x1b[[D", 0, 0x3E},
    {"\x1b[[E", 0, 0x3F},
    {"\x1b[17~", 0, 0x40},
    {"\x1b[18~", 0, 0x41},
    {"\x1b[19~", 0, 0x42},
    {"\x1b[20~", 0, 0x43},
    {"\x1b[21~", 0, 0x44},
    {"\x1b[23~", X, 0x85},
    {"\x1b[24~", X, 0x86},
    // With modifiers, which are dropped.
    {"\x1b[1;5A", X, 0x48},
    {"\x1b[1;2D", X, 0x4B},
    {"\x1b[1;3H", X, 0x47},
    {"\x1b[5;5~", X, 0x49},
    {"\x1b[3;2~", X, 0x53},
    {"\x1b[1;2P", 0, 0x3B},
    {"\x1b[15;2~", 0, 0x3F},
    {"\x1b[24;8~", X, 0x86},
    {"\x1bO5S", 0, 0x3E},
    // rxvt's Alt+Up.
    {"\x1b\x1b[A", X, 0x48},
};

TEST(KeyDecoder, EverySequenceGivesItsTwoCodes) {
    for (const Sequence &s : KEYS)
        EXPECT_EQ(decode(s.bytes), (Codes{s.lead, s.scan})) << testing::PrintToString(s.bytes);
}

TEST(KeyDecoder, SequencesBackToBackDecodeAlike) {
    std::string stream;
    Codes expected;
    for (const Sequence &s : KEYS) {
        stream += s.bytes;
        stream += "a";
        expected.insert(expected.end(), {s.lead, s.scan, 'a'});
    }
    EXPECT_EQ(decode(stream), expected);
}

TEST(KeyDecoder, SequenceGivesNothingUntilItsLastByte) {
    for (const Sequence &s : KEYS) {
        KeyDecoder d;
        const std::string bytes = s.bytes;
        for (size_t i = 0; i + 1 < bytes.size(); i++) {
            EXPECT_EQ(decode_byte(d, bytes[i]).count, 0) << testing::PrintToString(s.bytes);
            EXPECT_TRUE(decoder_in_sequence(d));
        }
        EXPECT_EQ(decode_byte(d, bytes.back()).count, 2) << testing::PrintToString(s.bytes);
        EXPECT_FALSE(decoder_in_sequence(d));
    }
}

TEST(KeyDecoder, BytesOutsideSequencesPassThrough) {
    for (int b = 0; b < 256; b++) {
        if (b == 27)
            continue;
        EXPECT_EQ(decode(std::string(1, static_cast<char>(b))), Codes{b});
    }
    EXPECT_EQ(decode("a\r+\xe9\x80\xff"), (Codes{'a', 13, '+', 0xE9, 0x80, 0xFF}));
}

TEST(KeyDecoder, EscapeAloneIsEscapeOnlyAfterTimeout) {
    EXPECT_EQ(decode("\x1b"), Codes{});
    EXPECT_EQ(decode("\x1b", true), Codes{27});
    EXPECT_EQ(decode("a\x1b", true), (Codes{'a', 27}));
    // Alt+Escape, or two presses too fast to tell apart: one Escape.
    EXPECT_EQ(decode("\x1b\x1b", true), Codes{27});
    EXPECT_EQ(decode("\x1b\x1b\x1b", true), (Codes{27, 27}));
}

TEST(KeyDecoder, AltKeyGivesTheKeyAlone) {
    EXPECT_EQ(decode("\x1b"
                     "a"),
              Codes{'a'});
    EXPECT_EQ(decode("\x1b\r"), Codes{13});
    EXPECT_EQ(decode("\x1b\xe9"), Codes{0xE9});
    EXPECT_EQ(decode("\x1b"
                     "4"),
              Codes{'4'});
    // Alt+[ and Alt+O, known only when nothing follows in time.
    EXPECT_EQ(decode("\x1b[", true), Codes{'['});
    EXPECT_EQ(decode("\x1bO", true), Codes{'O'});
}

TEST(KeyDecoder, UnknownSequencesAreDropped) {
    const char *unknown[] = {
        "\x1b[Z",     "\x1b[E",         "\x1b[G",       "\x1b[0~",   "\x1b[9~",
        "\x1b[16~",   "\x1b[22~",       "\x1b[25~",     "\x1b[200~", "\x1b[99999999~",
        "\x1b[?1;2c", "\x1b[<0;12;40M", "\x1b[>1;2;3c", "\x1b[2$~",  "\x1b[97;5u",
        "\x1bOx",     "\x1bO~",         "\x1b[[Z",      "\x1b[[1",   "\x1b[;~",
    };
    for (const char *bytes : unknown) {
        EXPECT_EQ(decode(std::string(bytes) + "a"), Codes{'a'}) << testing::PrintToString(bytes);
        EXPECT_EQ(decode(bytes, true), Codes{}) << testing::PrintToString(bytes);
    }
}

TEST(KeyDecoder, UnfinishedSequencesAreDroppedOnTimeout) {
    for (const char *bytes : {"\x1b[1", "\x1b[1;", "\x1b[15;2", "\x1b[[", "\x1bO5", "\x1b[?"})
        EXPECT_EQ(decode(bytes, true), Codes{}) << testing::PrintToString(bytes);
}

TEST(KeyDecoder, ByteThatCannotBelongEndsTheSequenceAndCounts) {
    EXPECT_EQ(decode("\x1b[1\x1b[B"), (Codes{X, 0x50}));
    EXPECT_EQ(decode("\x1b[\r"), Codes{13});
    EXPECT_EQ(decode("\x1bO\x01"), Codes{1});
    EXPECT_EQ(decode("\x1b[[\x7f"), Codes{0x7F});
    EXPECT_EQ(decode("\x1b[5\xe9"), Codes{0xE9});
    EXPECT_EQ(decode("\x1b[1;5\x1b", true), Codes{27});
}

// Random streams of the bytes that sequences are made of. Without a timeout
// and without two ESC in a row no Escape may come out; after a timeout the
// decoder is always back outside any sequence.
TEST(KeyDecoder, GarbageNeverGivesEscapeNorHangs) {
    const std::string alphabet = "\x1b\x1b\x1b[[[OO~~;;0123456789ABCDEFHPQRSZu<?$\r\x7f\x80\xe0"
                                 "a";
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; round++) {
        std::string stream;
        const int length = 1 + static_cast<int>(random() % 24);
        while (static_cast<int>(stream.size()) < length) {
            const char c = alphabet[random() % alphabet.size()];
            if (!(c == 27 && !stream.empty() && stream.back() == 27))
                stream += c;
        }
        Codes codes = decode(stream);
        for (int code : codes) {
            EXPECT_NE(code, 27) << testing::PrintToString(stream);
            EXPECT_TRUE(code >= 0 && code <= 255);
        }
        decode(stream, true);
    }
}
} // namespace
