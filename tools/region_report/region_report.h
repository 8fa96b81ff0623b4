// ravk-inspect's command line and its JSON report; main() does the file and analysis work.
#pragma once

#include <string>
#include <vector>

#include "analyze_frame.h"
#include "frame_image.h"

inline constexpr const char* INSPECT_USAGE =
    "usage: ravk-inspect [--mask] [--expand] [--all] [--ini FILE] INPUT.bmp [OUTPUT.bmp]\n"
    "\n"
    "Runs the viewer's face-region analysis on one uncompressed 24-bit BMP picture and prints\n"
    "one JSON object with the regions found, the chosen region and the boxes.\n"
    "\n"
    "  --mask      paint the kept regions blue (visible in OUTPUT.bmp)\n"
    "  --expand    box side is the larger extent of the region (Region Expansion)\n"
    "  --all       keep every region passing the size and luma tests (All)\n"
    "  --ini FILE  read the skin-colour thresholds from FILE (default: ravk.ini in the\n"
    "              current folder when it exists, else the built-in thresholds)\n"
    "  --help      show this text\n"
    "\n"
    "OUTPUT.bmp receives the displayed picture. Exit status 0 on success, 2 on any error.\n";

struct InspectRequest {
    AnalysisOptions analysis;
    std::string settingsFile;  // empty: the default settings file, when it exists
    std::string inputFile;
    std::string outputFile;  // empty: no picture is written
    bool showHelp = false;
};

// Reads the arguments after the program name. On failure returns false with a one-line reason.
bool ParseInspectArgs(const std::vector<std::string>& args, InspectRequest& request,
                      std::string& error);

// The report as one line of JSON (no trailing newline): frame size, AnalyzeFrame's result, every
// region in label order, the chosen region's index or null, and the boxes.
std::string FormatInspectReport(const FrameImage& frame, bool found, const FrameRegions& details,
                                const std::vector<RegionBox>& boxes);
