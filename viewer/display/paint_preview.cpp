#include "paint_preview.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "box_outline.h"
#include "frame_rows.h"

namespace {

// The bottom-up frame becomes the top-down surface: frame row height - 1 - r is surface row r.
void CopyUpright(const FrameImage& frame, DisplaySurface& surface) {
    const std::size_t rowBytes = PackedRowBytes(frame.width);
    CopyRows(surface.pixels.data(), static_cast<std::size_t>(surface.stride), FrameBytes(frame),
             rowBytes, rowBytes, static_cast<std::size_t>(surface.height), RowOrder::Flipped);
}

// The same for the area's columns and rows only.
void CopyUprightArea(const FrameImage& frame, DisplaySurface& surface, const PixelRect& area) {
    const std::size_t rowBytes = PackedRowBytes(frame.width);
    const std::size_t offset = 3 * static_cast<std::size_t>(area.left);
    const std::size_t bytes = 3 * static_cast<std::size_t>(area.right - area.left);
    for (std::int32_t r = area.top; r < area.bottom; ++r) {
        std::memcpy(
            &surface.pixels[static_cast<std::size_t>(r) * surface.stride + offset],
            FrameBytes(frame) + static_cast<std::size_t>(frame.height - 1 - r) * rowBytes + offset,
            bytes);
    }
}

}  // namespace

std::optional<std::string> PaintPreview(const PaintInputs& in, PaintState& state,
                                        DisplaySurface& surface, std::mutex& frameLock,
                                        const std::function<void(const SurfaceView&)>& present) {
    const PaintControls& controls = in.controls;
    // Only the mask marks the picture; without it the live frame is shown as it is, uncopied.
    // Assigning into the kept image reuses its storage.
    const FrameImage* shown = &in.live;
    if (controls.options.maskEnabled) {
        state.working = in.live;
        shown = &state.working;
    }
    state.boxes.clear();
    if (controls.options.maskEnabled || controls.overlayEnabled || controls.boxEnabled) {
        // The analysis only reads the frame, so it reads the live frame itself instead of a second
        // copy; the working image is the one it marks, and only with the mask on.
        in.locator.Locate(in.live, controls.options, state.working, state.boxes);
        // The history sees only boxes that were really found, so smoothing comes before the hold.
        if (controls.options.looseTracking && !controls.options.allRegions &&
            !state.boxes.empty()) {
            SmoothTrackedBox(state.boxes, state.trackHistory);
        }
        HoldCover(state.hold, state.boxes, in.tick, in.cover.keepCoveredMs);
    }
    {
        const std::lock_guard<std::mutex> lock(frameLock);
        const bool hasSurface = !surface.pixels.empty();
        if (hasSurface && surface.width == in.captureWidth && surface.height == in.captureHeight &&
            shown->width == surface.width && shown->height == surface.height) {
            if (in.copyPaintedOnly) {
                CopyUprightArea(*shown, surface,
                                PaintedArea(controls, state.boxes, surface.width, surface.height));
            } else {
                CopyUpright(*shown, surface);
            }
        }
        if (controls.overlayEnabled) {
            const OverlaySprite& sprite = in.overlays[static_cast<std::size_t>(
                AdvanceOverlayAnimation(state.animation, in.tick))];
            for (const RegionBox& box : state.boxes) {
                DrawCover(box, in.cover.style, sprite, surface, state.coverScratch);
            }
        }
        if (controls.boxEnabled) {
            for (const RegionBox& box : state.boxes) {
                DrawBoxOutline(box, surface);
            }
        }
        if (hasSurface) {
            present(View(surface));
        }
    }
    return CountPaint(state.frameRate, in.tick, in.recording);
}

PixelRect PaintedArea(const PaintControls& controls, const std::vector<RegionBox>& boxes,
                      std::int32_t width, std::int32_t height) {
    if (controls.options.maskEnabled) {
        return {0, 0, width, height};
    }
    if (!controls.overlayEnabled && !controls.boxEnabled) {
        return {};
    }
    PixelRect area{width, height, 0, 0};
    for (const RegionBox& box : boxes) {
        area.left = std::min(area.left, std::max(0, box.left - 1));
        area.top = std::min(area.top, std::max(0, box.top - 1));
        area.right = std::max(area.right, std::min(width, box.right + 1));
        area.bottom = std::max(area.bottom, std::min(height, box.bottom + 1));
    }
    return area.left < area.right && area.top < area.bottom ? area : PixelRect{};
}
