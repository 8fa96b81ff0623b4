#include "testcard_device.h"

#include <cstddef>

#include "frame_rows.h"

namespace {

std::int64_t IntervalOf(std::int64_t nowMs) {
    return nowMs / TESTCARD_FRAME_INTERVAL_MS;
}

void SetSize(TestcardDevice& device, std::int32_t width, std::int32_t height, std::int64_t nowMs) {
    device.width = width;
    device.height = height;
    device.frame.assign(PackedRowBytes(width) * static_cast<std::size_t>(height), 0);
    device.backdrop = MakeTestcardBackdrop(width, height);
    device.frameInterval = IntervalOf(nowMs);
}

}  // namespace

bool IsTestcardSize(std::int32_t width, std::int32_t height) {
    if ((width == 320 && height == 240) || (width == 640 && height == 480) ||
        (width == 720 && height == 480)) {
        return true;
    }
    return width % 2 == 0 && height % 2 == 0 && width >= 16 && height >= 16 && width <= 1920 &&
           height <= 1080;
}

void StartTestcard(TestcardDevice& device) {
    device.running = true;
    SetSize(device, TESTCARD_START_WIDTH, TESTCARD_START_HEIGHT, 0);
}

bool ResizeTestcard(TestcardDevice& device, std::int32_t width, std::int32_t height,
                    std::int64_t nowMs) {
    if (!device.running || !IsTestcardSize(width, height)) {
        return false;
    }
    SetSize(device, width, height, nowMs);
    return true;
}

std::int32_t CaptureTestcard(TestcardDevice& device, std::uint8_t* pixels, std::int64_t nowMs) {
    if (!device.running) {
        return 0;
    }
    const std::int64_t interval = IntervalOf(nowMs);
    if (interval != device.frameInterval) {
        PaintTestcardScene(device.frame.data(), device.backdrop,
                           interval * TESTCARD_FRAME_INTERVAL_MS);
        device.frameInterval = interval;
    }
    if (pixels != nullptr) {
        const std::size_t rowBytes = PackedRowBytes(device.width);
        CopyRows(pixels, rowBytes, device.frame.data(), rowBytes, rowBytes,
                 static_cast<std::size_t>(device.height), RowOrder::Same);
    }
    return static_cast<std::int32_t>(device.frame.size());
}

void StopTestcard(TestcardDevice& device) {
    device = TestcardDevice{};
}
