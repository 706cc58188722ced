#include "lock_fake.h"
#include "scope_surface.h"
#include "surface.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Rows 2600 bytes apart: 40 bytes past each row's last pixel, marked 0xAB.
constexpr int PITCH = 2600;

struct PaddedSurface {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(800 * PITCH, 0xAB);
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceFrom(bytes.data(), 640, 800, 32, PITCH, 0xff0000, 0xff00, 0xff, 0);
    ~PaddedSurface() { SDL_FreeSurface(surface); }
};

size_t word_offset(int x, int y) {
    return static_cast<size_t>(y) * PITCH + 4 * x;
}
} // namespace

TEST(PlotPixel, RowsOutsideOneTo799AreSkipped) {
    PaddedSurface s;
    const auto before = s.bytes;
    for (int y : {0, -1, 800, 801, -800, INT32_MIN, INT32_MAX})
        plot_pixel(s.surface, 0, y, 0xffffff);
    EXPECT_EQ(s.bytes, before);
}

TEST(PlotPixel, StoresTheColourWordAtItsRowAndColumn) {
    PaddedSurface s;
    auto expected = s.bytes;
    const struct {
        int x, y;
        uint32_t colour;
    } points[] = {{0, 1, 0xff00ff}, {639, 799, 0x123456}, {17, 400, 0x00ff00}};
    for (const auto &p : points) {
        plot_pixel(s.surface, p.x, p.y, p.colour);
        for (int b = 0; b < 4; ++b) // little-endian words
            expected[word_offset(p.x, p.y) + b] = static_cast<unsigned char>(p.colour >> (8 * b));
    }
    EXPECT_EQ(s.bytes, expected);
    EXPECT_EQ(pixel_at(s.surface, 0, 1), 0x00ff00ffu);
    EXPECT_EQ(pixel_at(s.surface, 639, 799), 0x00123456u);
}

TEST(ClearSurface, BlackensEveryPixelAndLeavesTheBytesPastEachRow) {
    PaddedSurface s;
    clear_surface(s.surface);
    for (int y = 0; y < 800; ++y)
        for (int i = 0; i < PITCH; ++i)
            ASSERT_EQ(s.bytes[static_cast<size_t>(y) * PITCH + i], i < 2560 ? 0x00 : 0xAB)
                << "row " << y << ", byte " << i;
    EXPECT_EQ(lock_fake.locks, 1);
    EXPECT_EQ(lock_fake.unlocks, 1);
}

TEST(ClearSurface, FillsWithTheSurfacesOwnBlackForItsWidthInBytes) {
    // An 8-bit surface whose palette has black at index 7: each of the 300
    // rows gets 200 bytes of 7 and keeps its padding.
    std::vector<unsigned char> bytes(300 * 256, 0xAB);
    SDL_Surface *s = SDL_CreateRGBSurfaceFrom(bytes.data(), 200, 300, 8, 256, 0, 0, 0, 0);
    SDL_Color colours[8];
    for (auto &c : colours)
        c = SDL_Color{255, 255, 255, 0};
    colours[7] = SDL_Color{0, 0, 0, 0};
    SDL_SetColors(s, colours, 0, 8);
    clear_surface(s);
    for (int y = 0; y < 300; ++y)
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(bytes[static_cast<size_t>(y) * 256 + i], i < 200 ? 7 : 0xAB);
    SDL_FreeSurface(s);
}

TEST(ClearSurface, FailedLockChangesNothingAndDoesNotUnlock) {
    PaddedSurface s;
    const auto before = s.bytes;
    lock_fake.fail = true;
    clear_surface(s.surface);
    EXPECT_EQ(s.bytes, before);
    EXPECT_EQ(lock_fake.locks, 1);
    EXPECT_EQ(lock_fake.unlocks, 0);
}
