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

    // Fills frame.covered and frame.changed from frame.picture. The upright picture the paint saw
    // and the upright surface it drew are Upright() and UprightCovered() until the next call.
    void Cover(MaskFrame& frame);

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

// The smallest rectangle (top-down, in the stored orientation) outside which covered equals
// picture; empty when they are equal. The writer converts only that back.
PixelRect ChangedArea(const FrameImage& picture, const DisplaySurface& covered);

// The picture turned clockwise quarterTurns times (bottom-up rows as FrameImage has them).
void TurnFrame(const FrameImage& from, int quarterTurns, FrameImage& to);

// The surface turned counter-clockwise quarterTurns times into to (made at the turned size).
void TurnSurfaceBack(const DisplaySurface& from, int quarterTurns, DisplaySurface& to);
