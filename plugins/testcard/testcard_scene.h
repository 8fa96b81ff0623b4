// The Testcard picture: a synthetic scene painted as a pure function of the frame size and a clock
// value, so a given moment always gives the same bytes. Background, sweater and facial features
// are in colours outside the viewer's default skin bands; the face and the hand are inside them.
#pragma once

#include <cstdint>
#include <vector>

// Positions are in top-down picture coordinates (y counted from the top), in pixels; the pixel
// at column x, row y covers [x, x + 1) x [y, y + 1).
struct SceneEllipse {
    double centerX = 0;
    double centerY = 0;
    double radiusX = 0;
    double radiusY = 0;
};

struct SceneBox {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

struct TestcardLayout {
    SceneEllipse face;         // skin-toned oval drifting slowly across the picture
    SceneBox handBox;          // encloses the hand's palm, fingers and thumb
    bool handVisible = false;  // some part of the hand lies inside the picture
};

// Where the face and hand are at the given moment. Everything scales with the smaller side.
TestcardLayout TestcardSceneLayout(std::int32_t width, std::int32_t height,
                                   std::int64_t milliseconds);

// The still part of the picture at one size (sky, side shading and grid), painted once per size
// and copied under every moment's picture. Rows bottom-up and packed, like the picture.
struct TestcardBackdrop {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

TestcardBackdrop MakeTestcardBackdrop(std::int32_t width, std::int32_t height);

// Paints the scene at the backdrop's size into pixels: width x height x 3 bytes, blue-green-red,
// rows bottom-up and packed. Nothing is painted for an empty size.
void PaintTestcardScene(std::uint8_t* pixels, const TestcardBackdrop& backdrop,
                        std::int64_t milliseconds);
