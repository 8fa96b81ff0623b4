// What a paint asks for the boxes to cover: one interface over the skin analysis and the neural
// face finder, so that the paint does not know which one runs. A locator keeps what it follows
// from paint to paint and is used by the paint thread only.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "face_finder_kind.h"
#include "frame_image.h"
#include "skin_color.h"

class FaceLocator {
  public:
    virtual ~FaceLocator() = default;

    // Appends the boxes to cover in frame to boxes, passed empty, in top-down picture pixels. With
    // options.maskEnabled, paints the masked pixels blue into display, which has frame's size.
    // Returns whether a face was found, even when every box was then dropped.
    virtual bool Locate(const FrameImage& frame, const AnalysisOptions& options,
                        FrameImage& display, std::vector<RegionBox>& boxes) = 0;
};

// The locator kind asks for: the skin analysis with range (its " region not found." lines going to
// diagnostics), or the face finder with its model read from modelFolder (named the Windows way).
// A model that cannot be read gives the skin analysis and a one-line reason in error.
std::unique_ptr<FaceLocator> MakeFaceLocator(FaceFinderKind kind, const std::string& modelFolder,
                                             const SkinColorRange& range, std::FILE* diagnostics,
                                             std::string& error);
