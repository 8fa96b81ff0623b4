#include "testcard_scene.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "frame_rows.h"

namespace {

struct Rgb {
    double red = 0;
    double green = 0;
    double blue = 0;
};

// Background, grid and sweater are blue and teal (hue 180 to 215); hair, brows, eyes and mouth are
// greys below 15% saturation or blue. Face, cheeks and hand keep hue 10 to 23 and saturation near
// 40% under every shading factor used below (0.75 to 1.1).
constexpr Rgb SKY_TOP{58, 104, 150};
constexpr Rgb SKY_BOTTOM{26, 54, 88};
constexpr Rgb GRID{88, 128, 170};
constexpr Rgb SWEATER{34, 96, 98};
constexpr Rgb SKIN{200, 150, 120};
constexpr Rgb CHEEK{214, 138, 122};
constexpr Rgb HAND_SKIN{206, 156, 124};
constexpr Rgb HAIR{54, 50, 56};
constexpr Rgb BROW{72, 66, 70};
constexpr Rgb EYE_WHITE{236, 236, 240};
constexpr Rgb IRIS{52, 74, 104};
constexpr Rgb PUPIL{18, 18, 22};
constexpr Rgb MOUTH{96, 86, 90};

constexpr double TWO_PI = 2 * std::numbers::pi;
constexpr double FACE_PERIOD_S = 24;  // one drift across and back
constexpr double BOB_PERIOD_S = 9;
constexpr double HAND_CYCLE_S = 11;  // the hand shows during part of every cycle
constexpr double HAND_SHOWN_FROM = 0.45;
constexpr double HAND_SHOWN_FOR = 0.45;
constexpr double BLINK_PERIOD_S = 4.3;
constexpr double BLINK_S = 0.16;

Rgb Scale(Rgb c, double f) {
    return {c.red * f, c.green * f, c.blue * f};
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t,
            a.blue + (b.blue - a.blue) * t};
}

// Rounded, then clamped as an integer, which compiles to no branch.
std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value + 0.5), 0, 255));
}

double Squared(double v) {
    return v * v;
}

struct Canvas {
    std::uint8_t* pixels;
    std::int32_t width;
    std::int32_t height;
};

// Row y counts from the top; storage is bottom-up.
std::uint8_t* RowAt(const Canvas& canvas, std::int32_t y) {
    return canvas.pixels +
           static_cast<std::size_t>(canvas.height - 1 - y) * PackedRowBytes(canvas.width);
}

// Inline: it runs for every painted pixel.
inline void Store(std::uint8_t* p, const Rgb& color) {
    p[0] = ToByte(color.blue);
    p[1] = ToByte(color.green);
    p[2] = ToByte(color.red);
}

// Repeats the pixel at p over count pixels, doubling the copied run each time.
void FillRun(std::uint8_t* p, std::size_t count) {
    for (std::size_t done = 1; done < count;) {
        const std::size_t n = std::min(done, count - done);
        std::memcpy(p + 3 * done, p, 3 * n);
        done += n;
    }
}

// The columns left .. right - 1 of one row; empty when left >= right.
struct Span {
    std::int32_t left = 0;
    std::int32_t right = 0;
};

// The pixels of row y whose centres lie inside e, solved from the ellipse's equation.
Span EllipseSpan(const SceneEllipse& e, std::int32_t y, std::int32_t width) {
    if (e.radiusX <= 0 || e.radiusY <= 0) {
        return {};
    }
    const double dy = (y + 0.5 - e.centerY) / e.radiusY;
    if (dy * dy > 1) {
        return {};
    }
    const double half = e.radiusX * std::sqrt(1 - dy * dy);
    const double left = std::max(0.0, std::ceil(e.centerX - half - 0.5));
    const double right = std::min<double>(width, std::floor(e.centerX + half - 0.5) + 1);
    return left < right ? Span{static_cast<std::int32_t>(left), static_cast<std::int32_t>(right)}
                        : Span{};
}

// Calls paintSpan(row, y, span) for every row of the canvas where e has pixels.
template <typename PaintSpan>
void ForEachSpan(const Canvas& canvas, const SceneEllipse& e, PaintSpan paintSpan) {
    const double top = std::max(0.0, std::floor(e.centerY - e.radiusY));
    const double bottom = std::min(canvas.height - 1.0, std::ceil(e.centerY + e.radiusY));
    for (auto y = static_cast<std::int32_t>(top); y <= bottom; ++y) {
        const Span span = EllipseSpan(e, y, canvas.width);
        if (span.left < span.right) {
            paintSpan(RowAt(canvas, y), y, span);
        }
    }
}

// Paints every pixel whose centre lies inside e with colorAt(centreX, centreY).
template <typename ColorAt>
void FillEllipse(const Canvas& canvas, const SceneEllipse& e, ColorAt colorAt) {
    ForEachSpan(canvas, e, [&](std::uint8_t* row, std::int32_t y, Span span) {
        for (std::int32_t x = span.left; x < span.right; ++x) {
            Store(row + 3 * static_cast<std::size_t>(x), colorAt(x + 0.5, y + 0.5));
        }
    });
}

// The same for a colour that changes from row to row only: one colour per row, repeated.
template <typename ColorAtY>
void FillEllipseByRow(const Canvas& canvas, const SceneEllipse& e, ColorAtY colorAt) {
    ForEachSpan(canvas, e, [&](std::uint8_t* row, std::int32_t y, Span span) {
        std::uint8_t* first = row + 3 * static_cast<std::size_t>(span.left);
        Store(first, colorAt(y + 0.5));
        FillRun(first, static_cast<std::size_t>(span.right - span.left));
    });
}

// The same for a colour that changes from column to column only. The row nearest the centre is
// the widest and holds every other row's columns, so it alone is painted pixel by pixel and the
// other rows copy their spans from it.
template <typename ColorAtX>
void FillEllipseByColumn(const Canvas& canvas, const SceneEllipse& e, ColorAtX colorAt) {
    const auto widestY =
        static_cast<std::int32_t>(std::clamp(std::floor(e.centerY), 0.0, canvas.height - 1.0));
    const Span widest = EllipseSpan(e, widestY, canvas.width);
    std::uint8_t* const source = RowAt(canvas, widestY);
    for (std::int32_t x = widest.left; x < widest.right; ++x) {
        Store(source + 3 * static_cast<std::size_t>(x), colorAt(x + 0.5));
    }
    ForEachSpan(canvas, e, [&](std::uint8_t* row, std::int32_t, Span span) {
        if (row != source) {
            const std::size_t from = 3 * static_cast<std::size_t>(span.left);
            std::memcpy(row + from, source + from,
                        3 * static_cast<std::size_t>(span.right - span.left));
        }
    });
}

// Everything that moves, for one moment.
struct Scene {
    double unit = 0;  // the smaller side; every size is a fraction of it
    SceneEllipse face;
    SceneEllipse palm;
    SceneEllipse thumb;
    SceneEllipse fingers[4];
    double eyeOpen = 1;  // 1 open, small while blinking
    double look = 0;     // sideways offset of the irises
};

Scene SceneAt(std::int32_t width, std::int32_t height, std::int64_t milliseconds) {
    const double w = width;
    const double h = height;
    const double u = std::min(w, h);
    const double t = static_cast<double>(milliseconds) / 1000.0;
    Scene s;
    s.unit = u;

    const double faceRadiusX = 0.15 * u;
    const double drift = 0.8 * (w / 2 - faceRadiusX - 0.05 * u);
    s.face = {w / 2 + drift * std::sin(TWO_PI * t / FACE_PERIOD_S),
              0.42 * h + 0.03 * u * std::sin(TWO_PI * t / BOB_PERIOD_S), faceRadiusX, 0.2 * u};

    // The hand rises from below the bottom edge, rests low in the picture (always clear of the
    // face) and sinks again, at a different place every cycle.
    const double cycles = t / HAND_CYCLE_S;
    const double cycle = std::floor(cycles);
    const double shown = (cycles - cycle - HAND_SHOWN_FROM) / HAND_SHOWN_FOR;
    const double lift = shown > 0 && shown < 1 ? std::sin(std::numbers::pi * shown) : 0;
    const double hidden = h + 0.16 * u;
    const double rest = 0.42 * h + 0.43 * u;
    const double place = 0.618034 * cycle + 0.3;
    const double palmX =
        w * (0.2 + 0.6 * (place - std::floor(place))) + 0.02 * u * std::sin(TWO_PI * t / 1.1);
    const double palmY = hidden - lift * (hidden - rest);
    s.palm = {palmX, palmY, 0.065 * u, 0.08 * u};
    s.thumb = {palmX - 0.064 * u, palmY + 0.005 * u, 0.018 * u, 0.035 * u};
    for (int i = 0; i < 4; ++i) {
        s.fingers[i] = {palmX + (i - 1.5) * 0.03 * u, palmY - 0.089 * u, 0.013 * u, 0.04 * u};
    }

    const double blinkPhase = t - BLINK_PERIOD_S * std::floor(t / BLINK_PERIOD_S);
    s.eyeOpen = blinkPhase > BLINK_PERIOD_S - BLINK_S ? 0.12 : 1;
    s.look = 0.012 * u * std::sin(TWO_PI * t / 6);
    return s;
}

void PaintPerson(const Canvas& canvas, const Scene& s) {
    const SceneEllipse& f = s.face;
    const double u = s.unit;

    const SceneEllipse body{f.centerX, f.centerY + f.radiusY + 0.42 * u, 0.4 * u, 0.36 * u};
    FillEllipseByColumn(canvas, body, [&](double x) {
        return Scale(SWEATER, 1 - 0.15 * Squared((x - body.centerX) / body.radiusX));
    });
    FillEllipseByRow(canvas, {f.centerX, f.centerY + f.radiusY + 0.04 * u, 0.085 * u, 0.07 * u},
                     [](double) { return Scale(SWEATER, 0.88); });
    // Behind the face, so the hair frames it without cutting into the skin region.
    const SceneEllipse hair{f.centerX, f.centerY - 0.04 * u, 0.17 * u, 0.215 * u};
    FillEllipseByRow(canvas, hair, [&](double y) {
        return Scale(HAIR, 1.1 - 0.3 * (y - hair.centerY + hair.radiusY) / (2 * hair.radiusY));
    });

    // Rounded shading lit from the upper left, with rosy cheeks. The cheeks lie apart, so at most
    // one tints a pixel: the one on the pixel's side.
    const double invRadiusX = 1 / f.radiusX;
    const double invRadiusY = 1 / f.radiusY;
    const double invCheek2 = 1 / Squared(0.035 * u);
    const auto skinAt = [&](double x, double y) {
        const double nx = (x - f.centerX) * invRadiusX;
        const double ny = (y - f.centerY) * invRadiusY;
        const double cheek = 1 - (Squared(std::abs(x - f.centerX) - 0.085 * u) +
                                  Squared(y - f.centerY - 0.045 * u)) *
                                     invCheek2;
        return Scale(Mix(SKIN, CHEEK, 0.45 * std::max(0.0, cheek)),
                     1.04 - 0.2 * (nx * nx + ny * ny) - 0.05 * (0.6 * nx + 0.8 * ny));
    };
    FillEllipse(canvas, f, skinAt);
    FillEllipse(canvas, {f.centerX, f.centerY + 0.02 * u, 0.016 * u, 0.04 * u},
                [&](double x, double y) { return Scale(skinAt(x, y), 0.93); });

    for (const double side : {-1.0, 1.0}) {
        const double eyeX = f.centerX + side * 0.065 * u;
        const double eyeY = f.centerY - 0.04 * u;
        FillEllipseByRow(canvas, {eyeX, eyeY - 0.045 * u, 0.045 * u, 0.01 * u},
                         [](double) { return BROW; });
        const double irisX = eyeX + s.look;
        FillEllipse(canvas, {eyeX, eyeY, 0.042 * u, 0.021 * u * s.eyeOpen},
                    [&](double x, double y) {
                        const double d2 = Squared(x - irisX) + Squared(y - eyeY);
                        return d2 <= Squared(0.008 * u)   ? PUPIL
                               : d2 <= Squared(0.017 * u) ? IRIS
                                                          : EYE_WHITE;
                    });
    }

    // A smile: the mouth ellipse minus a slightly wider one above it.
    const SceneEllipse mouth{f.centerX, f.centerY + 0.1 * u, 0.06 * u, 0.022 * u};
    FillEllipse(canvas, mouth, [&](double x, double y) {
        const bool above = Squared((x - mouth.centerX) / (1.1 * mouth.radiusX)) +
                               Squared((y - mouth.centerY + 0.6 * mouth.radiusY) / mouth.radiusY) <=
                           1;
        return above ? skinAt(x, y) : MOUTH;
    });
}

void PaintHand(const Canvas& canvas, const Scene& s) {
    const auto handAt = [&](double x) {
        return Scale(HAND_SKIN, 1.04 - 0.14 * Squared((x - s.palm.centerX) / s.palm.radiusX));
    };
    for (const SceneEllipse& finger : s.fingers) {
        FillEllipseByColumn(canvas, finger, handAt);
    }
    FillEllipseByColumn(canvas, s.thumb, handAt);
    FillEllipseByColumn(canvas, s.palm, handAt);
}

}  // namespace

TestcardLayout TestcardSceneLayout(std::int32_t width, std::int32_t height,
                                   std::int64_t milliseconds) {
    const Scene s = SceneAt(width, height, milliseconds);
    TestcardLayout layout;
    layout.face = s.face;
    // The thumb sticks out on the left, the fingers on top; the palm is the widest part.
    layout.handBox = {s.thumb.centerX - s.thumb.radiusX,
                      s.fingers[0].centerY - s.fingers[0].radiusY, s.palm.centerX + s.palm.radiusX,
                      s.palm.centerY + s.palm.radiusY};
    layout.handVisible = layout.handBox.top < height;
    return layout;
}

TestcardBackdrop MakeTestcardBackdrop(std::int32_t width, std::int32_t height) {
    TestcardBackdrop backdrop;
    if (width <= 0 || height <= 0) {
        return backdrop;
    }
    backdrop.width = width;
    backdrop.height = height;
    backdrop.pixels.resize(PackedRowBytes(width) * static_cast<std::size_t>(height));
    const Canvas canvas{backdrop.pixels.data(), width, height};
    const double unit = std::min(width, height);
    const auto gridStep = std::max<std::int32_t>(4, static_cast<std::int32_t>(unit / 8));
    const auto gridLine = std::max<std::int32_t>(1, static_cast<std::int32_t>(unit / 240));
    const double sideStep = 2.0 / width;
    for (std::int32_t y = 0; y < height; ++y) {
        const Rgb sky = Mix(SKY_TOP, SKY_BOTTOM, (y + 0.5) / height);
        std::uint8_t* row = RowAt(canvas, y);
        for (std::int32_t x = 0; x < width; ++x) {
            const double side = (x + 0.5) * sideStep - 1;
            const bool grid = y % gridStep < gridLine || x % gridStep < gridLine;
            Store(row + 3 * static_cast<std::size_t>(x),
                  grid ? GRID : Scale(sky, 1 - 0.12 * side * side));
        }
    }
    return backdrop;
}

void PaintTestcardScene(std::uint8_t* pixels, const TestcardBackdrop& backdrop,
                        std::int64_t milliseconds) {
    if (backdrop.width <= 0 || backdrop.height <= 0) {
        return;
    }
    const std::size_t rowBytes = PackedRowBytes(backdrop.width);
    CopyRows(pixels, rowBytes, backdrop.pixels.data(), rowBytes, rowBytes,
             static_cast<std::size_t>(backdrop.height), RowOrder::Same);
    const Canvas canvas{pixels, backdrop.width, backdrop.height};
    const Scene scene = SceneAt(backdrop.width, backdrop.height, milliseconds);
    PaintPerson(canvas, scene);
    PaintHand(canvas, scene);
}
