// SPDX-License-Identifier: MIT
#include "scope/draw_scope.h"

#include "lock_fake.h"
#include "scope/screen.h"
#include "scope/surface.h"
#include "synth/patch.h"
#include "synth/stream_callback.h"
#include "synth/stream_context.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

namespace {
constexpr uint32_t BLUE = 0x0000ff;
constexpr uint32_t WHITE = 0xffffff;
constexpr uint32_t MAGENTA = 0xff00ff;

SDL_Surface *screen = nullptr;

// A block of the stream, and the picture of the preview it published, drawn
// as the presenter draws it.
void play_block() {
    static NewestOfThree<Preview> previews;
    std::vector<unsigned char> block(32768);
    StreamContext context{&patch, {}, &previews};
    stream_callback(nullptr, block.data(), 32768, &context);
    draw_scope(screen, *previews.take());
}

// The picture of the patch as it stands.
void draw_patch() {
    static Preview preview;
    run_preview(patch, preview);
    draw_scope(screen, preview);
}

// The picture, row after row: the scope's surface has no bytes past a row.
std::vector<uint32_t> pixels() {
    const auto *p = static_cast<const uint32_t *>(screen->pixels);
    return {p, p + 640 * 800};
}

// Row 119 blue (four idle modulators a hair below zero, the blue one plotted
// last), row 120 the magenta axis, white only on `white_rows`, black elsewhere.
void expect_picture(const std::set<int> &white_rows) {
    const std::vector<uint32_t> picture = pixels();
    std::set<int> white;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = picture[y * 640 + x];
            if (p == WHITE)
                white.insert(y);
            else
                ASSERT_EQ(p, y == 119 ? BLUE : y == 120 ? MAGENTA : 0u) << x << ", " << y;
        }
    EXPECT_EQ(white, white_rows);
}

class DrawScope : public ::testing::Test {
  protected:
    void SetUp() override {
        // SDL's dummy driver flips a surface that is not its window as a no-op.
        static char dummy_driver[] = "SDL_VIDEODRIVER=dummy";
        SDL_putenv(dummy_driver);
        SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
        screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 800, 32, 0xff0000, 0xff00, 0xff, 0);
        std::memset(screen->pixels, 0x5A, 640 * 800 * 4); // an earlier picture
        create_oscillators();
    }
};
} // namespace

TEST_F(DrawScope, StartUpPictureIsPlottedUnderALockOfItsOwnOrNotAtAll) {
    screen->flags |= SDL_HWSURFACE; // must be locked; the dummy driver locks it without complaint
    lock_fake.fail = true;
    const auto before = pixels();
    play_block();
    EXPECT_EQ(pixels(), before) << "neither cleared nor plotted without the lock";
    EXPECT_EQ(lock_fake.unlocks, 0);

    lock_fake.fail = false;
    play_block();
    EXPECT_EQ(lock_fake.locks, 4); // the clear and the plot, twice
    EXPECT_EQ(lock_fake.unlocks, 2);
    expect_picture({70, 170, 416, 450, 483});
}

TEST_F(DrawScope, Plots12802SamplesAbout20ToAColumn) {
    // OSC2 as a ramp climbs 1.5 rows a sample between rows 10 and 100, so each
    // sample leaves a blue pixel of its own.
    for (Oscillator *o : {patch.OSC1, patch.OSC3, patch.OSC4, patch.OSC5})
        o->Ampl = 0.0f;
    patch.OSC2->waveform = ShiftedRamp;
    patch.OSC2->Ampl = 0.3f;
    patch.OSC2->Freq = 2205.0f;
    draw_patch();
    const std::vector<uint32_t> picture = pixels();
    for (int x = 0; x < 640; ++x) {
        int blue = 0;
        for (int y = 0; y < 800; ++y)
            blue += picture[y * 640 + x] == BLUE;
        const bool more = x == 1 || x == 18 || x == 301 || x == 505, fewer = x == 4 || x == 75;
        EXPECT_EQ(blue, more ? 21 : fewer ? 19 : 20) << "column " << x;
    }
}

TEST_F(DrawScope, PreviewStartsFromPositionZeroAtTheNoteTheBlockPlayed) {
    patch.note = 70;
    play_block();
    const auto after_block = pixels();
    create_oscillators();
    patch.OSC1->Freq = 880.0f;
    draw_patch();
    EXPECT_EQ(pixels(), after_block);
}

TEST_F(DrawScope, CarrierRowsAreTruncatedFromDoubleAndFarOffOnesSkipped) {
    // At 0.9999999 the upper +1 level lies on row 169.999995, which a float
    // sum would round up to 170. Beyond it the +1 and -1 levels leave the
    // 32-bit range or are not a number: 85899352 puts the upper point on row
    // 2^32 + 447, drawn if kept to its low 32 bits. Only row 450 remains.
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::set<int>> cases[] = {
        {0.9999999f, {70, 169, 416, 450, 483}},
        {85899352.0f, {450}},
        {1e30f, {450}},
        {inf, {450}},
        {std::numeric_limits<float>::quiet_NaN(), {450}}};
    for (const auto &[ampl, white_rows] : cases) {
        SCOPED_TRACE(ampl);
        patch.OSC1->Ampl = ampl;
        draw_patch();
        expect_picture(white_rows);
    }
}
