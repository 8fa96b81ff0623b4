// ravk-mask's command line: what is covered, how, and where the result goes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "cover_style.h"
#include "face_finder_kind.h"

inline constexpr const char* MASK_USAGE =
    "usage: ravk-mask [--finder skin|cnn|cnn-fast] [--cover overlay|pixelate|blur] [--box]\n"
    "                 [--keep-covered-ms N] [--expand] [--mask] [--ini FILE] [--models DIR]\n"
    "                 [--images DIR] [--crf N] [--preset NAME] [--progress] [--force]\n"
    "                 INPUT OUTPUT\n"
    "\n"
    "Covers every face in the video INPUT with the viewer's face finder and covers and writes\n"
    "the result to OUTPUT, keeping the frame times, the audio and the subtitles.\n"
    "\n"
    "  --finder NAME        find faces with cnn (default), cnn-fast or skin (skin colour)\n"
    "  --cover STYLE        cover each face with blur (default), pixelate or overlay\n"
    "  --box                outline each face in red as well (Box)\n"
    "  --keep-covered-ms N  keep a lost face covered for N ms of video (default 500, at most\n"
    "                       10000, 0 for none)\n"
    "  --expand             box side is the larger extent of the region (Region Expansion)\n"
    "  --mask               paint the face's skin pixels blue (Mask)\n"
    "  --ini FILE           read the skin-colour thresholds, FaceFinder, CoverStyle and\n"
    "                       KeepCoveredMs from FILE; the options above override it\n"
    "  --models DIR         the face finder's models' folder (default: as the viewer finds them)\n"
    "  --images DIR         the overlay pictures' folder (default: as the viewer finds them)\n"
    "  --crf N              the encoder's constant quality (libx264: 0-51, VP9: 0-63)\n"
    "  --preset NAME        libx264's preset (ultrafast ... veryslow)\n"
    "  --progress           when not on a terminal, print one progress line per 10 %\n"
    "  --force              replace OUTPUT when it exists\n"
    "  --help               show this text\n"
    "\n"
    "The output's container is named by its extension. Exit status 0 on success, 2 on an error,\n"
    "130 when interrupted; no partial OUTPUT is left behind.\n";

struct MaskRequest {
    std::string inputFile;
    std::string outputFile;
    std::string settingsFile;  // empty: none; the defaults below apply
    std::string modelsFolder;  // empty: where the viewer finds its models
    std::string imagesFolder;  // empty: where the viewer finds its pictures
    std::optional<FaceFinderKind> finder;
    std::optional<CoverStyle> cover;
    std::optional<std::uint32_t> keepCoveredMs;
    AnalysisOptions analysis;  // allRegions always on: a file has no one person to follow
    bool box = false;
    int crf = -1;
    std::string preset;
    bool progress = false;
    bool force = false;
    bool showHelp = false;
};

// Reads the arguments after the program name. On failure returns false with a one-line reason.
bool ParseMaskArgs(const std::vector<std::string>& args, MaskRequest& request, std::string& error);

// The extension of fileName in lower case with its dot (".mp4"), or empty.
std::string LowerExtension(const std::string& fileName);

// Empty when outputFile's extension is one of writable, else the one-line refusal.
std::string CheckOutputExtension(const std::string& outputFile,
                                 const std::vector<std::string>& writable);
