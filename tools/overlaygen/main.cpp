// overlaygen: draws the overlay animation and writes it as images/warai0000.bmp .. warai0068.bmp,
// or the same emblem as the program's icon.
//
//   overlaygen FOLDER [--contact-sheet FILE.bmp]
//   overlaygen --icon SIZE FILE.png
//   overlaygen --ico FILE.ico
//
// Writes the 69 frames into FOLDER (created when missing) and, on request, all frames tiled into
// one picture for review; or the icon, SIZE x SIZE pixels with transparency, into FILE.png (its
// folder created when missing); or the Windows icon file with the icon at several sizes. Exit
// status 0 on success, 1 on a usage error, 2 when a file fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bmp_file.h"
#include "emblem.h"
#include "frame_image.h"
#include "overlay_sprite.h"
#include "png_file.h"

namespace {

constexpr std::int32_t FRAME_SIZE = 256;
constexpr std::int32_t ICON_MAX_SIZE = 1024;
// Finer sampling than the frames': the icon's edge is blended into transparency, not cut.
constexpr int ICON_GRID = 6;
constexpr std::int32_t SHEET_COLUMNS = 12;
constexpr std::int32_t SHEET_GAP = 8;
constexpr Pixel24 SHEET_BACKGROUND{96, 96, 96};

FrameImage EmptyContactSheet() {
    constexpr std::int32_t rows = (OVERLAY_FRAME_COUNT + SHEET_COLUMNS - 1) / SHEET_COLUMNS;
    constexpr std::int32_t cell = FRAME_SIZE + SHEET_GAP;
    FrameImage sheet = MakeFrameImage(SHEET_COLUMNS * cell + SHEET_GAP, rows * cell + SHEET_GAP);
    std::fill(sheet.pixels.begin(), sheet.pixels.end(), SHEET_BACKGROUND);
    return sheet;
}

// Frames sit left to right and top to bottom in frame order.
void PlaceOnSheet(const FrameImage& frame, std::int32_t i, FrameImage& sheet) {
    constexpr std::int32_t cell = FRAME_SIZE + SHEET_GAP;
    const std::int32_t left = SHEET_GAP + (i % SHEET_COLUMNS) * cell;
    // Rows are bottom-up, so the first row of cells sits at the top of the stored rows.
    const std::int32_t bottom = sheet.height - (i / SHEET_COLUMNS + 1) * cell;
    for (std::int32_t y = 0; y < FRAME_SIZE; ++y) {
        std::memcpy(&sheet.pixels[static_cast<std::size_t>(bottom + y) * sheet.width + left],
                    &frame.pixels[static_cast<std::size_t>(y) * FRAME_SIZE],
                    FRAME_SIZE * sizeof(Pixel24));
    }
}

// Writes the frames into folder and, when sheet is given, places each on it.
bool WriteFrames(const std::filesystem::path& folder, FrameImage* sheet) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (std::int32_t i = 0; i < OVERLAY_FRAME_COUNT; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "warai%04d.bmp", static_cast<int>(i));
        const std::string path = (folder / name).string();
        const FrameImage frame = DrawEmblemFrame(FRAME_SIZE, i);
        if (!WriteBmpFile(path, frame)) {
            std::fprintf(stderr, "overlaygen: cannot write %s\n", path.c_str());
            return false;
        }
        if (sheet != nullptr) {
            PlaceOnSheet(frame, i, *sheet);
        }
    }
    return true;
}

bool WriteIcon(const char* sizeText, const char* fileName) {
    char* end = nullptr;
    const long size = std::strtol(sizeText, &end, 10);
    if (end == sizeText || *end != '\0' || size < 1 || size > ICON_MAX_SIZE) {
        std::fprintf(stderr, "overlaygen: the icon size must be 1 to %d\n", ICON_MAX_SIZE);
        return false;
    }
    const std::filesystem::path path(fileName);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const auto side = static_cast<std::int32_t>(size);
    if (!WritePngFile(fileName, side, side, DrawEmblemIcon(side, ICON_GRID))) {
        std::fprintf(stderr, "overlaygen: cannot write %s\n", fileName);
        return false;
    }
    return true;
}

// The Windows program's icon: the sizes the shell shows, from the small title bar one to the
// large tile.
bool WriteWindowsIcon(const char* fileName) {
    std::vector<IconPicture> pictures;
    for (const std::int32_t side : {16, 24, 32, 48, 256}) {
        pictures.push_back({side, EncodePng(side, side, DrawEmblemIcon(side, ICON_GRID))});
    }
    if (!WriteIcoFile(fileName, pictures)) {
        std::fprintf(stderr, "overlaygen: cannot write %s\n", fileName);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--icon") == 0) {
        return WriteIcon(argv[2], argv[3]) ? 0 : 2;
    }
    if (argc == 3 && std::strcmp(argv[1], "--ico") == 0) {
        return WriteWindowsIcon(argv[2]) ? 0 : 2;
    }
    const bool sheetWanted = argc == 4 && std::strcmp(argv[2], "--contact-sheet") == 0;
    if (argc != 2 && !sheetWanted) {
        std::fprintf(stderr,
                     "usage: overlaygen FOLDER [--contact-sheet FILE.bmp]\n"
                     "       overlaygen --icon SIZE FILE.png\n"
                     "       overlaygen --ico FILE.ico\n");
        return 1;
    }
    FrameImage sheet = EmptyContactSheet();
    if (!WriteFrames(argv[1], sheetWanted ? &sheet : nullptr)) {
        return 2;
    }
    if (sheetWanted && !WriteBmpFile(argv[3], sheet)) {
        std::fprintf(stderr, "overlaygen: cannot write %s\n", argv[3]);
        return 2;
    }
    return 0;
}
