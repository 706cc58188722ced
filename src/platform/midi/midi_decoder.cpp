// SPDX-License-Identifier: MIT
#include "platform/midi/midi_decoder.h"

namespace {
// Program change and channel pressure carry one data byte, the others two.
int data_bytes(uint8_t status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}
} // namespace

bool midi_decode(MidiDecoder &decoder, uint8_t byte, MidiMessage *out) {
    // Real-time bytes may come anywhere, even inside a message.
    if (byte >= 0xF8)
        return false;
    if (byte >= 0x80) {
        // A channel status starts a message; system exclusive and system
        // common ones end running status, so that their data bytes, however
        // many, belong to no message.
        decoder.running = byte < 0xF0 ? byte : 0;
        decoder.count = 0;
        return false;
    }
    if (decoder.running == 0)
        return false;
    decoder.data[decoder.count++] = byte;
    const int needed = data_bytes(decoder.running);
    if (decoder.count < needed)
        return false;
    decoder.count = 0;
    *out = {decoder.running, decoder.data[0], needed == 2 ? decoder.data[1] : uint8_t(0)};
    return true;
}
