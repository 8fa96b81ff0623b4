#include "net_locator.h"

#include "native_path.h"

FaceModelKind ModelOf(FaceFinderKind finder) {
    return finder == FaceFinderKind::CnnFast ? FaceModelKind::Front : FaceModelKind::Back;
}

bool LoadFaceModelFrom(const std::string& folder, FaceModelKind kind, FaceModel& model,
                       std::string& error) {
    return LoadFaceModel(NativePath(folder + "\\" + FaceModelFileName(kind)), kind, model, error);
}

bool NetLocator::Locate(const FrameImage& frame, const AnalysisOptions& options,
                        FrameImage& display, std::vector<RegionBox>& boxes) {
    FindFaces(frame, model_, state_, faces_);
    BoxFaces(boxes, display, frame, faces_, range_, options, track_);
    return !faces_.empty();
}
