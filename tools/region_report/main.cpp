// ravk-inspect: runs the viewer's frame analysis on a BMP picture and reports it as JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "bmp_file.h"
#include "native_path.h"
#include "region_report.h"
#include "regular_file.h"
#include "settings_file.h"

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
bool LoadSkinColorRange(const std::string& namedFile, SkinColorRange& range, std::string& error) {
    const std::string file = namedFile.empty() ? NativePath(SETTINGS_FILE) : namedFile;
    if (!IsReadableFile(file)) {
        if (namedFile.empty()) {
            return true;
        }
        error = "cannot read settings file " + file;
        return false;
    }
    std::string pluginFileName = DEFAULT_PLUGIN_FILE;
    ReadSettingsFile(file, pluginFileName, range);
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
    SkinColorRange range;
    if (!LoadSkinColorRange(request.settingsFile, range, error)) {
        return Fail(error);
    }
    FrameImage frame;
    if (!ReadBmpFile(request.inputFile, frame, error)) {
        return Fail(error);
    }

    FrameImage display = frame;
    std::vector<RegionBox> boxes;
    FrameRegions details;
    const bool found =
        AnalyzeFrame(boxes, display, frame, range, request.analysis, &details, stderr);

    if (!request.outputFile.empty() && !WriteBmpFile(request.outputFile, display)) {
        return Fail("cannot write " + request.outputFile);
    }
    const std::string report = FormatInspectReport(frame, found, details, boxes) + "\n";
    if (std::fputs(report.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        return Fail("cannot write the report to standard output");
    }
    return 0;
}
