#include "emblem.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

struct Rgb {
    double red = 0;
    double green = 0;
    double blue = 0;
};

constexpr Rgb Hex(std::uint32_t rgb) {
    return Rgb{static_cast<double>(rgb >> 16 & 0xFF), static_cast<double>(rgb >> 8 & 0xFF),
               static_cast<double>(rgb & 0xFF)};
}

constexpr Rgb INK = Hex(0x1D1B36);
constexpr Rgb PETAL_LIT = Hex(0xFFC53D);
constexpr Rgb PETAL_SHADE = Hex(0xF39A1E);
constexpr Rgb BAND = Hex(0x1B9E94);
constexpr Rgb DOT = Hex(0xFFF4DA);
constexpr Rgb CENTRE = Hex(0xFFF4DA);
constexpr Rgb STAR = Hex(0xFF5E57);

constexpr double PI = std::numbers::pi;

// Shapes in badge units: the badge spans -1 .. 1 on both axes.
constexpr double OUTLINE = 0.065;
constexpr int PETAL_COUNT = 12;
constexpr double PETAL_ORBIT = 0.74;
constexpr double PETAL_RADIUS = 0.235;
constexpr double DISC_RADIUS = 0.70;
constexpr double DISC_RIM = 0.63;  // the ink rim of the disc lies between this and DISC_RADIUS
constexpr double BAND_INNER = 0.44;
constexpr double CENTRE_RADIUS = 0.40;
constexpr int DOT_COUNT = 8;
constexpr double DOT_ORBIT = 0.535;
constexpr double DOT_RADIUS = 0.052;
constexpr double STAR_RADIUS = 0.29;
constexpr double STAR_OUTLINE = 0.06;

struct Vec {
    double x = 0;
    double y = 0;
};

// count evenly spaced spokes, the first at angle start. Points are turned so that a chosen spoke
// lies on the positive x axis; the turns are worked out once per frame, not per sample.
class Spokes {
  public:
    Spokes(int count, double start) : count_(count), start_(start) {
        for (int i = 0; i < count; ++i) {
            const double angle = start + 2 * PI * i / count;
            turns_[i] = Vec{std::cos(angle), std::sin(angle)};
        }
    }

    // The spoke at or just before angle, counted in the direction of increasing angle.
    long Before(double angle) const {
        return static_cast<long>(std::floor((angle - start_) * count_ / (2 * PI)));
    }

    Vec Local(Vec p, long spoke) const {
        const Vec turn = turns_[static_cast<std::size_t>(((spoke % count_) + count_) % count_)];
        return Vec{p.x * turn.x + p.y * turn.y, p.y * turn.x - p.x * turn.y};
    }

  private:
    static constexpr int MAX_SPOKES = 16;
    int count_;
    double start_;
    Vec turns_[MAX_SPOKES];
};

// Where the moving parts stand in one frame; phase runs 0 .. 1 over one loop.
struct Pose {
    explicit Pose(double phase)
        // The star breathes once per loop, the dots orbit one dot spacing against the petals,
        // and the petals turn by one petal spacing, so the loop closes without a jump.
        : starSize(STAR_RADIUS * (1.0 + 0.08 * std::sin(2 * PI * phase))),
          dots(DOT_COUNT, -phase * 2 * PI / DOT_COUNT),
          petals(PETAL_COUNT, phase * 2 * PI / PETAL_COUNT) {}

    double starSize;
    Spokes dots;
    Spokes petals;
};

// A round petal, outlined in ink, split into a lit and a shaded half along its spoke.
bool SamplePetal(Vec local, Rgb& colour) {
    const double distance = std::hypot(local.x - PETAL_ORBIT, local.y) - PETAL_RADIUS;
    if (distance >= 0) {
        return false;
    }
    colour = distance > -OUTLINE ? INK : local.y >= 0 ? PETAL_LIT : PETAL_SHADE;
    return true;
}

// The colour at badge point p, or false outside the badge.
bool SampleBadge(Vec p, const Pose& pose, Rgb& colour) {
    const double radius = std::hypot(p.x, p.y);
    if (radius < CENTRE_RADIUS) {
        const double starNorm =
            std::pow(std::pow(std::abs(p.x), 0.6) + std::pow(std::abs(p.y), 0.6), 1 / 0.6);
        colour = starNorm < pose.starSize                  ? STAR
                 : starNorm < pose.starSize + STAR_OUTLINE ? INK
                                                           : CENTRE;
        return true;
    }
    if (radius < BAND_INNER) {
        colour = INK;
        return true;
    }
    const double angle = std::atan2(p.y, p.x);
    if (radius < DISC_RIM) {
        const long before = pose.dots.Before(angle);
        bool onDot = false;
        for (const long spoke : {before, before + 1}) {
            const Vec local = pose.dots.Local(p, spoke);
            onDot = onDot || std::hypot(local.x - DOT_ORBIT, local.y) < DOT_RADIUS;
        }
        colour = onDot ? DOT : BAND;
        return true;
    }
    if (radius < DISC_RADIUS) {
        colour = INK;
        return true;
    }
    // Every petal overlaps the one before it, all the way round, like scales.
    const long before = pose.petals.Before(angle);
    return SamplePetal(pose.petals.Local(p, before + 1), colour) ||
           SamplePetal(pose.petals.Local(p, before), colour);
}

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// How the badge covers one pixel of a size x size picture (row 0 at the top): the mean colour of
// the pixel's grid x grid samples that fall inside the badge, and how many do.
struct Coverage {
    Rgb mean;
    int inside = 0;
};

Coverage CoverPixel(std::int32_t column, std::int32_t row, std::int32_t size, int grid,
                    const Pose& pose) {
    Rgb sum;
    int inside = 0;
    for (int sy = 0; sy < grid; ++sy) {
        for (int sx = 0; sx < grid; ++sx) {
            const Vec p{((column + (sx + 0.5) / grid) / size) * 2 - 1,
                        ((row + (sy + 0.5) / grid) / size) * 2 - 1};
            Rgb colour;
            if (SampleBadge(p, pose, colour)) {
                sum = Rgb{sum.red + colour.red, sum.green + colour.green, sum.blue + colour.blue};
                ++inside;
            }
        }
    }
    if (inside == 0) {
        return {};
    }
    return {Rgb{sum.red / inside, sum.green / inside, sum.blue / inside}, inside};
}

}  // namespace

FrameImage DrawEmblemFrame(std::int32_t size, std::int32_t frame) {
    // A pixel mostly outside the badge is key green; one mostly inside takes only its inside
    // samples, so no edge is ever blended with the key.
    constexpr int GRID = 3;
    constexpr Pixel24 KEY{0, 255, 0};
    const Pose pose(static_cast<double>(frame % EMBLEM_LOOP_FRAMES) / EMBLEM_LOOP_FRAMES);
    FrameImage image = MakeFrameImage(size, size);
    for (std::int32_t row = 0; row < size; ++row) {
        for (std::int32_t column = 0; column < size; ++column) {
            const Coverage cover = CoverPixel(column, row, size, GRID, pose);
            // Rows are stored bottom-up: row 0 here is the bottom of the picture.
            Pixel24& out = image.pixels[static_cast<std::size_t>(size - 1 - row) * size + column];
            if (2 * cover.inside < GRID * GRID) {
                out = KEY;
            } else {
                out = Pixel24{ToByte(cover.mean.blue), ToByte(cover.mean.green),
                              ToByte(cover.mean.red)};
                if (out == KEY) {
                    out.green = 254;
                }
            }
        }
    }
    return image;
}

std::vector<std::uint8_t> DrawEmblemIcon(std::int32_t size, int grid) {
    const Pose pose(0);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(size) * size * 4);
    for (std::int32_t row = 0; row < size; ++row) {
        for (std::int32_t column = 0; column < size; ++column) {
            const Coverage cover = CoverPixel(column, row, size, grid, pose);
            std::uint8_t* out = &rgba[(static_cast<std::size_t>(row) * size + column) * 4];
            out[0] = ToByte(cover.mean.red);
            out[1] = ToByte(cover.mean.green);
            out[2] = ToByte(cover.mean.blue);
            out[3] = ToByte(255.0 * cover.inside / (grid * grid));
        }
    }
    return rgba;
}
