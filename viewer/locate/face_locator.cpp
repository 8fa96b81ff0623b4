#include "face_locator.h"

#include <utility>

#include "ascii_case.h"
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
