// SPDX-License-Identifier: MIT
#include "scope/surface.h"

#include <cstddef>
#include <cstring>

void clear_surface(SDL_Surface *surface) {
    if (SDL_LockSurface(surface) != 0)
        return;
    const auto black = static_cast<unsigned char>(SDL_MapRGB(surface->format, 0, 0, 0));
    const auto row_bytes = static_cast<std::size_t>(surface->format->BytesPerPixel) * surface->w;
    auto *row = static_cast<unsigned char *>(surface->pixels);
    // The bytes between a row's last pixel and the next row are not ours.
    for (int y = 0; y < surface->h; ++y, row += surface->pitch)
        std::memset(row, black, row_bytes);
    SDL_UnlockSurface(surface);
}
