/*
 * test_plugin_fixed_scene's still picture, in C so the plug-in and an in-process fake source of
 * the C++ tests serve the same bytes. Whole numbers only, the same on every platform: a blue wall
 * and a skin-coloured oval with a smaller skin square beside it, rows bottom-up (contract layout).
 */
#ifndef FIXED_SCENE_PICTURE_H
#define FIXED_SCENE_PICTURE_H

#include <stddef.h>
#include <stdint.h>

static inline void PaintFixedScene(uint8_t* pixels, int32_t width, int32_t height) {
    for (int32_t y = 0; y < height; ++y) {
        const int32_t top = height - 1 - y;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = pixels + ((size_t)y * (size_t)width + (size_t)x) * 3;
            const int64_t dx = 2 * (int64_t)x - width;
            const int64_t dy = 2 * (int64_t)top - height;
            const int inOval = dx * dx * 9 + dy * dy * 4 <= (int64_t)width * width;
            const int inSquare =
                x >= width / 8 && x < width / 4 && top >= height / 8 && top < height / 4;
            p[0] = (uint8_t)(inOval || inSquare ? 120 : 150 + top % 40);
            p[1] = (uint8_t)(inOval || inSquare ? 150 : 90 + x % 30);
            p[2] = (uint8_t)(inOval || inSquare ? 200 : 40);
        }
    }
}

#endif /* FIXED_SCENE_PICTURE_H */
