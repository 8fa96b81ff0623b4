#include "inspect_report.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace {

void AppendInt(std::string& out, std::int64_t value) {
    out += std::to_string(value);
}

// Shortest text that reads back as the same double; JSON has no infinities or NaN.
void AppendDouble(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendRegion(std::string& out, const RegionStats& region) {
    out += "{\"area\":";
    AppendInt(out, region.area);
    out += ",\"width\":";
    AppendInt(out, region.width);
    out += ",\"height\":";
    AppendInt(out, region.height);
    out += ",\"centerX\":";
    AppendInt(out, region.centerX);
    out += ",\"centerY\":";
    AppendInt(out, region.centerY);
    out += ",\"minX\":";
    AppendInt(out, region.minX);
    out += ",\"minY\":";
    AppendInt(out, region.minY);
    out += ",\"maxX\":";
    AppendInt(out, region.maxX);
    out += ",\"maxY\":";
    AppendInt(out, region.maxY);
    out += ",\"meanX\":";
    AppendDouble(out, region.meanX);
    out += ",\"meanY\":";
    AppendDouble(out, region.meanY);
    out += '}';
}

void AppendBox(std::string& out, const RegionBox& box) {
    out += '[';
    AppendInt(out, box.left);
    out += ',';
    AppendInt(out, box.top);
    out += ',';
    AppendInt(out, box.right);
    out += ',';
    AppendInt(out, box.bottom);
    out += ']';
}

}  // namespace

bool ParseInspectArgs(const std::vector<std::string>& args, InspectRequest& request,
                      std::string& error) {
    request = InspectRequest{};
    std::vector<std::string> files;
    std::string composeOnly;  // the last option that means something only with --compose
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            request.showHelp = true;
        } else if (arg == "--mask") {
            request.analysis.maskEnabled = true;
        } else if (arg == "--expand") {
            request.analysis.regionExpansion = true;
        } else if (arg == "--all") {
            request.analysis.allRegions = true;
        } else if (arg == "--compose") {
            request.compose = true;
        } else if (arg == "--overlay") {
            request.overlay = true;
            composeOnly = arg;
        } else if (arg == "--box") {
            request.box = true;
            composeOnly = arg;
        } else if (arg == "--ini" || arg == "--images" || arg == "--cover" || arg == "--finder" ||
                   arg == "--models") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--ini") {
                request.settingsFile = value;
            } else if (arg == "--models") {
                request.modelsFolder = value;
            } else if (arg == "--finder") {
                request.finder = FaceFinderFromName(value);
                if (!request.finder) {
                    error = "unknown finder " + value + " (skin, cnn or cnn-fast)";
                    return false;
                }
            } else if (arg == "--images") {
                request.imagesFolder = value;
                composeOnly = arg;
            } else {
                request.cover = CoverStyleFromName(value);
                if (!request.cover) {
                    error = "unknown cover style " + value + " (overlay, pixelate or blur)";
                    return false;
                }
                composeOnly = arg;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (request.showHelp) {
        return true;
    }
    if (!composeOnly.empty() && !request.compose) {
        error = composeOnly + " needs --compose";
        return false;
    }
    if (files.empty() || files[0].empty()) {
        error = "no input file given (see --help)";
        return false;
    }
    if (files.size() > 2) {
        error = "too many arguments: " + files[2] + " (see --help)";
        return false;
    }
    request.inputFile = files[0];
    if (files.size() == 2) {
        if (files[1].empty()) {
            error = "empty output file name";
            return false;
        }
        request.outputFile = files[1];
    }
    if (request.compose && request.outputFile.empty()) {
        error = "--compose needs OUTPUT.bmp";
        return false;
    }
    return true;
}

std::string FormatInspectReport(const FrameImage& frame, bool found, const FrameRegions& details,
                                const std::vector<RegionBox>& boxes,
                                const std::vector<FaceDetection>& faces) {
    std::string out = "{\"width\":";
    AppendInt(out, frame.width);
    out += ",\"height\":";
    AppendInt(out, frame.height);
    out += found ? ",\"found\":true" : ",\"found\":false";
    out += ",\"regions\":[";
    for (std::size_t i = 0; i < details.regions.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendRegion(out, details.regions[i]);
    }
    out += "],\"best\":";
    if (details.best < 0) {
        out += "null";
    } else {
        AppendInt(out, details.best);
    }
    out += ",\"faces\":[";
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out += i > 0 ? ",{\"score\":" : "{\"score\":";
        AppendDouble(out, faces[i].score);
        const float box[] = {faces[i].left, faces[i].top, faces[i].width, faces[i].height};
        for (std::size_t k = 0; k < 4; ++k) {
            out += k == 0 ? ",\"box\":[" : ",";
            AppendDouble(out, box[k]);
        }
        out += "]}";
    }
    out += "],\"boxes\":[";
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendBox(out, boxes[i]);
    }
    out += "]}";
    return out;
}
