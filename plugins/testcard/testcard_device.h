// The Testcard source behind the exports: its state and lifecycle, with the clock passed in so
// every step is deterministic. States: loaded or stopped (0 x 0, nothing to capture) and running.
#pragma once

#include <cstdint>
#include <vector>

#include "testcard_scene.h"

// A new picture is due every 40 ms of the clock (25 frames a second); captures within one
// interval get the same picture, so the viewer's two captures per tick paint only once.
inline constexpr std::int64_t TESTCARD_FRAME_INTERVAL_MS = 40;
inline constexpr std::int32_t TESTCARD_START_WIDTH = 640;
inline constexpr std::int32_t TESTCARD_START_HEIGHT = 480;

struct TestcardDevice {
    bool running = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> frame;  // width x height x 3 bytes in the contract's layout
    TestcardBackdrop backdrop;        // painted once per size, under every picture
    // The interval whose picture frame holds; after a size change, the interval of the change,
    // so the zeroed frame stays black until the next interval's picture is painted.
    std::int64_t frameInterval = 0;
};

// 320 x 240, 640 x 480, 720 x 480, or any even size from 16 x 16 to 1920 x 1080.
bool IsTestcardSize(std::int32_t width, std::int32_t height);

// Runs at the start size with a black frame; the clock starts at 0.
void StartTestcard(TestcardDevice& device);

// Takes a new size while running, with a black frame. False, with nothing changed, when stopped
// or for a size IsTestcardSize refuses.
bool ResizeTestcard(TestcardDevice& device, std::int32_t width, std::int32_t height,
                    std::int64_t nowMs);

// Paints the picture for the clock's interval when it is due, copies the frame into pixels
// unless null, and returns width x height x 3 (0 when stopped, with nothing written).
std::int32_t CaptureTestcard(TestcardDevice& device, std::uint8_t* pixels, std::int64_t nowMs);

// Back to 0 x 0, releasing the frame.
void StopTestcard(TestcardDevice& device);
