// One paint of the main window: analyse the live frame, compose the display surface, hand it to
// the front end, and measure the frame rate.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "cover_hold.h"
#include "display_surface.h"
#include "face_cover.h"
#include "face_locator.h"
#include "frame_image.h"
#include "frame_rate_meter.h"
#include "overlay_animation.h"
#include "overlay_sprite.h"
#include "surface_view.h"
#include "track_history.h"

// The six toggles as the window reports them at the start of the paint.
struct PaintControls {
    AnalysisOptions options;      // "&Mask", "Region &Expansion", "&Loose Tracking", "&All"
    bool overlayEnabled = false;  // "&intercepter"
    bool boxEnabled = false;      // "&Box"
};

struct PaintInputs {
    PaintControls controls;
    const FrameImage& live;
    std::int32_t captureWidth = 0;
    std::int32_t captureHeight = 0;
    FaceLocator& locator;  // finds the boxes to cover
    const OverlayTable& overlays;
    CoverSettings cover;
    std::uint32_t tick = 0;  // the system's millisecond tick count at this paint
    bool recording = false;  // chooses the title's recording form
    // Writes only PaintedArea of the picture into the surface, which keeps its earlier pixels
    // elsewhere: for a caller that takes only that area. What is drawn there is the same.
    bool copyPaintedOnly = false;
};

// What outlives one paint, owned by the caller for the whole run and used by the paint thread only.
// The working image (the frame the mask marks) and the box list are kept so that their storage is
// reused from paint to paint.
struct PaintState {
    AnimationState animation;
    FrameRateMeter frameRate;
    TrackHistory trackHistory;
    CoverHold hold;
    FrameImage working;
    std::vector<RegionBox> boxes;
    CoverScratch coverScratch;
};

// Copies the live frame when "&Mask" is on (the copy is what the mask marks; otherwise the live
// frame itself is shown), has the locator find the boxes when "&Mask", "&intercepter" or "&Box" is
// on, smooths the first box under "&Loose Tracking" unless "&All" is on, and puts held boxes in
// place of none (cover.keepCoveredMs). Then, holding frameLock, writes the picture upright into the
// surface (only when the surface, the capture size and the frame all agree; else the surface keeps
// its picture), draws the cover over every box in cover.style and the box outlines over that, and
// calls present with the surface while the lock is still held. Nothing is drawn or presented while
// the surface is absent. Returns the new window title when one is due.
std::optional<std::string> PaintPreview(const PaintInputs& in, PaintState& state,
                                        DisplaySurface& surface, std::mutex& frameLock,
                                        const std::function<void(const SurfaceView&)>& present);

// The part of a width x height surface where a paint with controls that drew boxes may differ from
// the live frame: all of it under "&Mask", else the boxes, each with the outline's pixel around it,
// clipped to the surface; empty when nothing was drawn. Whoever takes only this part of the surface
// takes every cover.
PixelRect PaintedArea(const PaintControls& controls, const std::vector<RegionBox>& boxes,
                      std::int32_t width, std::int32_t height);
