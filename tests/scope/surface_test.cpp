// SPDX-License-Identifier: MIT
#include "lock_fake.h"
#include "scope/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr int PITCH = 2600; // 40 bytes past each row's last pixel

// A surface of its own bytes, all 0xAB before any store, with a guard row
// past its last one.
struct Surface {
    std::vector<unsigned char> bytes;
    SDL_Surface *s;
    Surface(int bits, int w, int h, int pitch, uint32_t r, uint32_t g, uint32_t b)
        : bytes(static_cast<size_t>(h + 1) * pitch, 0xAB),
          s(SDL_CreateRGBSurfaceFrom(bytes.data(), w, h, bits, pitch, r, g, b, 0)) {}
    ~Surface() { SDL_FreeSurface(s); }
};
} // namespace

TEST(PlotPixel, StoresTheWordAtItsRowAndColumnOnlyOnRowsOneTo799) {
    Surface surface(32, 640, 800, PITCH, 0xff0000, 0xff00, 0xff);
    auto expected = surface.bytes;
    for (int y : {0, -1, 800, 801, INT32_MIN, INT32_MAX})
        plot_pixel(surface.s, 0, y, 0xffffff);
    EXPECT_EQ(surface.bytes, expected);

    const struct {
        int x, y;
        uint32_t colour;
    } points[] = {{0, 1, 0xff00ff}, {639, 799, 0x123456}, {17, 400, 0x00ff00}};
    for (const auto &p : points) {
        plot_pixel(surface.s, p.x, p.y, p.colour);
        std::memcpy(&expected[static_cast<size_t>(p.y) * PITCH + 4 * p.x], &p.colour, 4);
    }
    EXPECT_EQ(surface.bytes, expected);
}

TEST(ClearSurface, FillsEveryRowsPixelsWithTheMappedBlackAndLeavesThePadding) {
    // 32-bit 0x00RRGGBB, 16-bit 5-6-5, and 8-bit with black at palette index 7.
    const struct {
        int bits, w, h, pitch;
        uint32_t r, g, b;
        unsigned char black;
    } cases[] = {{32, 640, 800, PITCH, 0xff0000, 0xff00, 0xff, 0},
                 {16, 300, 200, 640, 0xf800, 0x7e0, 0x1f, 0},
                 {8, 200, 300, 256, 0, 0, 0, 7}};
    for (const auto &c : cases) {
        Surface surface(c.bits, c.w, c.h, c.pitch, c.r, c.g, c.b);
        SDL_Color palette[8];
        std::fill(palette, palette + 8, SDL_Color{255, 255, 255, 0});
        palette[7] = SDL_Color{0, 0, 0, 0};
        SDL_SetColors(surface.s, palette, 0, 8); // only the 8-bit surface has a palette
        clear_surface(surface.s);
        for (int y = 0; y <= c.h; ++y) // the guard row too
            for (int i = 0; i < c.pitch; ++i)
                ASSERT_EQ(surface.bytes[static_cast<size_t>(y) * c.pitch + i],
                          y < c.h && i < c.w * c.bits / 8 ? c.black : 0xAB)
                    << c.bits << " bits, row " << y << ", byte " << i;
    }
    EXPECT_EQ(lock_fake.locks, 3);
    EXPECT_EQ(lock_fake.unlocks, 3);
}
