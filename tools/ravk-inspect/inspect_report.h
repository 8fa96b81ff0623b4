// ravk-inspect's command line and its JSON report; main() does the file and analysis work.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analyze_frame.h"
#include "cover_style.h"
#include "face_finder.h"
#include "face_finder_kind.h"
#include "frame_image.h"
#include "overlay_sprite.h"

inline constexpr const char* INSPECT_USAGE =
    "usage: ravk-inspect [--mask] [--expand] [--all] [--finder NAME] [--models DIR] [--ini FILE]\n"
    "                    INPUT.bmp [OUTPUT.bmp]\n"
    "       ravk-inspect --compose [--overlay] [--box] [--cover STYLE] [--images DIR]\n"
    "                    [--mask] [--expand] [--all] [--finder NAME] [--models DIR]\n"
    "                    [--ini FILE] INPUT.bmp OUTPUT.bmp\n"
    "\n"
    "Runs the viewer's face-region analysis on one uncompressed 24-bit BMP picture and prints\n"
    "one JSON object with the regions found, the chosen region, the face finder's detections\n"
    "and the boxes.\n"
    "\n"
    "  --mask         paint the kept regions blue (visible in OUTPUT.bmp)\n"
    "  --expand       box side is the larger extent of the region (Region Expansion)\n"
    "  --all          keep every region passing the size and luma tests (All)\n"
    "  --finder NAME  find the face with skin (the skin-colour analysis), cnn or cnn-fast (the\n"
    "                 face finder's back or front model); default: FaceFinder of the settings\n"
    "  --models DIR   the face finder's models' folder (default: models in the current\n"
    "                 folder, else the installed models, as the viewer finds them)\n"
    "  --ini FILE     read the skin-colour thresholds, CoverStyle and FaceFinder from FILE "
    "(default:\n"
    "                 ravk.ini in the current folder when it exists, else the built-in ones)\n"
    "  --compose      OUTPUT.bmp receives the picture exactly as the viewer's Shift + Capture\n"
    "                 saves it as capture_ravk.bmp, the overlay on its first frame\n"
    "  --overlay      with --compose: the cover is on (intercepter), in the CoverStyle of the\n"
    "                 settings file\n"
    "  --box          with --compose: the red box outlines are on (Box)\n"
    "  --cover STYLE  with --compose: the cover is on, as overlay, pixelate or blur\n"
    "  --images DIR   with --compose: the overlay pictures' folder (default: images in the\n"
    "                 current folder, else the installed pictures, as the viewer finds them)\n"
    "  --help         show this text\n"
    "\n"
    "Without --compose, OUTPUT.bmp receives the analysed picture with the mask only. Exit\n"
    "status 0 on success, 2 on any error.\n";

struct InspectRequest {
    AnalysisOptions analysis;
    std::string settingsFile;  // empty: the default settings file, when it exists
    std::string inputFile;
    std::string outputFile;                // empty: no picture is written
    bool compose = false;                  // the output is the viewer's composed picture
    bool overlay = false;                  // the cover is on
    bool box = false;                      // the outlines are on
    std::optional<CoverStyle> cover;       // overrides the settings' style and turns the cover on
    std::optional<FaceFinderKind> finder;  // overrides the settings' finder
    std::string modelsFolder;              // empty: where the viewer finds its models
    std::string imagesFolder;              // empty: where the viewer finds its pictures
    bool showHelp = false;
};

// Reads the arguments after the program name. On failure returns false with a one-line reason.
bool ParseInspectArgs(const std::vector<std::string>& args, InspectRequest& request,
                      std::string& error);

// The report as one line of JSON (no trailing newline): frame size, AnalyzeFrame's result, every
// region in label order, the chosen region's index or null, the face finder's detections (score
// and box as left, top, width, height from the top-left), and the boxes.
std::string FormatInspectReport(const FrameImage& frame, bool found, const FrameRegions& details,
                                const std::vector<RegionBox>& boxes,
                                const std::vector<FaceDetection>& faces);
