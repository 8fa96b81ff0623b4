#include "face_locator.h"

#include <utility>

#include "ascii_case.h"
#include "native_path.h"
#include "net_locator.h"
#include "skin_locator.h"

std::optional<FaceFinderKind> FaceFinderFromName(std::string_view name) {
    static constexpr std::pair<std::string_view, FaceFinderKind> NAMES[] = {
        {"skin", FaceFinderKind::Skin},
        {"cnn", FaceFinderKind::Cnn},
        {"cnn-fast", FaceFinderKind::CnnFast},
    };
    return FindNamed(NAMES, name);
}

FaceModelKind ModelOf(FaceFinderKind finder) {
    return finder == FaceFinderKind::CnnFast ? FaceModelKind::Front : FaceModelKind::Back;
}

bool LoadFaceModelFrom(const std::string& folder, FaceModelKind kind, FaceModel& model,
                       std::string& error) {
    return LoadFaceModel(NativePath(folder + "\\" + FaceModelFileName(kind)), kind, model, error);
}

std::unique_ptr<FaceLocator> MakeFaceLocator(FaceFinderKind kind, const std::string& modelFolder,
                                             const SkinColorRange& range, std::FILE* diagnostics,
                                             std::string& error) {
    if (kind != FaceFinderKind::Skin) {
        FaceModel model;
        if (LoadFaceModelFrom(modelFolder, ModelOf(kind), model, error)) {
            return std::make_unique<NetLocator>(std::move(model), range);
        }
    }
    return std::make_unique<SkinLocator>(range, diagnostics);
}

bool NetLocator::Locate(const FrameImage& frame, const AnalysisOptions& options,
                        FrameImage& display, std::vector<RegionBox>& boxes) {
    FindFaces(frame, model_, state_, faces_);
    BoxFaces(boxes, display, frame, faces_, range_, options, track_);
    return !faces_.empty();
}
