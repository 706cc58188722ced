#include "draw_scope.h"

#include "lock_fake.h"
#include "patch.h"
#include "scope_surface.h"
#include "screen.h"
#include "start_up_picture.h"
#include "stream_callback.h"
#include "surface.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {
constexpr uint32_t BLUE = 0x0000ff;
constexpr uint32_t WHITE = 0xffffff;
constexpr uint32_t MAGENTA = 0xff00ff;

std::vector<unsigned char> play_block() {
    std::vector<unsigned char> block(32768);
    stream_callback(nullptr, block.data(), static_cast<int32_t>(block.size()), nullptr);
    return block;
}

std::vector<uint32_t> picture() {
    std::vector<uint32_t> p;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 640; ++x)
            p.push_back(pixel_at(screen, x, y));
    return p;
}

std::array<float, 5> positions() {
    return {patch.OSC1->position, patch.OSC2->position, patch.OSC3->position, patch.OSC4->position,
            patch.OSC5->position};
}

class DrawScope : public ::testing::Test {
  protected:
    void SetUp() override {
        start_dummy_video();
        create_oscillators();
        screen = scope_surface();
        fill_words(screen, 0x12345678); // whatever the previous picture left
    }
};
} // namespace

TEST_F(DrawScope, StartUpPatchAfterOneCallback) {
    play_block();
    expect_start_up_picture(screen);
}

TEST_F(DrawScope, Plots12802SamplesAbout20ToAColumn) {
    // OSC2 as a ramp climbs 1.5 rows a sample between rows 10 and 100, so each
    // sample of a column leaves a blue pixel of its own; everything else stays
    // on the axis and on row 450.
    for (Oscillator *o : {patch.OSC1, patch.OSC3, patch.OSC4, patch.OSC5})
        o->Ampl = 0.0f;
    patch.OSC2->waveform = ShiftedRamp;
    patch.OSC2->Ampl = 0.3f;
    patch.OSC2->Freq = 2205.0f;
    clear_surface(screen);
    draw_scope();

    int total = 0;
    for (int x = 0; x < 640; ++x) {
        int blue = 0;
        for (int y = 0; y < 800; ++y)
            blue += pixel_at(screen, x, y) == BLUE;
        const bool extra = x == 1 || x == 18 || x == 301 || x == 505;
        const bool fewer = x == 4 || x == 75;
        EXPECT_EQ(blue, extra ? 21 : fewer ? 19 : 20) << "column " << x;
        total += blue;
    }
    EXPECT_EQ(total, 12802);
}

namespace {
void set_modulated_patch() {
    create_oscillators();
    patch.note = 63;
    patch.OSC1->waveform = Sine;
    const float settings[][2] = {{3.0f, 0.3f}, {5.5f, 0.2f}, {7.0f, 0.5f}, {11.0f, 0.1f}};
    Oscillator *modulators[] = {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    for (int i = 0; i < 4; ++i) {
        modulators[i]->Freq = settings[i][0];
        modulators[i]->Ampl = settings[i][1];
    }
}

struct TwoBlocks {
    std::vector<unsigned char> first, second;
    std::array<float, 5> after_first, after_second;
};

TwoBlocks play_two_blocks() {
    set_modulated_patch();
    TwoBlocks r;
    r.first = play_block();
    r.after_first = positions();
    r.second = play_block();
    r.after_second = positions();
    return r;
}
} // namespace

TEST_F(DrawScope, SoundAndCyclePositionsAreThoseOfAStreamWithoutScope) {
    const TwoBlocks with_scope = play_two_blocks();
    screen = nullptr;
    const TwoBlocks without = play_two_blocks();
    EXPECT_EQ(with_scope.after_first, without.after_first);
    EXPECT_EQ(with_scope.after_second, without.after_second);
    EXPECT_EQ(with_scope.first, without.first);
    EXPECT_EQ(with_scope.second, without.second);
}

TEST_F(DrawScope, PreviewRunsTheCarrierAtTheNoteTheBlockPlayed) {
    patch.note = 70;
    play_block();
    const auto after_block = picture();

    create_oscillators();
    patch.OSC1->Freq = 880.0f;
    clear_surface(screen);
    draw_scope();
    EXPECT_EQ(after_block, picture());

    create_oscillators(); // 440 Hz looks different
    clear_surface(screen);
    draw_scope();
    EXPECT_NE(after_block, picture());
}

class FarOffRows : public DrawScope, public ::testing::WithParamInterface<float> {};

TEST_P(FarOffRows, AreNotDrawn) {
    // The carrier's +1 and -1 levels land far outside the window, beyond the
    // 32-bit range or not a number; only its zero level on row 450 remains.
    patch.OSC1->Ampl = GetParam();
    clear_surface(screen);
    draw_scope();
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = pixel_at(screen, x, y);
            if (y == 119) {
                ASSERT_EQ(p, BLUE);
            } else if (y == 120) {
                ASSERT_EQ(p, MAGENTA);
            } else if (y != 450 || p != WHITE) {
                ASSERT_EQ(p, 0u) << "column " << x << ", row " << y;
            }
        }
}

// 85899352 puts the upper carrier point on row 2^32 + 447: kept to its low 32
// bits it would be drawn on row 447.
INSTANTIATE_TEST_SUITE_P(DrawScope, FarOffRows,
                         ::testing::Values(85899352.0f, 1e30f,
                                           std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::quiet_NaN()));

TEST_F(DrawScope, ASurfaceThatMustBeLockedStaysLockedForThePlot) {
    screen->flags |= SDL_HWSURFACE; // the dummy driver locks it without complaint
    ASSERT_TRUE(SDL_MUSTLOCK(screen));
    play_block();
    EXPECT_EQ(lock_fake.locks, 2); // the clear and the plot
    EXPECT_EQ(lock_fake.unlocks, 2);
    expect_start_up_picture(screen);
}

TEST_F(DrawScope, WhenTheSurfaceCannotBeLockedNothingIsPlotted) {
    screen->flags |= SDL_HWSURFACE;
    lock_fake.fail = true;
    const auto before = picture();
    draw_scope();
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(lock_fake.unlocks, 0);
}
