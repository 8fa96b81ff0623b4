// The "&intercepter" animation: 69 pictures with a transparency key, stretched over each region.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display_surface.h"
#include "frame_image.h"
#include "geometry.h"
#include "simd_level.h"

inline constexpr std::int32_t OVERLAY_FRAME_COUNT = 69;
// Windows colour value 0x00BBGGRR: red 0, green 255, blue 0.
inline constexpr std::uint32_t OVERLAY_KEY_COLOR = 0x00FF00;
// The pictures' folder, relative to the current folder, and their names in it; the backslash is
// read as a separator on every system.
inline constexpr const char* OVERLAY_FOLDER = "images";
inline constexpr const char* OVERLAY_FILE_FORMAT = "\\warai%04d.bmp";
// The message shown when a frame file cannot be loaded, with the file name as formatted above.
inline constexpr const char* OVERLAY_LOAD_FAILURE_FORMAT =
    "画像ファイル %s が読み込めませんでした．";

// One overlay picture, rows top-down: pixel (x, r) is pixels[r * width + x] and mask[r * width +
// x]. mask is 1 exactly where the file's pixel was the key colour; those pixels are black in
// pixels. An unloaded sprite has width = height = 0 and draws nothing.
struct OverlaySprite {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel24> pixels;
    std::vector<std::uint8_t> mask;
};

using OverlayTable = std::array<OverlaySprite, OVERLAY_FRAME_COUNT>;

// Loads fileName (every layout ReadBmpFile reads; only a regular file) into sprite; keyColor is a
// Windows colour value whose pixels become transparent, with no tolerance. On failure returns false
// and leaves sprite empty.
bool LoadOverlaySprite(OverlaySprite& sprite, const std::string& fileName, std::uint32_t keyColor);

// Loads frames 0 .. 68, named folder + OVERLAY_FILE_FORMAT, into table, keyed on
// OVERLAY_KEY_COLOR. Stops at the first file that does not load, puts its name (as formatted,
// backslash included) into failedFileName and returns false; the frames before it stay loaded.
bool LoadOverlaySprites(OverlayTable& table, std::string& failedFileName,
                        const std::string& folder = OVERLAY_FOLDER);

// The user's message for a frame file that did not load.
std::string OverlayLoadFailureMessage(const std::string& failedFileName);

// Stretches the sprite's src rectangle over dst on the surface, nearest neighbour, one mapping for
// mask and colour: transparent pixels keep what the surface held, all others (black included)
// take the sprite's colour. dst may reach past the surface's edges and is clipped. Draws nothing
// when dst is empty or src is empty or not inside the sprite.
void DrawOverlaySprite(const PixelRect& src, const PixelRect& dst, const OverlaySprite& sprite,
                       DisplaySurface& surface);
// The same with the kernel of a level (the portable one where the processor lacks it); every level
// draws the same bytes.
void DrawOverlaySprite(const PixelRect& src, const PixelRect& dst, const OverlaySprite& sprite,
                       DisplaySurface& surface, SimdLevel level);
