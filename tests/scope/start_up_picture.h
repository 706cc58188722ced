#pragma once

#include "scope_surface.h"

#include <gtest/gtest.h>

#include <set>

// The picture of the start-up patch: the four silent modulators lie one row
// above the axis (sin of 6.2831853 is a little below zero), and the blue one
// is plotted last; the axis is magenta; the three-level carrier shows at
// +1, 0 and -1 around rows 120 and 450. Nothing else.
inline void expect_start_up_picture(const SDL_Surface *s) {
    std::set<int> white_rows;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = pixel_at(s, x, y);
            if (y == 119) {
                ASSERT_EQ(p, 0x0000ffu) << "column " << x;
            } else if (y == 120) {
                ASSERT_EQ(p, 0xff00ffu) << "column " << x;
            } else if (p == 0xffffffu) {
                white_rows.insert(y);
            } else {
                ASSERT_EQ(p, 0u) << "column " << x << ", row " << y;
            }
        }
    EXPECT_EQ(white_rows, (std::set<int>{70, 170, 416, 450, 483}));
}
