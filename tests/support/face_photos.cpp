#include "support/face_photos.h"

#include <algorithm>
#include <map>
#include <utility>

// The same decoder, without its vector paths, in every build, so every platform sees the same
// pixels.
#define STBI_ONLY_JPEG
#define STBI_NO_SIMD
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

FrameImage LoadJpeg(const std::string& name, std::string& error) {
    const std::string path = std::string(RAVK_PHOTO_DIR) + "/" + name;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (rgb == nullptr) {
        error = path + ": " + stbi_failure_reason() +
                " (scripts/ensure_npm_files.sh scripts/npm_test_photos.txt installs the photos)";
        return {};
    }
    FrameImage frame = MakeFrameImage(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const stbi_uc* p = rgb + 3 * (static_cast<std::size_t>(height - 1 - y) * width + x);
            frame.pixels[static_cast<std::size_t>(y) * width + x] = {p[2], p[1], p[0]};
        }
    }
    stbi_image_free(rgb);
    return frame;
}

}  // namespace

FrameImage LoadFacePhoto(const std::string& name, std::string& error) {
    const std::size_t plus = name.find('+');
    if (plus == std::string::npos) {
        return LoadJpeg(name, error);
    }
    const FrameImage left = LoadJpeg(name.substr(0, plus), error);
    const FrameImage right = left.width > 0 ? LoadFacePhoto(name.substr(plus + 1), error) : left;
    if (right.width == 0) {
        return {};
    }
    FrameImage frame =
        MakeFrameImage(left.width + right.width, std::max(left.height, right.height));
    for (const auto& [part, x0] : {std::pair{&left, 0}, std::pair{&right, left.width}}) {
        // Rows are bottom-up: top-aligned parts start frame.height - part height rows up.
        for (std::int32_t y = 0; y < part->height; ++y) {
            const std::int32_t row = frame.height - part->height + y;
            std::copy_n(part->pixels.begin() + static_cast<std::ptrdiff_t>(y) * part->width,
                        part->width,
                        frame.pixels.begin() + static_cast<std::ptrdiff_t>(row) * frame.width + x0);
        }
    }
    return frame;
}

const FaceModel* TestFaceModel(FaceModelKind kind, std::string& error) {
    static std::map<FaceModelKind, FaceModel> models;
    auto found = models.find(kind);
    if (found == models.end()) {
        FaceModel model;
        if (!LoadFaceModel(std::string(RAVK_BIN_DIR) + "/models/" + FaceModelFileName(kind), kind,
                           model, error)) {
            return nullptr;
        }
        found = models.emplace(kind, std::move(model)).first;
    }
    return &found->second;
}
