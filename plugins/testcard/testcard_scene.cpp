#include "testcard_scene.h"

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

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0) + 0.5);
}

struct Canvas {
    std::uint8_t* pixels;
    std::int32_t width;
    std::int32_t height;
};

// Row y counts from the top; storage is bottom-up.
void Put(const Canvas& canvas, std::int32_t x, std::int32_t y, Rgb color) {
    std::uint8_t* p = canvas.pixels + (static_cast<std::size_t>(canvas.height - 1 - y) *
                                           static_cast<std::size_t>(canvas.width) +
                                       static_cast<std::size_t>(x)) *
                                          3;
    p[0] = ToByte(color.blue);
    p[1] = ToByte(color.green);
    p[2] = ToByte(color.red);
}

// Paints every pixel whose centre lies inside e with colorAt(centreX, centreY).
template <typename ColorAt>
void FillEllipse(const Canvas& canvas, const SceneEllipse& e, ColorAt colorAt) {
    if (e.radiusX <= 0 || e.radiusY <= 0) {
        return;
    }
    const double top = std::max(0.0, std::floor(e.centerY - e.radiusY));
    const double bottom = std::min(canvas.height - 1.0, std::ceil(e.centerY + e.radiusY));
    for (auto y = static_cast<std::int32_t>(top); y <= bottom; ++y) {
        const double dy = (y + 0.5 - e.centerY) / e.radiusY;
        if (dy * dy > 1) {
            continue;
        }
        const double half = e.radiusX * std::sqrt(1 - dy * dy);
        const double left = std::max(0.0, std::ceil(e.centerX - half - 0.5));
        const double right = std::min(canvas.width - 1.0, std::floor(e.centerX + half - 0.5));
        for (auto x = static_cast<std::int32_t>(left); x <= right; ++x) {
            Put(canvas, x, y, colorAt(x + 0.5, y + 0.5));
        }
    }
}

double Squared(double v) {
    return v * v;
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

void PaintBackground(const Canvas& canvas, double unit) {
    const auto gridStep = std::max<std::int32_t>(4, static_cast<std::int32_t>(unit / 8));
    const auto gridLine = std::max<std::int32_t>(1, static_cast<std::int32_t>(unit / 240));
    const double sideStep = 2.0 / canvas.width;
    for (std::int32_t y = 0; y < canvas.height; ++y) {
        const Rgb row = Mix(SKY_TOP, SKY_BOTTOM, (y + 0.5) / canvas.height);
        const bool gridRow = y % gridStep < gridLine;
        std::int32_t gridX = 0;  // x % gridStep without a division per pixel
        for (std::int32_t x = 0; x < canvas.width; ++x) {
            const double side = (x + 0.5) * sideStep - 1;
            const bool grid = gridRow || gridX < gridLine;
            Put(canvas, x, y, grid ? GRID : Scale(row, 1 - 0.12 * side * side));
            gridX = gridX + 1 == gridStep ? 0 : gridX + 1;
        }
    }
}

void PaintPerson(const Canvas& canvas, const Scene& s) {
    const SceneEllipse& f = s.face;
    const double u = s.unit;

    const SceneEllipse body{f.centerX, f.centerY + f.radiusY + 0.42 * u, 0.4 * u, 0.36 * u};
    FillEllipse(canvas, body, [&](double x, double) {
        return Scale(SWEATER, 1 - 0.15 * Squared((x - body.centerX) / body.radiusX));
    });
    FillEllipse(canvas, {f.centerX, f.centerY + f.radiusY + 0.04 * u, 0.085 * u, 0.07 * u},
                [](double, double) { return Scale(SWEATER, 0.88); });
    // Behind the face, so the hair frames it without cutting into the skin region.
    const SceneEllipse hair{f.centerX, f.centerY - 0.04 * u, 0.17 * u, 0.215 * u};
    FillEllipse(canvas, hair, [&](double, double y) {
        return Scale(HAIR, 1.1 - 0.3 * (y - hair.centerY + hair.radiusY) / (2 * hair.radiusY));
    });

    // Rounded shading lit from the upper left, with rosy cheeks.
    const auto skinAt = [&](double x, double y) {
        const double nx = (x - f.centerX) / f.radiusX;
        const double ny = (y - f.centerY) / f.radiusY;
        Rgb color = SKIN;
        for (const double side : {-1.0, 1.0}) {
            const double cheek = 1 - (Squared(x - f.centerX - side * 0.085 * u) +
                                      Squared(y - f.centerY - 0.045 * u)) /
                                         Squared(0.035 * u);
            color = Mix(color, CHEEK, 0.45 * std::max(0.0, cheek));
        }
        return Scale(color, 1.04 - 0.2 * (nx * nx + ny * ny) - 0.05 * (0.6 * nx + 0.8 * ny));
    };
    FillEllipse(canvas, f, skinAt);
    FillEllipse(canvas, {f.centerX, f.centerY + 0.02 * u, 0.016 * u, 0.04 * u},
                [&](double x, double y) { return Scale(skinAt(x, y), 0.93); });

    for (const double side : {-1.0, 1.0}) {
        const double eyeX = f.centerX + side * 0.065 * u;
        const double eyeY = f.centerY - 0.04 * u;
        FillEllipse(canvas, {eyeX, eyeY - 0.045 * u, 0.045 * u, 0.01 * u},
                    [](double, double) { return BROW; });
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
    const auto handAt = [&](double x, double) {
        return Scale(HAND_SKIN, 1.04 - 0.14 * Squared((x - s.palm.centerX) / s.palm.radiusX));
    };
    for (const SceneEllipse& finger : s.fingers) {
        FillEllipse(canvas, finger, handAt);
    }
    FillEllipse(canvas, s.thumb, handAt);
    FillEllipse(canvas, s.palm, handAt);
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

void PaintTestcardScene(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                        std::int64_t milliseconds) {
    if (width <= 0 || height <= 0) {
        return;
    }
    const Canvas canvas{pixels, width, height};
    const Scene scene = SceneAt(width, height, milliseconds);
    PaintBackground(canvas, scene.unit);
    PaintPerson(canvas, scene);
    PaintHand(canvas, scene);
}
