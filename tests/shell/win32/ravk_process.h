// The real ravk.exe in a run folder of its own, and what a person does with its windows: find them
// by title, click their buttons, type into their fields, hold Shift, look at the screen.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/test_files.h"

// How long a person waits for a window, a file or the program's end.
inline constexpr std::chrono::seconds PATIENCE{20};

// A file of the build's bin folder.
std::string BinFile(const std::string& name);

// A folder as the viewer expects one: a copy of the overlay pictures and a ravk.ini naming the
// plug-in, then the settings lines given. Without the copy, ravk.exe takes the pictures beside it,
// as a release folder has them.
class RunFolder {
  public:
    explicit RunFolder(const std::string& plugin, bool withPictures = true,
                       const std::string& settings = "");
    const std::filesystem::path& Path() const { return dir_.Path(); }
    std::string File(const std::string& name) const { return dir_.File(name); }

  private:
    TempDir dir_;
};

class RavkProcess {
  public:
    // The build's ravk.exe in the run folder.
    explicit RavkProcess(const RunFolder& folder);
    // program started in folder, with environment (a block as CreateProcessW takes it; empty:
    // this process's); its output goes to folder's stdout.txt.
    RavkProcess(const std::filesystem::path& program, const std::filesystem::path& folder,
                const std::wstring& environment = L"");
    ~RavkProcess();  // ends a program still running
    RavkProcess(const RavkProcess&) = delete;
    RavkProcess& operator=(const RavkProcess&) = delete;

    // A visible top-level window of the program that match accepts; nullptr if none came.
    HWND WaitForWindow(const std::function<bool(HWND)>& match) const;
    HWND WaitForTitle(const std::wstring& title) const;
    // The exit status, or -1 if the program has not ended in time.
    int WaitForExit() const;
    // What the program has written to its standard output and error so far.
    std::string Output() const;

  private:
    std::string outputFile_;
    PROCESS_INFORMATION process_{};
};

// Runs a command line to its end; its exit status, or -1 if it could not start.
int RunProgram(std::wstring command);

std::wstring Title(HWND window);
std::wstring ClassName(HWND window);
// Waits for condition, checking every 50 ms; false if it did not come true in time.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds patience = PATIENCE);
// A click on control id of dialog, posted so that a modal window it opens does not hold the test.
void Click(HWND dialog, int id);
void HoldShift(bool down);

// Takes the preselected 640 x 480 in "Resolution Setting"; the main window, or nullptr.
HWND MainWindowAt640x480(const RavkProcess& ravk);
// Shift + "&Capture" at 640 x 480, until the folder's capture_ravk.bmp is whole.
void SaveSnapshotPair(HWND main, const std::filesystem::path& folder);

// What the screen shows in a window's client rectangle, 0x00RRGGBB, rows top-down; kept as a BMP
// file in Z:\tmp\ravk_win32_screens for a person to look at.
struct Screenshot {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};
Screenshot TakeScreenshot(HWND window, const RECT& clientRect, const std::string& name);
