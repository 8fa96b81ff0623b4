// The face located by the skin analysis (AnalyzeFrame).
#pragma once

#include <cstdio>

#include "face_locator.h"

class SkinLocator final : public FaceLocator {
  public:
    SkinLocator(const SkinColorRange& range, std::FILE* diagnostics)
        : range_(range), diagnostics_(diagnostics) {}

    bool Locate(const FrameImage& frame, const AnalysisOptions& options, FrameImage& display,
                std::vector<RegionBox>& boxes) override;

  private:
    SkinColorRange range_;
    std::FILE* diagnostics_;
};
