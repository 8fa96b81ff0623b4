#include "skin_locator.h"

bool SkinLocator::Locate(const FrameImage& frame, const AnalysisOptions& options,
                         FrameImage& display, std::vector<RegionBox>& boxes) {
    return AnalyzeFrame(boxes, display, frame, range_, options, nullptr, diagnostics_);
}
