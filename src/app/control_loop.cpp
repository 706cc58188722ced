#include "control_loop.h"

#include "console_keys.h"
#include "patch.h"
#include "status.h"

namespace {
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

// Setting keys: each increasing key sits right above its decreasing key.
void step_setting(unsigned char key) {
    Patch &p = patch;
    const struct {
        unsigned char up, down;
        Relaxed<float> &field;
        double step;
    } STEPS[] = {
        {'z', 's', p.OSC1->Ampl, 0.01}, {'e', 'd', p.OSC2->Freq, 0.5},
        {'r', 'f', p.OSC2->Ampl, 0.01}, {'t', 'g', p.OSC3->Freq, 0.1},
        {'y', 'h', p.OSC3->Ampl, 0.01}, {'u', 'j', p.OSC4->Freq, 1.0},
        {'i', 'k', p.OSC4->Ampl, 0.01}, {'o', 'l', p.OSC5->Freq, 1.0},
        {'p', 'm', p.OSC5->Ampl, 0.01},
    };
    for (const auto &s : STEPS) {
        if (key == s.up)
            nudge(s.field, s.step);
        if (key == s.down)
            nudge(s.field, -s.step);
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

void control_loop() {
    for (;;) {
        while (!key_waiting()) {
        }
        handle_key(read_key());
        print_status_block();
    }
}
