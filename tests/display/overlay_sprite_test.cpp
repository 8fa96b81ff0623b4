#include "overlay_sprite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "display_surface.h"
#include "support/test_files.h"

#ifndef _WIN32
#include "support/fifo_guard.h"
#endif

namespace {

constexpr Pixel24 KEY{0, 255, 0};
constexpr Pixel24 GREY{90, 90, 90};

// A BMP file with a 40-byte header; rows are given top to bottom as packed pixel bytes and are
// stored bottom-up unless topDown. palette holds blue, green, red, 0 per entry.
std::vector<std::uint8_t> BmpBytes(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                                   const std::vector<std::uint8_t>& palette,
                                   const std::vector<std::vector<std::uint8_t>>& rows,
                                   bool topDown) {
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
    const std::uint32_t offset = static_cast<std::uint32_t>(54 + palette.size());
    std::vector<std::uint8_t> bytes(offset + rowBytes * rows.size(), 0);
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bytes.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(topDown ? -height : height));
    bytes[26] = 1;
    bytes[28] = static_cast<std::uint8_t>(bitCount);
    std::copy(palette.begin(), palette.end(), bytes.begin() + 54);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t stored = topDown ? r : rows.size() - 1 - r;
        std::copy(rows[r].begin(), rows[r].end(), bytes.begin() + offset + stored * rowBytes);
    }
    return bytes;
}

// The 3 x 2 picture every variant below holds: the key, its two nearest neighbours, black, a
// colour, and green with a trace of blue. Pixels are blue, green, red, rows top to bottom.
const std::vector<Pixel24> VARIANT_PIXELS = {KEY,       {0, 254, 0},  {0, 255, 1},
                                             {0, 0, 0}, {30, 20, 10}, {1, 255, 0}};

std::vector<std::vector<std::uint8_t>> TrueColourRows(bool withAlpha) {
    std::vector<std::vector<std::uint8_t>> rows(2);
    for (std::size_t i = 0; i < VARIANT_PIXELS.size(); ++i) {
        std::vector<std::uint8_t>& row = rows[i / 3];
        const Pixel24 p = VARIANT_PIXELS[i];
        row.insert(row.end(), {p.blue, p.green, p.red});
        if (withAlpha) {
            row.push_back(0);
        }
    }
    return rows;
}

std::vector<std::uint8_t> VariantPalette() {
    std::vector<std::uint8_t> palette;
    for (const Pixel24& p : VARIANT_PIXELS) {
        palette.insert(palette.end(), {p.blue, p.green, p.red, 0});
    }
    return palette;
}

class OverlaySpriteLoadTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string file = dir.File(name);
        WriteFileBytes(file, bytes);
        return file;
    }

    TempDir dir;
};

TEST_F(OverlaySpriteLoadTest, EveryBmpLayoutGivesTheSameSpriteKeyedExactlyOnPureGreen) {
    const std::vector<std::string> files = {
        Write("bottom_up_24.bmp", BmpBytes(3, 2, 24, {}, TrueColourRows(false), false)),
        Write("top_down_24.bmp", BmpBytes(3, 2, 24, {}, TrueColourRows(false), true)),
        Write("rgb_32.bmp", BmpBytes(3, 2, 32, {}, TrueColourRows(true), false)),
        Write("palette_8.bmp", BmpBytes(3, 2, 8, VariantPalette(), {{0, 1, 2}, {3, 4, 5}}, false)),
        Write("palette_4.bmp",
              BmpBytes(3, 2, 4, VariantPalette(), {{0x01, 0x20}, {0x34, 0x50}}, true)),
    };
    for (const std::string& file : files) {
        OverlaySprite sprite;
        ASSERT_TRUE(LoadOverlaySprite(sprite, file, OVERLAY_KEY_COLOR)) << file;
        EXPECT_EQ(sprite.width, 3);
        EXPECT_EQ(sprite.height, 2);
        std::vector<Pixel24> expected = VARIANT_PIXELS;
        expected[0] = Pixel24{};  // the key pixel turns black
        EXPECT_EQ(sprite.pixels, expected) << file;
        EXPECT_EQ(sprite.mask, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0})) << file;
    }
}

TEST_F(OverlaySpriteLoadTest, KeyIsAWindowsColourValueWithRedInTheLowByte) {
    const std::string file =
        Write("red_key.bmp", BmpBytes(2, 1, 24, {}, {{0, 0, 255, 255, 0, 0}}, false));
    OverlaySprite sprite;
    ASSERT_TRUE(LoadOverlaySprite(sprite, file, 0x0000FF));
    EXPECT_EQ(sprite.mask, (std::vector<std::uint8_t>{1, 0}));
    ASSERT_TRUE(LoadOverlaySprite(sprite, file, 0xFF0000));
    EXPECT_EQ(sprite.mask, (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(OverlaySpriteLoadTest, BrokenOrHostileFilesFailAndLeaveTheSpriteEmpty) {
    std::vector<std::uint8_t> cutPalette =
        BmpBytes(3, 2, 8, VariantPalette(), {{0, 1, 2}, {3, 4, 5}}, false);
    cutPalette.resize(cutPalette.size() - 2);
    std::vector<std::uint8_t> tooWide = BmpBytes(3, 2, 24, {}, TrueColourRows(false), false);
    tooWide[18] = 0x01;  // width 8193: the rows would not fit
    tooWide[19] = 0x20;
    std::vector<std::string> files = {dir.File("missing.bmp"), Write("empty.bmp", {}),
                                      Write("cut_palette.bmp", cutPalette),
                                      Write("too_wide.bmp", tooWide)};
    for (const char* name : {"not_bmp.bmp", "truncated_header.bmp", "truncated_pixels.bmp",
                             "zero_width.bmp", "zero_height.bmp", "huge_dimensions.bmp",
                             "huge_pixel_count.bmp", "min_height.bmp", "huge_offset.bmp"}) {
        files.push_back(std::string(RAVK_TEST_DATA_DIR) + "/bmp/" + name);
    }
    for (const std::string& file : files) {
        OverlaySprite sprite{1, 1, {GREY}, {0}};
        EXPECT_FALSE(LoadOverlaySprite(sprite, file, OVERLAY_KEY_COLOR)) << file;
        EXPECT_EQ(sprite.width, 0) << file;
        EXPECT_TRUE(sprite.pixels.empty()) << file;
        EXPECT_TRUE(sprite.mask.empty()) << file;
    }
}

TEST(OverlayMessageTest, FailureMessageNamesTheFileAndFitsTheBuffer) {
    EXPECT_EQ(OverlayLoadFailureMessage("images\\warai0007.bmp"),
              "画像ファイル images\\warai0007.bmp が読み込めませんでした．");
    EXPECT_EQ(OverlayLoadFailureMessage(std::string(5000, 'x')).size(), 1023u);
}

// The generator's frames, copied into images/ of a scratch folder that becomes current.
class OverlaySetTest : public ::testing::Test {
  protected:
    void CopyFramesExcept(std::int32_t missing) {
        const std::filesystem::path images = dir.Path() / "images";
        std::filesystem::create_directory(images);
        for (std::int32_t i = 0; i < OVERLAY_FRAME_COUNT; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "warai%04d.bmp", static_cast<int>(i));
            if (i != missing) {
                std::filesystem::copy_file(std::filesystem::path(RAVK_BIN_DIR) / "images" / name,
                                           images / name);
            }
        }
    }

    TempDir dir;
    CurrentDirScope inDir{dir.Path()};
    OverlayTable table;
    std::string failed;
};

TEST_F(OverlaySetTest, GeneratedFramesLoadAndLoopWithoutGreenFringes) {
    CopyFramesExcept(-1);
    ASSERT_TRUE(LoadOverlaySprites(table, failed));
    EXPECT_EQ(table[0].pixels, table[68].pixels) << "frame 0 must match frame 68, the loop's end";
    for (std::int32_t i = 1; i < OVERLAY_FRAME_COUNT; ++i) {
        EXPECT_NE(table[static_cast<std::size_t>(i)].pixels,
                  table[static_cast<std::size_t>(i - 1)].pixels)
            << "frame " << i << " does not move";
    }
    for (const OverlaySprite& sprite : table) {
        const std::int32_t w = sprite.width;
        ASSERT_GT(w, 0);
        EXPECT_EQ(sprite.mask[0], 1) << "corners show the picture beneath";
        EXPECT_EQ(sprite.mask[static_cast<std::size_t>(sprite.height / 2 * w + w / 2)], 0);
        // Opaque pixels next to transparent ones must not be blended towards the key.
        for (std::int32_t r = 1; r + 1 < sprite.height; ++r) {
            for (std::int32_t x = 1; x + 1 < w; ++x) {
                const std::size_t i = static_cast<std::size_t>(r * w + x);
                const bool edge =
                    sprite.mask[i] == 0 && (sprite.mask[i - 1] || sprite.mask[i + 1] ||
                                            sprite.mask[i - static_cast<std::size_t>(w)] ||
                                            sprite.mask[i + static_cast<std::size_t>(w)]);
                const Pixel24 p = sprite.pixels[i];
                ASSERT_FALSE(edge && p.green > std::max(p.red, p.blue) + 40)
                    << "greenish edge pixel at " << x << ", " << r;
            }
        }
    }
}

TEST_F(OverlaySetTest, MissingFirstFrameIsReportedByItsName) {
    CopyFramesExcept(0);
    EXPECT_FALSE(LoadOverlaySprites(table, failed));
    EXPECT_EQ(failed, "images\\warai0000.bmp");
    EXPECT_EQ(OverlayLoadFailureMessage(failed),
              "画像ファイル images\\warai0000.bmp が読み込めませんでした．");
}

TEST_F(OverlaySetTest, MissingLastFrameIsReportedAfterTheOthersLoaded) {
    CopyFramesExcept(68);
    EXPECT_FALSE(LoadOverlaySprites(table, failed));
    EXPECT_EQ(failed, "images\\warai0068.bmp");
    EXPECT_GT(table[67].width, 0);
    EXPECT_EQ(table[68].width, 0);
}

#ifndef _WIN32
TEST_F(OverlaySetTest, FifoFrameIsReportedByItsNameWithoutWaitingForAWriter) {
    CopyFramesExcept(5);
    EXPECT_TRUE(ReturnsOnAFifo("images/warai0005.bmp",
                               [&] { EXPECT_FALSE(LoadOverlaySprites(table, failed)); }));
    EXPECT_EQ(failed, "images\\warai0005.bmp");
}
#endif

// A surface of the given size filled with GREY.
DisplaySurface GreySurface(std::int32_t width, std::int32_t height) {
    DisplaySurface surface;
    EXPECT_TRUE(CreateDisplaySurface(surface, width, height));
    for (std::int32_t r = 0; r < height; ++r) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = &surface.pixels[static_cast<std::size_t>(r * surface.stride + 3 * x)];
            p[0] = GREY.blue;
            p[1] = GREY.green;
            p[2] = GREY.red;
        }
    }
    return surface;
}

Pixel24 At(const DisplaySurface& surface, std::int32_t x, std::int32_t r) {
    const std::uint8_t* p = &surface.pixels[static_cast<std::size_t>(r * surface.stride + 3 * x)];
    return Pixel24{p[0], p[1], p[2]};
}

OverlaySprite SolidSprite(Pixel24 colour) {
    return OverlaySprite{1, 1, {colour}, {0}};
}

void Draw(const OverlaySprite& sprite, const PixelRect& dst, DisplaySurface& surface) {
    DrawOverlaySprite({0, 0, sprite.width, sprite.height}, dst, sprite, surface);
}

TEST(DrawOverlaySpriteTest, StretchesWholePixelsAndKeepsTheSurfaceUnderTransparentOnes) {
    // Top-left transparent, top-right red, bottom-left black, bottom-right blue.
    const OverlaySprite sprite{2, 2, {{}, {0, 0, 255}, {}, {255, 0, 0}}, {1, 0, 0, 0}};
    DisplaySurface surface = GreySurface(6, 6);
    Draw(sprite, {1, 1, 5, 5}, surface);
    for (std::int32_t r = 0; r < 6; ++r) {
        for (std::int32_t x = 0; x < 6; ++x) {
            Pixel24 expected = GREY;
            if (x >= 1 && x < 5 && r >= 1 && r < 5) {
                const std::size_t i = static_cast<std::size_t>((r - 1) / 2 * 2 + (x - 1) / 2);
                expected = sprite.mask[i] ? GREY : sprite.pixels[i];
            }
            EXPECT_EQ(At(surface, x, r), expected) << x << ", " << r;
        }
    }
}

TEST(DrawOverlaySpriteTest, MaskAndColourShareOneMappingAtAnyScale) {
    // Columns alternate between transparent and coloured; a mask mapped differently from the
    // colour would draw the blackened key pixels somewhere.
    OverlaySprite sprite{5, 3, std::vector<Pixel24>(15), std::vector<std::uint8_t>(15)};
    for (std::size_t i = 0; i < 15; ++i) {
        sprite.mask[i] = i % 2 == 0;
        sprite.pixels[i] = sprite.mask[i] ? Pixel24{} : Pixel24{static_cast<std::uint8_t>(i), 1, 2};
    }
    for (const PixelRect dst : {PixelRect{0, 0, 7, 4}, PixelRect{0, 0, 13, 11},
                                PixelRect{0, 0, 3, 2}, PixelRect{2, 1, 19, 9}}) {
        DisplaySurface surface = GreySurface(20, 12);
        Draw(sprite, dst, surface);
        for (std::int32_t r = 0; r < 12; ++r) {
            for (std::int32_t x = 0; x < 20; ++x) {
                EXPECT_NE(At(surface, x, r), Pixel24{}) << "black at " << x << ", " << r;
            }
        }
    }
}

TEST(DrawOverlaySpriteTest, BoxesPastEveryEdgeAreClipped) {
    const Pixel24 red{0, 0, 255};
    struct Case {
        PixelRect dst;
        PixelRect drawn;  // the part inside the 5 x 4 surface
    };
    for (const Case& c : {Case{{-3, -2, 2, 2}, {0, 0, 2, 2}}, Case{{3, 2, 9, 8}, {3, 2, 5, 4}},
                          Case{{-10, -10, 20, 20}, {0, 0, 5, 4}}, Case{{6, 0, 9, 3}, {0, 0, 0, 0}},
                          Case{{0, -5, 3, 0}, {0, 0, 0, 0}}}) {
        DisplaySurface surface = GreySurface(5, 4);  // stride 16: one byte of row padding
        Draw(SolidSprite(red), c.dst, surface);
        for (std::int32_t r = 0; r < 4; ++r) {
            for (std::int32_t x = 0; x < 5; ++x) {
                const bool inside = x >= c.drawn.left && x < c.drawn.right && r >= c.drawn.top &&
                                    r < c.drawn.bottom;
                EXPECT_EQ(At(surface, x, r), inside ? red : GREY) << x << ", " << r;
            }
            EXPECT_EQ(surface.pixels[static_cast<std::size_t>(r * 16 + 15)], 0) << "row padding";
        }
    }
}

TEST(DrawOverlaySpriteTest, EmptyDestinationsAndBadSourcesDrawNothing) {
    const OverlaySprite sprite = SolidSprite({0, 0, 255});
    const DisplaySurface untouched = GreySurface(6, 6);
    for (const PixelRect dst :
         {PixelRect{2, 2, 2, 5}, PixelRect{2, 2, 5, 2}, PixelRect{4, 4, 1, 1}}) {
        DisplaySurface surface = untouched;
        Draw(sprite, dst, surface);
        EXPECT_EQ(surface.pixels, untouched.pixels);
    }
    for (const PixelRect src :
         {PixelRect{0, 0, 2, 1}, PixelRect{-1, 0, 1, 1}, PixelRect{0, 0, 0, 1}}) {
        DisplaySurface surface = untouched;
        DrawOverlaySprite(src, {0, 0, 6, 6}, sprite, surface);
        EXPECT_EQ(surface.pixels, untouched.pixels);
    }
    DisplaySurface absent;
    Draw(sprite, {0, 0, 6, 6}, absent);
    EXPECT_TRUE(absent.pixels.empty());
}

TEST(DrawOverlaySpriteTest, EveryLevelDrawsTheSameBytes) {
    // Random colours under a random mask, so any pixel taken from the wrong column or with the
    // wrong transparency shows; the shrink factors reach groups of one pixel, the widths several
    // column chunks, and the boxes every edge of a surface with row padding.
    std::mt19937 random(25);
    OverlaySprite sprite{70, 40, std::vector<Pixel24>(2800), std::vector<std::uint8_t>(2800)};
    for (std::size_t i = 0; i < sprite.pixels.size(); ++i) {
        const auto bits = random();
        sprite.pixels[i] =
            Pixel24{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                    static_cast<std::uint8_t>(bits >> 16)};
        sprite.mask[i] = (bits >> 24) % 3 == 0;
    }
    struct Case {
        PixelRect src, dst;
    };
    for (const Case& c :
         {Case{{0, 0, 70, 40}, {3, 2, 1203, 50}}, Case{{0, 0, 70, 40}, {-5, -3, 49, 30}},
          Case{{5, 3, 69, 40}, {1, 1, 22, 9}}, Case{{0, 0, 70, 40}, {0, 0, 3, 2}},
          Case{{60, 0, 70, 40}, {-100, 20, 1301, 90}}, Case{{0, 39, 70, 40}, {7, 0, 70, 80}}}) {
        DisplaySurface portable = GreySurface(1201, 61);
        DrawOverlaySprite(c.src, c.dst, sprite, portable, SimdLevel::Scalar);
        DisplaySurface fast = GreySurface(1201, 61);
        DrawOverlaySprite(c.src, c.dst, sprite, fast, SimdLevel::Avx512Vbmi);
        EXPECT_EQ(fast.pixels, portable.pixels) << c.dst.left << ", " << c.dst.right;
    }
}

}  // namespace
