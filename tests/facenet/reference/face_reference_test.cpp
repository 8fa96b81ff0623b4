// The face finder against OpenCV's DNN module running the same model files on the same photos:
// OpenCV prepares its own input (area resize into the letterbox) and runs the network; its raw
// grids are decoded as the finder decodes its own.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "face_finder.h"
#include "support/face_photos.h"

namespace {

// Fills the finder's head buffers with OpenCV's outputs for frame.
void RunOpenCv(cv::dnn::Net& net, const FrameImage& frame, const FaceModel& model,
               const PixelRect& box, FaceFinderState& state) {
    const cv::Mat bgr(frame.height, frame.width, CV_8UC3,
                      const_cast<Pixel24*>(frame.pixels.data()));
    cv::Mat rgb, scaled;
    cv::flip(bgr, rgb, 0);
    cv::cvtColor(rgb, rgb, cv::COLOR_BGR2RGB);
    rgb.convertTo(rgb, CV_32FC3);
    cv::resize(rgb, scaled, cv::Size(Width(box), Height(box)), 0, 0, cv::INTER_AREA);
    cv::Mat input(model.inputSide, model.inputSide, CV_32FC3, cv::Scalar::all(0.0));
    scaled.copyTo(input(cv::Rect(box.left, box.top, Width(box), Height(box))));
    input = input / 127.5 - cv::Scalar::all(1.0);
    const int dims[4] = {1, model.inputSide, model.inputSide, 3};
    net.setInput(cv::Mat(4, dims, CV_32F, input.data));
    std::vector<cv::Mat> outputs;
    net.forward(outputs, std::vector<cv::String>{"Identity:0", "Identity_1:0", "Identity_2:0",
                                                 "Identity_3:0"});
    for (int grid = 0; grid < 2; ++grid) {
        const FaceHead& head = model.heads[grid];
        const float* scores = outputs[static_cast<std::size_t>(grid)].ptr<float>();
        const float* boxes = outputs[static_cast<std::size_t>(grid + 2)].ptr<float>();
        state.net.heads[grid].assign(
            static_cast<std::size_t>(head.side * head.side * head.outChannels), 0.0f);
        for (int cell = 0; cell < head.side * head.side; ++cell) {
            float* out = state.net.heads[grid].data() + cell * head.outChannels;
            for (int anchor = 0; anchor < head.anchors; ++anchor) {
                const int row = cell * head.anchors + anchor;
                out[anchor] = scores[row];
                std::copy_n(boxes + row * FACE_BOX_VALUES, FACE_BOX_VALUES,
                            out + head.anchors + anchor * FACE_BOX_VALUES);
            }
        }
    }
}

TEST(FaceReferenceTest, BothModelsFindTheFacesOpenCvFindsOnRealPhotos) {
    cv::setNumThreads(1);
    for (const FaceModelKind kind : {FaceModelKind::Front, FaceModelKind::Back}) {
        std::string error;
        const FaceModel* model = TestFaceModel(kind, error);
        ASSERT_NE(model, nullptr) << error;
        cv::dnn::Net net = cv::dnn::readNetFromONNX(std::string(RAVK_BIN_DIR) + "/models/" +
                                                    FaceModelFileName(kind));
        std::size_t found = 0;
        for (const char* name : FACE_PHOTOS) {
            const FrameImage photo = LoadFacePhoto(name, error);
            ASSERT_GT(photo.width, 0) << error;
            const std::string what =
                std::string(name) + (kind == FaceModelKind::Back ? " back" : " front");
            FaceFinderState state;
            std::vector<FaceDetection> ours, theirs;
            FindFaces(photo, *model, state, ours);
            const PixelRect box = FitLetterbox(photo.width, photo.height, model->inputSide);
            RunOpenCv(net, photo, *model, box, state);
            DecodeFaces(*model, state, box, photo.width, photo.height, theirs);
            ASSERT_EQ(ours.size(), theirs.size()) << what;
            for (std::size_t i = 0; i < ours.size(); ++i) {
                EXPECT_NEAR(ours[i].score, theirs[i].score, 1e-4) << what;
                EXPECT_NEAR(ours[i].left, theirs[i].left, 0.5) << what;
                EXPECT_NEAR(ours[i].top, theirs[i].top, 0.5) << what;
                EXPECT_NEAR(ours[i].width, theirs[i].width, 0.5) << what;
                EXPECT_NEAR(ours[i].height, theirs[i].height, 0.5) << what;
            }
            found += ours.size();
        }
        EXPECT_GE(found, std::size(FACE_PHOTOS) - 1) << "most photos show a face";
    }
}

}  // namespace
