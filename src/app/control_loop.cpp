// SPDX-License-Identifier: MIT
#include "app/control_loop.h"

#include "app/status.h"
#include "platform/console/console_keys.h"
#include "synth/patch.h"

namespace {
// The nine settings that keys step and controllers set. Each increasing key
// sits right above its decreasing key (AZERTY). A controller's value 0..127
// sets its setting absolutely: amplitudes and depths over 0..1, modulator
// frequencies in the key's steps (0..63.5 Hz of tremolo, 0..12.7 Hz of
// vibrato, 0..127 Hz of growl), so that a controller reaches what the keys
// reach.
struct Setting {
    unsigned char up, down;
    int controller;
    Relaxed<float> Oscillator::*field;
    int osc; // 1..5
    double step;
};
constexpr double PER_VALUE = 1.0 / 127; // of an amplitude or depth
constexpr Setting SETTINGS[] = {
    {'z', 's', 7, &Oscillator::Ampl, 1, 0.01},  {'e', 'd', 70, &Oscillator::Freq, 2, 0.5},
    {'r', 'f', 71, &Oscillator::Ampl, 2, 0.01}, {'t', 'g', 72, &Oscillator::Freq, 3, 0.1},
    {'y', 'h', 73, &Oscillator::Ampl, 3, 0.01}, {'u', 'j', 74, &Oscillator::Freq, 4, 1.0},
    {'i', 'k', 75, &Oscillator::Ampl, 4, 0.01}, {'o', 'l', 76, &Oscillator::Freq, 5, 1.0},
    {'p', 'm', 77, &Oscillator::Ampl, 5, 0.01},
};

Relaxed<float> &field_of(const Setting &s) {
    Oscillator *const oscs[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    return oscs[s.osc - 1]->*s.field;
}

// Adds a step in double precision and stores the result back as a float.
void nudge(Relaxed<float> &field, double step) {
    field = static_cast<float>(static_cast<double>(field) + step);
}

// Note keys, the AZERTY bottom row: "w" to ";".
void set_note(unsigned char key) {
    static const struct {
        unsigned char key;
        int32_t note;
    } NOTES[] = {{'w', 61}, {'x', 63}, {'c', 65}, {'v', 66},
                 {'b', 68}, {'n', 70}, {',', 71}, {';', 72}};
    for (const auto &n : NOTES)
        if (key == n.key)
            patch.note = n.note;
}

void step_setting(unsigned char key) {
    for (const Setting &s : SETTINGS) {
        if (key == s.up)
            nudge(field_of(s), s.step);
        if (key == s.down)
            nudge(field_of(s), -s.step);
    }
}

// The selector runs 1..5 once "+" has been pressed; until then the carrier
// keeps the waveform it was created with.
void apply_selector() {
    if (patch.waveform_selector > 5)
        patch.waveform_selector = 1;
    const int32_t selector = patch.waveform_selector;
    if (selector >= 1 && selector <= 5)
        patch.OSC1->waveform = selector;
}

// A setting not above 0.0001 (a value that is not a number included) lands on
// exactly zero, which also switches a modulator off.
void clamp(Relaxed<float> &field) {
    if (!(static_cast<double>(field) > 0.0001))
        field = 0.0f;
}

void clamp_all() {
    Oscillator *const oscs[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    for (Oscillator *o : oscs)
        clamp(o->Ampl);
    for (Oscillator *o : oscs)
        clamp(o->Freq);
    for (Oscillator *o : oscs)
        clamp(o->Phase);
}

// A controller's value, 0..127, as its setting.
bool set_by_controller(int controller, int value) {
    for (const Setting &s : SETTINGS) {
        if (controller != s.controller)
            continue;
        const double per_value = s.field == &Oscillator::Ampl ? PER_VALUE : s.step;
        field_of(s) = static_cast<float>(value * per_value);
        return true;
    }
    return false;
}
} // namespace

void handle_key(int code) {
    const auto key = static_cast<unsigned char>(code & 0xFF);
    // The note has no bounds; past the integer range it wraps around.
    if (key == 'a')
        patch.note = static_cast<int32_t>(static_cast<uint32_t>(patch.note) + 1u);
    if (key == 'q')
        patch.note = static_cast<int32_t>(static_cast<uint32_t>(patch.note) - 1u);
    if (key == '+')
        patch.waveform_selector = patch.waveform_selector + 1;
    apply_selector();
    set_note(key);
    step_setting(key);
    clamp_all();
}

bool handle_midi(const MidiMessage &message) {
    bool acted = false;
    switch (message.kind()) {
    case MIDI_NOTE_ON:
        // A velocity of 0 is a note-off. There is no envelope: the carrier
        // sounds on between notes, as between keys, so a note-off does nothing.
        acted = message.data2 > 0;
        if (acted)
            patch.note = message.data1 - MIDI_NOTE_OFFSET;
        break;
    case MIDI_CONTROLLER:
        acted = set_by_controller(message.data1, message.data2);
        break;
    case MIDI_PROGRAM:
        // Programs 0..4 are the waveforms 1..5, chosen as "+" chooses them.
        acted = message.data1 < 5;
        if (acted) {
            patch.waveform_selector = message.data1 + 1;
            apply_selector();
        }
        break;
    }
    if (acted)
        clamp_all();
    return acted;
}

void control_loop(MidiQueue &midi) {
    for (;;) {
        if (key_waiting()) {
            handle_key(read_key());
            print_status_block();
        }
        MidiMessage message;
        if (midi.pop(&message) && handle_midi(message))
            print_status_block();
    }
}
