// The faces located by the neural face finder: a square around each detection (face_boxes.h), one
// face followed from paint to paint unless "&All" is on.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "face_boxes.h"
#include "face_finder.h"
#include "face_locator.h"
#include "face_model.h"

// The model a finder kind runs; only for Cnn and CnnFast.
FaceModelKind ModelOf(FaceFinderKind finder);

// Reads the model of kind from folder (named the Windows way), as LoadFaceModel.
bool LoadFaceModelFrom(const std::string& folder, FaceModelKind kind, FaceModel& model,
                       std::string& error);

class NetLocator final : public FaceLocator {
  public:
    // range chooses the pixels "&Mask" paints inside the boxes.
    NetLocator(FaceModel model, const SkinColorRange& range)
        : model_(std::move(model)), range_(range) {}

    bool Locate(const FrameImage& frame, const AnalysisOptions& options, FrameImage& display,
                std::vector<RegionBox>& boxes) override;

    // The last Locate's detections, best score first.
    const std::vector<FaceDetection>& Faces() const { return faces_; }

  private:
    FaceModel model_;
    SkinColorRange range_;
    FaceFinderState state_;
    std::vector<FaceDetection> faces_;
    FaceTrack track_;
};
