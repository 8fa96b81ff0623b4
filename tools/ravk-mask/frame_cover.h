// The cover stage: one paint of the viewer per video frame, the frame's time standing for the
// paint's tick, so the hold and the overlay's animation run in video time. A picture stored turned
// (a phone held upright) is covered upright and turned back.
#pragma once

#include <memory>
#include <mutex>

#include "face_locator.h"
#include "overlay_sprite.h"
#include "paint_preview.h"
#include "video_files.h"

class FrameCover {
  public:
    // quarterTurns: how often the display turns the stored picture clockwise (0..3).
    FrameCover(std::unique_ptr<FaceLocator> locator, const OverlayTable& overlays,
               const PaintControls& controls, const CoverSettings& cover, int quarterTurns);

    // Fills frame.covered from frame.picture, and frame.changed with the part the paint drew on,
    // widened to even edges (EvenArea). Only that part of frame.covered is current when
    // frame.changedAreaOnly and not wholeSurface.
    // The upright picture the paint saw and the upright surface it drew are Upright() and
    // UprightCovered() until the next call.
    void Cover(MaskFrame& frame, bool wholeSurface);

    const FrameImage& Upright(const MaskFrame& frame) const;
    const DisplaySurface& UprightCovered(const MaskFrame& frame) const;

  private:
    std::unique_ptr<FaceLocator> locator_;
    const OverlayTable& overlays_;
    PaintControls controls_;
    CoverSettings cover_;
    int quarterTurns_;
    PaintState state_;
    std::mutex frameLock_;  // the paint's lock; the surface is this thread's alone
    FrameImage upright_;
    DisplaySurface uprightCovered_;
};

// The rectangle of a picture stored width x height (top-down) that shows upright, the picture
// turned clockwise quarterTurns times, in its stored orientation.
PixelRect StoredArea(const PixelRect& upright, std::int32_t width, std::int32_t height,
                     int quarterTurns);

// area widened to even columns and rows (clipped to width x height), so that a writer of 4:2:0
// pictures takes whole chroma samples; empty stays empty.
PixelRect EvenArea(const PixelRect& area, std::int32_t width, std::int32_t height);

// The picture turned clockwise quarterTurns times (bottom-up rows as FrameImage has them).
void TurnFrame(const FrameImage& from, int quarterTurns, FrameImage& to);

// The surface turned counter-clockwise quarterTurns times into to (made at the turned size).
void TurnSurfaceBack(const DisplaySurface& from, int quarterTurns, DisplaySurface& to);
