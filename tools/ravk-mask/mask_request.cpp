#include "mask_request.h"

#include <cctype>
#include <charconv>
#include <filesystem>

namespace {

bool ReadNumber(const std::string& text, long long low, long long high, long long& value) {
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

}  // namespace

bool ParseMaskArgs(const std::vector<std::string>& args, MaskRequest& request, std::string& error) {
    request = MaskRequest{};
    request.analysis.allRegions = true;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            request.showHelp = true;
        } else if (arg == "--box") {
            request.box = true;
        } else if (arg == "--expand") {
            request.analysis.regionExpansion = true;
        } else if (arg == "--mask") {
            request.analysis.maskEnabled = true;
        } else if (arg == "--progress") {
            request.progress = true;
        } else if (arg == "--force") {
            request.force = true;
        } else if (arg == "--finder" || arg == "--cover" || arg == "--keep-covered-ms" ||
                   arg == "--ini" || arg == "--models" || arg == "--images" || arg == "--crf" ||
                   arg == "--preset") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            long long number = 0;
            if (arg == "--finder") {
                request.finder = FaceFinderFromName(value);
                if (!request.finder) {
                    error = "unknown finder " + value + " (skin, cnn or cnn-fast)";
                    return false;
                }
            } else if (arg == "--cover") {
                request.cover = CoverStyleFromName(value);
                if (!request.cover) {
                    error = "unknown cover style " + value + " (overlay, pixelate or blur)";
                    return false;
                }
            } else if (arg == "--keep-covered-ms") {
                if (!ReadNumber(value, 0, KEEP_COVERED_MAX_MS, number)) {
                    error = "--keep-covered-ms takes 0 to " + std::to_string(KEEP_COVERED_MAX_MS) +
                            ", not " + value;
                    return false;
                }
                request.keepCoveredMs = static_cast<std::uint32_t>(number);
            } else if (arg == "--crf") {
                if (!ReadNumber(value, 0, 63, number)) {
                    error = "--crf takes 0 to 63, not " + value;
                    return false;
                }
                request.crf = static_cast<int>(number);
            } else if (arg == "--ini") {
                request.settingsFile = value;
            } else if (arg == "--models") {
                request.modelsFolder = value;
            } else if (arg == "--images") {
                request.imagesFolder = value;
            } else {
                request.preset = value;
            }
        } else {
            error = "unknown option " + arg + " (see --help)";
            return false;
        }
    }
    if (request.showHelp) {
        return true;
    }
    if (files.size() < 2) {
        error = files.empty() ? "no input file given (see --help)"
                              : "no output file given (see --help)";
        return false;
    }
    if (files.size() > 2) {
        error = "too many arguments: " + files[2] + " (see --help)";
        return false;
    }
    if (files[0].empty() || files[1].empty()) {
        error = "empty file name";
        return false;
    }
    request.inputFile = files[0];
    request.outputFile = files[1];
    return true;
}

std::string LowerExtension(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

std::string CheckOutputExtension(const std::string& outputFile,
                                 const std::vector<std::string>& writable) {
    const std::string extension = LowerExtension(outputFile);
    std::string names;
    for (std::size_t i = 0; i < writable.size(); ++i) {
        if (writable[i] == extension) {
            return "";
        }
        names += (i == 0 ? "" : i + 1 == writable.size() ? " or " : ", ") + writable[i];
    }
    const std::string what =
        extension.empty() ? "an output without an extension" : std::string(extension) + " files";
    return "cannot write " + what + " (this build writes " + names + ")";
}
