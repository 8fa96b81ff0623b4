#include "frame_cover.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// Where the pixel at (x, y) of a picture turned clockwise quarterTurns times comes from in the
// picture before the turn (width, height: before the turn; y counted from the top).
std::pair<std::int32_t, std::int32_t> SourceOf(std::int32_t x, std::int32_t y, std::int32_t width,
                                               std::int32_t height, int quarterTurns) {
    switch (quarterTurns) {
        case 1:
            return {y, height - 1 - x};
        case 2:
            return {width - 1 - x, height - 1 - y};
        case 3:
            return {width - 1 - y, x};
        default:
            return {x, y};
    }
}

}  // namespace

void TurnFrame(const FrameImage& from, int quarterTurns, FrameImage& to) {
    const bool sideways = quarterTurns % 2 != 0;
    const std::int32_t width = sideways ? from.height : from.width;
    const std::int32_t height = sideways ? from.width : from.height;
    if (to.width != width || to.height != height) {
        ResizeFrameImage(to, width, height);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        Pixel24* row = &to.pixels[static_cast<std::size_t>(height - 1 - y) * width];
        for (std::int32_t x = 0; x < width; ++x) {
            const auto [sx, sy] = SourceOf(x, y, from.width, from.height, quarterTurns);
            row[x] = from.pixels[static_cast<std::size_t>(from.height - 1 - sy) * from.width + sx];
        }
    }
}

void TurnSurfaceBack(const DisplaySurface& from, int quarterTurns, DisplaySurface& to) {
    const int back = (4 - quarterTurns % 4) % 4;
    const bool sideways = back % 2 != 0;
    const std::int32_t width = sideways ? from.height : from.width;
    const std::int32_t height = sideways ? from.width : from.height;
    if (to.width != width || to.height != height) {
        CreateDisplaySurface(to, width, height);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = &to.pixels[static_cast<std::size_t>(y) * to.stride];
        for (std::int32_t x = 0; x < width; ++x) {
            const auto [sx, sy] = SourceOf(x, y, from.width, from.height, back);
            const std::uint8_t* source =
                &from.pixels[static_cast<std::size_t>(sy) * from.stride + 3 * sx];
            row[3 * x] = source[0];
            row[3 * x + 1] = source[1];
            row[3 * x + 2] = source[2];
        }
    }
}

PixelRect StoredArea(const PixelRect& upright, std::int32_t width, std::int32_t height,
                     int quarterTurns) {
    if (upright.left >= upright.right || upright.top >= upright.bottom) {
        return {};
    }
    const auto [x0, y0] = SourceOf(upright.left, upright.top, width, height, quarterTurns);
    const auto [x1, y1] =
        SourceOf(upright.right - 1, upright.bottom - 1, width, height, quarterTurns);
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
}

PixelRect EvenArea(const PixelRect& area, std::int32_t width, std::int32_t height) {
    if (area.left >= area.right || area.top >= area.bottom) {
        return {};
    }
    return {area.left & ~1, area.top & ~1, std::min(width, (area.right + 1) & ~1),
            std::min(height, (area.bottom + 1) & ~1)};
}

namespace {

// Copies the pixels of outer that are not in inner (which lies inside it) from the picture into
// the surface of the same size.
void CopyAround(const FrameImage& picture, const PixelRect& inner, const PixelRect& outer,
                DisplaySurface& surface) {
    const auto copy = [&](std::int32_t r, std::int32_t left, std::int32_t right) {
        if (left < right) {
            std::memcpy(
                &surface.pixels[static_cast<std::size_t>(r) * surface.stride + 3 * left],
                &picture.pixels[static_cast<std::size_t>(picture.height - 1 - r) * picture.width +
                                left],
                3 * static_cast<std::size_t>(right - left));
        }
    };
    for (std::int32_t r = outer.top; r < outer.bottom; ++r) {
        if (r < inner.top || r >= inner.bottom) {
            copy(r, outer.left, outer.right);
        } else {
            copy(r, outer.left, inner.left);
            copy(r, inner.right, outer.right);
        }
    }
}

}  // namespace

FrameCover::FrameCover(std::unique_ptr<FaceLocator> locator, const OverlayTable& overlays,
                       const PaintControls& controls, const CoverSettings& cover, int quarterTurns)
    : locator_(std::move(locator)),
      overlays_(overlays),
      controls_(controls),
      cover_(cover),
      quarterTurns_(quarterTurns % 4) {}

void FrameCover::Cover(MaskFrame& frame, bool wholeSurface) {
    const bool turned = quarterTurns_ != 0;
    if (turned) {
        TurnFrame(frame.picture, quarterTurns_, upright_);
    }
    const FrameImage& live = turned ? upright_ : frame.picture;
    DisplaySurface& surface = turned ? uprightCovered_ : frame.covered;
    if (surface.width != live.width || surface.height != live.height) {
        CreateDisplaySurface(surface, live.width, live.height);
    }
    const PaintInputs in{.controls = controls_,
                         .live = live,
                         .captureWidth = live.width,
                         .captureHeight = live.height,
                         .locator = *locator_,
                         .overlays = overlays_,
                         .cover = cover_,
                         .tick = static_cast<std::uint32_t>(frame.timeMs),
                         .recording = false,
                         .copyPaintedOnly = frame.changedAreaOnly && !wholeSurface};
    PaintPreview(in, state_, surface, frameLock_, [](const SurfaceView&) {});
    if (turned) {
        TurnSurfaceBack(uprightCovered_, quarterTurns_, frame.covered);
    }
    const PixelRect painted =
        StoredArea(PaintedArea(controls_, state_.boxes, live.width, live.height),
                   frame.picture.width, frame.picture.height, quarterTurns_);
    frame.changed = EvenArea(painted, frame.picture.width, frame.picture.height);
    if (in.copyPaintedOnly) {
        CopyAround(frame.picture, painted, frame.changed, frame.covered);
    }
}

const FrameImage& FrameCover::Upright(const MaskFrame& frame) const {
    return quarterTurns_ != 0 ? upright_ : frame.picture;
}

const DisplaySurface& FrameCover::UprightCovered(const MaskFrame& frame) const {
    return quarterTurns_ != 0 ? uprightCovered_ : frame.covered;
}
