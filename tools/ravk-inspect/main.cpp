// ravk-inspect: runs the viewer's frame analysis on a BMP picture and reports it as JSON; with
// --compose it also writes the picture the viewer would show.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "bmp_file.h"
#include "display_surface.h"
#include "inspect_report.h"
#include "native_path.h"
#include "net_locator.h"
#include "overlay_sprite.h"
#include "paint_preview.h"
#include "regular_file.h"
#include "settings_file.h"
#include "skin_locator.h"
#include "snapshot.h"
#include "viewer_files.h"

namespace {

constexpr int EXIT_FAILED = 2;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "ravk-inspect: %s\n", reason.c_str());
    return EXIT_FAILED;
}

bool IsReadableFile(const std::string& path) {
    std::string ignored;
    return OpenRegularFile(path, ignored) != nullptr;
}

// A settings file named on the command line must be readable; the default one is optional, as it
// is for the viewer.
bool LoadSettings(const std::string& namedFile, ViewerSettings& settings, std::string& error) {
    const std::string file = namedFile.empty() ? NativePath(SETTINGS_FILE) : namedFile;
    if (!IsReadableFile(file)) {
        if (namedFile.empty()) {
            return true;
        }
        error = "cannot read settings file " + file;
        return false;
    }
    ReadSettingsFile(file, settings, stderr);
    return true;
}

// The face finder's model, from --models DIR or where the viewer finds it.
bool LoadModel(const InspectRequest& request, FaceFinderKind finder, FaceModel& model,
               std::string& error) {
    const std::string folder =
        request.modelsFolder.empty() ? FindViewerFiles().modelFolder : request.modelsFolder;
    return LoadFaceModelFrom(folder, ModelOf(finder), model, error);
}

// The locator a paint of the viewer would ask: a fresh one, as at the viewer's first paint.
std::unique_ptr<FaceLocator> MakeLocator(const FaceModel* model, const SkinColorRange& range) {
    if (model != nullptr) {
        return std::make_unique<NetLocator>(*model, range);
    }
    return std::make_unique<SkinLocator>(range, nullptr);
}

// One paint of the viewer over frame, as its first: the same composition, the overlay on its first
// frame, written as the snapshot writes its second file.
bool WriteComposedPicture(const InspectRequest& request, const FrameImage& frame,
                          ViewerSettings settings, const FaceModel* faceModel, std::string& error) {
    PaintControls controls;
    controls.options = request.analysis;
    controls.overlayEnabled = request.overlay || request.cover.has_value();
    controls.boxEnabled = request.box;
    if (request.cover) {
        settings.cover.style = *request.cover;
    }
    OverlayTable overlays;
    if (controls.overlayEnabled && settings.cover.style == CoverStyle::Overlay) {
        std::string failedFile;
        const std::string folder =
            request.imagesFolder.empty() ? FindViewerFiles().overlayFolder : request.imagesFolder;
        if (!LoadOverlaySprites(overlays, failedFile, folder)) {
            error = OverlayLoadFailureMessage(failedFile);
            return false;
        }
    }
    DisplaySurface surface;
    if (!CreateDisplaySurface(surface, frame.width, frame.height)) {
        error = "the picture is too large to compose";
        return false;
    }
    const std::unique_ptr<FaceLocator> locator = MakeLocator(faceModel, settings.skinRange);
    const PaintInputs in{.controls = controls,
                         .live = frame,
                         .captureWidth = frame.width,
                         .captureHeight = frame.height,
                         .locator = *locator,
                         .overlays = overlays,
                         .cover = settings.cover,
                         .tick = 0,
                         .recording = false};
    PaintState state;
    std::mutex frameLock;
    PaintPreview(in, state, surface, frameLock, [](const SurfaceView&) {});
    if (!WriteSurfaceBmp(request.outputFile, View(surface))) {
        error = "cannot write " + request.outputFile;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    InspectRequest request;
    std::string error;
    if (!ParseInspectArgs(std::vector<std::string>(argv + 1, argv + argc), request, error)) {
        return Fail(error);
    }
    if (request.showHelp) {
        std::fputs(INSPECT_USAGE, stdout);
        return 0;
    }
    ViewerSettings settings;
    if (!LoadSettings(request.settingsFile, settings, error)) {
        return Fail(error);
    }
    FrameImage frame;
    if (!ReadBmpFile(request.inputFile, frame, error)) {
        return Fail(error);
    }

    const FaceFinderKind finder = request.finder.value_or(settings.faceFinder);
    FaceModel model;
    if (finder != FaceFinderKind::Skin && !LoadModel(request, finder, model, error)) {
        return Fail(error);
    }
    const FaceModel* faceModel = finder == FaceFinderKind::Skin ? nullptr : &model;

    FrameImage display = frame;
    std::vector<RegionBox> boxes;
    FrameRegions details;
    std::vector<FaceDetection> faces;
    bool found = false;
    if (faceModel != nullptr) {
        NetLocator locator(model, settings.skinRange);
        found = locator.Locate(frame, request.analysis, display, boxes);
        faces = locator.Faces();
    } else {
        found = AnalyzeFrame(boxes, display, frame, settings.skinRange, request.analysis, &details,
                             stderr);
    }

    if (request.compose) {
        if (!WriteComposedPicture(request, frame, settings, faceModel, error)) {
            return Fail(error);
        }
    } else if (!request.outputFile.empty() && !WriteBmpFile(request.outputFile, display)) {
        return Fail("cannot write " + request.outputFile);
    }
    const std::string report = FormatInspectReport(frame, found, details, boxes, faces) + "\n";
    if (std::fputs(report.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        return Fail("cannot write the report to standard output");
    }
    return 0;
}
