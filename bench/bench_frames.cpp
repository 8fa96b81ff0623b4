#include "bench_frames.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace {

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

bool InsideEllipse(int x, int y, int cx, int cy, int rx, int ry) {
    const double dx = static_cast<double>(x - cx) / rx;
    const double dy = static_cast<double>(y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

}  // namespace

FrameImage MakeFewRegionsFrame(std::int32_t width, std::int32_t height) {
    FrameImage frame = MakeFrameImage(width, height);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> noise(-6, 6);
    const int cx = width / 2, cy = height / 2;
    const int rx = width / 7, ry = height / 4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int n = noise(random);
            // Blue-grey wall: hue near 210 degrees, never skin.
            Pixel24 p{Clamp(170 + x * 40 / width + n), Clamp(130 + n), Clamp(100 + y * 30 / height)};
            const bool face = InsideEllipse(x, y, cx, cy, rx, ry);
            const bool hand = InsideEllipse(x, y, width / 5, height / 3, width / 16, height / 9);
            const bool speck = InsideEllipse(x, y, width * 4 / 5, height * 4 / 5, 3, 3) ||
                               InsideEllipse(x, y, width * 9 / 10, height / 6, 2, 4);
            if (face || hand || speck) {
                p = {Clamp(120 + n), Clamp(150 + n), Clamp(200 + n)};
            }
            // Eyes and mouth (rows are bottom-up: the eyes sit above the centre).
            const bool eye = InsideEllipse(x, y, cx - rx / 2, cy + ry / 3, rx / 6, ry / 10) ||
                             InsideEllipse(x, y, cx + rx / 2, cy + ry / 3, rx / 6, ry / 10);
            const bool mouth = InsideEllipse(x, y, cx, cy - ry / 2, rx / 3, ry / 12);
            if (eye || mouth) {
                p = {45, 40, 40};
            }
            frame.pixels[static_cast<std::size_t>(y) * width + x] = p;
        }
    }
    return frame;
}

FrameImage MakeNoiseFrame(std::int32_t width, std::int32_t height) {
    FrameImage frame = MakeFrameImage(width, height);
    std::mt19937 random(2);
    for (Pixel24& p : frame.pixels) {
        const std::uint32_t bits = random();
        p = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
             static_cast<std::uint8_t>(bits >> 16)};
    }
    return frame;
}

FrameImage MakeManyRegionsFrame(std::int32_t width, std::int32_t height) {
    FrameImage frame = MakeFrameImage(width, height);
    const int cell = width * 8 / 100 + 6;  // side above the size limit, plus a gap
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool skin = x % cell >= 3 && y % cell >= 3;
            frame.pixels[static_cast<std::size_t>(y) * width + x] =
                skin ? Pixel24{120, 150, 200} : Pixel24{200, 60, 40};
        }
    }
    return frame;
}

double SecondsPerCall(const std::function<void()>& call, double minSeconds) {
    using Clock = std::chrono::steady_clock;
    call();  // warm caches and page tables
    long calls = 0;
    const auto start = Clock::now();
    std::chrono::duration<double> elapsed{0};
    while (elapsed.count() < minSeconds) {
        call();
        ++calls;
        elapsed = Clock::now() - start;
    }
    return elapsed.count() / static_cast<double>(calls);
}
