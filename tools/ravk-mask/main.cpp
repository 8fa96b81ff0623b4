// ravk-mask: covers every face in a video file with the viewer's face finder and covers, and writes
// the result under a pending name that takes the output's name only when the file is whole.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bmp_file.h"
#include "face_locator.h"
#include "frame_cover.h"
#include "frame_pipeline.h"
#include "mask_progress.h"
#include "mask_request.h"
#include "native_path.h"
#include "pending_file.h"
#include "regular_file.h"
#include "settings_file.h"
#include "snapshot.h"
#include "video_files.h"
#include "viewer_files.h"

namespace {

constexpr int EXIT_FAILED = 2;
constexpr int EXIT_INTERRUPTED = 130;
constexpr int FRAMES_IN_FLIGHT = 6;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "ravk-mask: %s\n", reason.c_str());
    return EXIT_FAILED;
}

// The defaults suit recorded people: the neural finder, blur, half a second's hold; a settings file
// named with --ini replaces what it sets, and the options replace that.
bool ChooseSettings(const MaskRequest& request, ViewerSettings& settings, std::string& error) {
    settings.faceFinder = FaceFinderKind::Cnn;
    settings.cover.style = CoverStyle::Blur;
    settings.cover.keepCoveredMs = 500;
    if (!request.settingsFile.empty()) {
        std::string reason;
        if (OpenRegularFile(request.settingsFile, reason) == nullptr) {
            error = "cannot read settings file " + request.settingsFile;
            return false;
        }
        ReadSettingsFile(request.settingsFile, settings, stderr);
    }
    settings.faceFinder = request.finder.value_or(settings.faceFinder);
    settings.cover.style = request.cover.value_or(settings.cover.style);
    settings.cover.keepCoveredMs = request.keepCoveredMs.value_or(settings.cover.keepCoveredMs);
    return true;
}

// The refusals that need no decoding: the input must be a readable regular file, the output
// neither the input nor (without --force) an existing file, and of a container this platform
// writes.
bool CheckFiles(const MaskRequest& request, std::string& error) {
    error = CheckOutputExtension(request.outputFile, WritableExtensions());
    if (!error.empty()) {
        return false;
    }
    if (OpenRegularFile(request.inputFile, error) == nullptr) {
        return false;
    }
    std::error_code failure;
    const std::filesystem::path output(request.outputFile);
    if (std::filesystem::equivalent(request.inputFile, output, failure)) {
        error = "the output " + request.outputFile + " is the input";
        return false;
    }
    if (std::filesystem::exists(std::filesystem::symlink_status(output, failure))) {
        if (!request.force) {
            error = request.outputFile + " exists (--force replaces it)";
            return false;
        }
        if (!MayReplaceFile(request.outputFile)) {
            error = "cannot replace " + request.outputFile;
            return false;
        }
    }
    return true;
}

// The viewer's own locator, except that a model that cannot be read ends the run rather than
// falling back to the skin analysis: a file masked by another method than asked is not wanted.
std::unique_ptr<FaceLocator> MakeLocator(const MaskRequest& request, const ViewerSettings& settings,
                                         std::string& error) {
    const std::string folder =
        request.modelsFolder.empty() ? FindViewerFiles().modelFolder : request.modelsFolder;
    std::string reason;
    std::unique_ptr<FaceLocator> locator =
        MakeFaceLocator(settings.faceFinder, folder, settings.skinRange, nullptr, reason);
    if (!reason.empty()) {
        error = reason;
        return nullptr;
    }
    return locator;
}

// A test hook: RAVK_MASK_TEST_DUMP="N:PREFIX" writes frame N's upright picture as PREFIX.in.bmp
// and its covered picture as PREFIX.out.bmp, before encoding.
struct FrameDump {
    long long index = -1;
    std::string prefix;
};

FrameDump DumpRequest() {
    FrameDump dump;
    const char* value = std::getenv("RAVK_MASK_TEST_DUMP");
    if (value == nullptr) {
        return dump;
    }
    const std::string text = value;
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos) {
        dump.index = std::atoll(text.substr(0, colon).c_str());
        dump.prefix = text.substr(colon + 1);
    }
    return dump;
}

std::atomic<bool> interrupted{false};

}  // namespace

int main(int argc, char** argv) {
    MaskRequest request;
    std::string error;
    if (!ParseMaskArgs(std::vector<std::string>(argv + 1, argv + argc), request, error)) {
        return Fail(error);
    }
    if (request.showHelp) {
        std::fputs(MASK_USAGE, stdout);
        return 0;
    }
    ViewerSettings settings;
    if (!ChooseSettings(request, settings, error) || !CheckFiles(request, error)) {
        return Fail(error);
    }
    std::unique_ptr<FaceLocator> locator = MakeLocator(request, settings, error);
    if (locator == nullptr) {
        return Fail(error);
    }
    OverlayTable overlays;
    if (settings.cover.style == CoverStyle::Overlay) {
        std::string failedFile;
        const std::string folder =
            request.imagesFolder.empty() ? FindViewerFiles().overlayFolder : request.imagesFolder;
        if (!LoadOverlaySprites(overlays, failedFile, folder)) {
            return Fail(OverlayLoadFailureMessage(failedFile));
        }
    }

    CatchInterrupts(interrupted);
    const std::string pending = PendingFileName(request.outputFile);
    std::unique_ptr<VideoFiles> files =
        OpenVideoFiles(request.inputFile, pending, request.outputFile,
                       EncodeOptions{.crf = request.crf, .preset = request.preset}, error);
    if (files == nullptr) {
        DiscardPendingFile(request.outputFile);
        // Ctrl+C while the files open makes the libraries give up, which is no failure of theirs.
        if (interrupted) {
            Fail("interrupted");
            return EXIT_INTERRUPTED;
        }
        return Fail(error);
    }

    PaintControls controls;
    controls.options = request.analysis;
    controls.overlayEnabled = true;
    controls.boxEnabled = request.box;
    FrameCover cover(std::move(locator), overlays, controls, settings.cover,
                     files->Facts().quarterTurns);
    const FrameDump dump = DumpRequest();

    const ProgressMode mode = IsTerminal(stderr) ? ProgressMode::Terminal
                              : request.progress ? ProgressMode::Lines
                                                 : ProgressMode::Silent;
    MaskProgress progress(mode, files->Facts().expectedFrames);
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::int64_t written = 0;

    const PipelineStages stages{
        .read = [&](MaskFrame& frame) { return files->Read(frame, stderr); },
        .cover =
            [&](MaskFrame& frame) {
                cover.Cover(frame, frame.index == dump.index);
                if (frame.index == dump.index) {
                    WriteBmpFile(dump.prefix + ".in.bmp", cover.Upright(frame));
                    WriteSurfaceBmp(dump.prefix + ".out.bmp", View(cover.UprightCovered(frame)));
                }
            },
        .write =
            [&](MaskFrame& frame) {
                if (!files->Write(frame)) {
                    return false;
                }
                ++written;
                std::fputs(progress.Update(written, seconds()).c_str(), stderr);
                return true;
            },
        .finish = [&] { return files->Finish(); },
        .startHelper = YieldToEncoder};
    const bool whole = RunPipeline(stages, FRAMES_IN_FLIGHT, interrupted);

    std::string cause;
    if (interrupted) {
        cause = "interrupted";
    } else if (!whole) {
        cause = files->Failure().empty() ? "cannot write " + request.outputFile : files->Failure();
    } else if (written == 0) {
        cause = "no video frame could be read from " + request.inputFile;
    }
    files.reset();  // closed before the pending file is removed or renamed
    if (!cause.empty()) {
        std::fputs(progress.Break().c_str(), stderr);
        DiscardPendingFile(request.outputFile);
        const int status = Fail(cause);
        return interrupted ? EXIT_INTERRUPTED : status;
    }
    if (!PutPendingFile(request.outputFile)) {
        DiscardPendingFile(request.outputFile);
        return Fail("cannot rename " + pending + " to " + request.outputFile);
    }
    std::fputs(progress.Finish(written, seconds()).c_str(), stderr);
    return 0;
}
