// SPDX-License-Identifier: MIT
#include "app/control_loop.h"
#include "app/status.h"
#include "fakes.h"
#include "synth/patch.h"
#include "synth/stream_callback.h"
#include "synth/stream_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using testing::ExitedWithCode;

namespace {

class ControlLoop : public testing::Test {
  protected:
    void SetUp() override { create_oscillators(); }
};

Oscillator *osc(int n) {
    Oscillator *const all[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    return all[n - 1];
}

// Every setting a key can reach, in one comparable row.
std::vector<double> settings() {
    std::vector<double> v{double(patch.note), double(patch.waveform_selector),
                          double(patch.OSC1->waveform)};
    for (int n = 1; n <= 5; n++)
        for (float f : {float(osc(n)->Ampl), float(osc(n)->Freq), float(osc(n)->Phase)})
            v.push_back(f);
    return v;
}

// Runs the endless loop over a key script, with `midi` waiting, and returns
// what it printed.
std::string loop_output(std::deque<int> keys, std::initializer_list<MidiMessage> midi = {}) {
    fake_keys = std::move(keys);
    static MidiQueue queue;
    for (const MidiMessage &m : midi)
        queue.push(m);
    EXPECT_EXIT(
        {
            redirect_stdout(test_output_file());
            control_loop(queue);
        },
        ExitedWithCode(0), "");
    return read_file(test_output_file());
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}
} // namespace

TEST_F(ControlLoop, EveryTableKeyChangesItsSettingByItsStep) {
    struct Row {
        char key;
        int osc;
        Relaxed<float> Oscillator::*field;
        double step;
    };
    const Row rows[] = {
        {'z', 1, &Oscillator::Ampl, 0.01}, {'s', 1, &Oscillator::Ampl, -0.01},
        {'e', 2, &Oscillator::Freq, 0.5},  {'d', 2, &Oscillator::Freq, -0.5},
        {'r', 2, &Oscillator::Ampl, 0.01}, {'f', 2, &Oscillator::Ampl, -0.01},
        {'t', 3, &Oscillator::Freq, 0.1},  {'g', 3, &Oscillator::Freq, -0.1},
        {'y', 3, &Oscillator::Ampl, 0.01}, {'h', 3, &Oscillator::Ampl, -0.01},
        {'u', 4, &Oscillator::Freq, 1.0},  {'j', 4, &Oscillator::Freq, -1.0},
        {'i', 4, &Oscillator::Ampl, 0.01}, {'k', 4, &Oscillator::Ampl, -0.01},
        {'o', 5, &Oscillator::Freq, 1.0},  {'l', 5, &Oscillator::Freq, -1.0},
        {'p', 5, &Oscillator::Ampl, 0.01}, {'m', 5, &Oscillator::Ampl, -0.01},
    };
    for (const Row &row : rows) {
        // Start every setting at 7.3 so that each step has room both ways.
        for (int n = 1; n <= 5; n++)
            osc(n)->Ampl = osc(n)->Freq = 7.3f;
        std::vector<double> expected = settings();
        const size_t slot = 3 + 3 * (row.osc - 1) + (row.field == &Oscillator::Ampl ? 0 : 1);
        // The step is applied in double precision, then stored as a float.
        expected[slot] = static_cast<float>(7.3f + row.step);
        handle_key(row.key);
        EXPECT_EQ(settings(), expected) << "key " << row.key;
    }
}

TEST_F(ControlLoop, NoteKeysStepOrSetTheNoteWithoutBounds) {
    const std::pair<char, int> notes[] = {{'w', 61}, {'x', 63}, {'c', 65}, {',', 71},
                                          {'v', 66}, {'b', 68}, {'n', 70}, {';', 72}};
    for (auto [key, note] : notes) {
        patch.note = -500;
        handle_key(key);
        EXPECT_EQ(patch.note, note) << key;
    }
    patch.note = 127;
    handle_key('a');
    EXPECT_EQ(patch.note, 128);
    patch.note = 0;
    handle_key('q');
    handle_key('q');
    EXPECT_EQ(patch.note, -2);
    // Far past any audible note the integer wraps instead of overflowing.
    patch.note = std::numeric_limits<int32_t>::max();
    handle_key('a');
    EXPECT_EQ(patch.note, std::numeric_limits<int32_t>::min());
    handle_key('q');
    EXPECT_EQ(patch.note, std::numeric_limits<int32_t>::max());
}

TEST_F(ControlLoop, PlusCyclesTheCarrierThroughItsWaveformsFromSine) {
    EXPECT_EQ(patch.OSC1->waveform, ThreeLevelSquare);
    handle_key('a'); // before the first "+" the carrier keeps its waveform
    EXPECT_EQ(patch.OSC1->waveform, ThreeLevelSquare);
    for (int expected : {1, 2, 3, 4, 5, 1, 2}) {
        handle_key('+');
        EXPECT_EQ(patch.OSC1->waveform, expected);
    }
    // The selector rule runs for every key, so it rewrites the waveform.
    patch.OSC1->waveform = 5;
    handle_key('-');
    EXPECT_EQ(patch.OSC1->waveform, 2);
}

TEST_F(ControlLoop, KeysOutsideTheTableChangeNothing) {
    patch.OSC2->Freq = 3.0f;
    const std::vector<double> before = settings();
    for (int key :
         std::initializer_list<int>{'-', 'A', 'Q', 'W', 0, 0xE0, 27, '\r', ' ', '<', 0xFF})
        handle_key(key);
    EXPECT_EQ(settings(), before);
    // Only the low 8 bits of a key count: 0x161 is "a".
    handle_key(0x161);
    EXPECT_EQ(patch.note, 59);
}

TEST_F(ControlLoop, SteppingDownLandsOnExactlyZeroAndStaysThere) {
    for (int i = 0; i < 100; i++)
        handle_key('s');
    EXPECT_EQ(float(patch.OSC1->Ampl), 0.0f);
    EXPECT_FALSE(std::signbit(float(patch.OSC1->Ampl)));
    handle_key('s');
    EXPECT_EQ(float(patch.OSC1->Ampl), 0.0f);

    handle_key('d');
    EXPECT_EQ(float(patch.OSC2->Freq), 0.0f);
    handle_key('e');
    EXPECT_EQ(float(patch.OSC2->Freq), 0.5f);
}

TEST_F(ControlLoop, ClampZeroesEverySettingNotAbove00001) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float just_below = 0.0001f; // the float nearest 0.0001 lies below it
    const float just_above = std::nextafter(just_below, 1.0f);
    patch.OSC1->Freq = just_above;
    patch.OSC2->Phase = just_below;
    patch.OSC3->Ampl = nan;
    patch.OSC4->Freq = -5.0f;
    patch.OSC5->Phase = 0.0002f;
    patch.OSC5->Ampl = -std::numeric_limits<float>::infinity();
    handle_key('-');
    EXPECT_EQ(float(patch.OSC1->Freq), just_above);
    EXPECT_EQ(float(patch.OSC2->Phase), 0.0f);
    EXPECT_EQ(float(patch.OSC3->Ampl), 0.0f);
    EXPECT_EQ(float(patch.OSC4->Freq), 0.0f);
    EXPECT_EQ(float(patch.OSC5->Phase), 0.0002f);
    EXPECT_EQ(float(patch.OSC5->Ampl), 0.0f);
}

TEST_F(ControlLoop, PrintsAFullStatusBlockAfterEveryKeyIncludingLeadBytes) {
    const std::string out = loop_output({0, 0x3B, '-', 0xE0, 0x48});
    EXPECT_EQ(count(out, "Note ["), 5u);
    EXPECT_EQ(count(out, "] - AFreq ["), 25u);
    // F1 arrives as 0 then 0x3B, which is ";": note 72.
    EXPECT_NE(out.find("Note [72]"), std::string::npos);
    EXPECT_EQ(out.find("Note [58]"), 0u);
}

namespace {
// The stream as the tests run it: unpaced, without a window.
StreamContext unpaced{&patch, {}, nullptr};
} // namespace

TEST_F(ControlLoop, StatusAfterTheStreamHasRunShowsTheStartPatch) {
    static unsigned char block[32768];
    stream_callback(nullptr, block, sizeof block, &unpaced);
    const std::string modulator = "Freq [0.000] Ampl [1.000] Phase [1.000] - AFreq [0.000] AAmpl "
                                  "[1.000] APhase [1.000]  \n";
    EXPECT_EQ(captured_stdout([] { print_status_block(); }),
              "Note [58] -> [440.000000]\n"
              "Freq [440.000] Ampl [1.000] Phase [1.000] - AFreq [440.000] AAmpl [1.000] APhase "
              "[1.000]  \n" +
                  modulator + modulator + modulator + modulator);
}

TEST_F(ControlLoop, NoteLineShowsTheFrequencyTheStreamLastUsed) {
    static unsigned char block[32768];
    stream_callback(nullptr, block, sizeof block, &unpaced);
    const std::string out = loop_output({'w'});
    EXPECT_EQ(out.find("Note [61] -> [440.000000]\n"), 0u);

    handle_key('w'); // the loop above ran in a process of its own
    stream_callback(nullptr, block, sizeof block, &unpaced);
    EXPECT_EQ(captured_stdout([] { print_status_block(); }).find("Note [61] -> [523.251160]\n"),
              0u);
}

TEST_F(ControlLoop, MidiNotesAndProgramsActAsTheirKeysOnAnyChannel) {
    // MIDI 72 is what "w" plays, 69 is A4 (440 Hz); a velocity of 0 is a
    // note-off, which changes nothing.
    EXPECT_TRUE(handle_midi({0x90, 72, 100}));
    EXPECT_EQ(patch.note, 61);
    EXPECT_TRUE(handle_midi({0x9F, 69, 1}));
    EXPECT_EQ(patch.note, 58);
    const std::vector<double> before = settings();
    for (const MidiMessage m :
         {MidiMessage{0x90, 60, 0}, MidiMessage{0x80, 60, 64}, MidiMessage{0xE0, 0, 127},
          MidiMessage{0xA0, 60, 90}, MidiMessage{0xD0, 90, 0}, MidiMessage{0xC0, 5, 0},
          MidiMessage{0xB0, 1, 127}, MidiMessage{0xB0, 64, 127}})
        EXPECT_FALSE(handle_midi(m)) << int(m.status) << " " << int(m.data1);
    EXPECT_EQ(settings(), before);

    // Programs 0..4 choose the waveforms as "+" does, through the selector.
    for (int program : {2, 0, 4}) {
        EXPECT_TRUE(handle_midi({0xC3, uint8_t(program), 0}));
        EXPECT_EQ(patch.OSC1->waveform, program + 1);
    }
    handle_key('+');
    EXPECT_EQ(patch.OSC1->waveform, 1);
}

TEST_F(ControlLoop, ControllersSetTheirSettingsAbsolutelyOverRangesTheKeysReach) {
    struct Row {
        int controller, osc;
        Relaxed<float> Oscillator::*field;
        double top; // at value 127
    };
    const Row rows[] = {{7, 1, &Oscillator::Ampl, 1.0},  {70, 2, &Oscillator::Freq, 63.5},
                        {71, 2, &Oscillator::Ampl, 1.0}, {72, 3, &Oscillator::Freq, 12.7},
                        {73, 3, &Oscillator::Ampl, 1.0}, {74, 4, &Oscillator::Freq, 127.0},
                        {75, 4, &Oscillator::Ampl, 1.0}, {76, 5, &Oscillator::Freq, 127.0},
                        {77, 5, &Oscillator::Ampl, 1.0}};
    for (const Row &row : rows) {
        create_oscillators();
        std::vector<double> expected = settings();
        const size_t slot = 3 + 3 * (row.osc - 1) + (row.field == &Oscillator::Ampl ? 0 : 1);
        EXPECT_TRUE(handle_midi({0xB5, uint8_t(row.controller), 127}));
        expected[slot] = static_cast<float>(row.top);
        EXPECT_EQ(settings(), expected) << "controller " << row.controller;
        handle_midi({0xB0, uint8_t(row.controller), 64});
        EXPECT_EQ(float(osc(row.osc)->*row.field), static_cast<float>(64 * (row.top / 127)));
        // Value 0 is exactly zero, the clamp's own value.
        handle_midi({0xB0, uint8_t(row.controller), 0});
        EXPECT_EQ(float(osc(row.osc)->*row.field), 0.0f);
    }
}

TEST_F(ControlLoop, EveryMidiMessageThatActsPrintsOneStatusBlockBesideTheKeys) {
    // The loop takes a key and a message a pass, and ends with the keys.
    const std::string out = loop_output(std::deque<int>(8, '-'), {{0x90, 72, 100},
                                                                  {0x80, 72, 0},
                                                                  {0x90, 60, 0},
                                                                  {0xB0, 7, 64},
                                                                  {0xB0, 1, 64},
                                                                  {0xC0, 9, 0},
                                                                  {0xC0, 1, 0},
                                                                  {0x90, 81, 1}});
    // Eight keys and four messages that act: a note-on, CC 7, program 1 and
    // a second note-on, in the order they came.
    EXPECT_EQ(count(out, "Note ["), 12u);
    EXPECT_EQ(count(out, "] - AFreq ["), 60u);
    EXPECT_LT(out.find("Note [61]"), out.find("Note [70]"));
}
