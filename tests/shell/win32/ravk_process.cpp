#include "shell/win32/ravk_process.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "control_ids.h"
#include "wide_text.h"

std::string BinFile(const std::string& name) {
    return std::string(RAVK_BIN_DIR) + "/" + name;
}

RunFolder::RunFolder(const std::string& plugin, bool withPictures, const std::string& settings) {
    if (withPictures) {
        // Copies: mingw's library makes no symbolic links.
        std::filesystem::copy(std::filesystem::path(RAVK_BIN_DIR) / "images",
                              dir_.Path() / "images");
    }
    std::ofstream(dir_.File("ravk.ini")) << "[ravk]\nDLL=" << plugin << "\n" << settings;
}

RavkProcess::RavkProcess(const RunFolder& folder)
    : RavkProcess(std::filesystem::path(RAVK_BIN_DIR) / "ravk.exe", folder.Path()) {}

RavkProcess::RavkProcess(const std::filesystem::path& program, const std::filesystem::path& folder,
                         const std::wstring& environment)
    : outputFile_((folder / "stdout.txt").string()) {
    std::wstring command = L"\"" + program.wstring() + L"\"";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE output =
        CreateFileW(Widen(outputFile_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                   environment.empty() ? nullptr : const_cast<wchar_t*>(environment.c_str()),
                   folder.wstring().c_str(), &startup, &process_);
    CloseHandle(output);
}

std::string RavkProcess::Output() const {
    std::string text;
    for (const std::uint8_t c : ReadFileBytes(outputFile_)) {
        if (c != '\r') {  // the program's text-mode output ends its lines with "\r\n"
            text.push_back(static_cast<char>(c));
        }
    }
    return text;
}

RavkProcess::~RavkProcess() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, INFINITE);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

namespace {

struct WindowSearch {
    DWORD processId;
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && search.match(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND RavkProcess::WaitForWindow(const std::function<bool(HWND)>& match) const {
    WindowSearch search{process_.dwProcessId, match};
    WaitUntil([&] {
        EnumWindows(&CheckWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

HWND RavkProcess::WaitForTitle(const std::wstring& title) const {
    return WaitForWindow([&](HWND window) { return Title(window) == title; });
}

int RavkProcess::WaitForExit() const {
    const auto milliseconds = std::chrono::milliseconds(PATIENCE).count();
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return static_cast<int>(status);
}

int RunProgram(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

std::wstring Title(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds patience) {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void HoldShift(bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_SHIFT;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

// ravk reads the key's state when the click arrives, which Wine may not have taken over yet: a
// click that missed the key opens "Capture Settings", cancelled here.
void SaveSnapshotPair(HWND main, const std::filesystem::path& folder) {
    const auto saved = [&] {
        return ReadFileBytes((folder / "capture_ravk.bmp").string()).size() == 54u + 1920u * 480u;
    };
    for (int attempt = 0; attempt < 5 && !saved(); ++attempt) {
        HoldShift(true);
        Sleep(100);
        Click(main, IDC_CAPTURE);
        WaitUntil(saved, std::chrono::seconds(2));
        HoldShift(false);
        if (const HWND settings = FindWindowW(nullptr, L"Capture Settings")) {
            Click(settings, DIALOG_CANCEL);
        }
    }
}

HWND MainWindowAt640x480(const RavkProcess& ravk) {
    const HWND resolution = ravk.WaitForTitle(L"Resolution Setting");
    if (resolution == nullptr) {
        return nullptr;
    }
    Click(resolution, DIALOG_OK);
    return ravk.WaitForWindow([](HWND w) { return Title(w).starts_with(L"Ravkeler"); });
}

Screenshot TakeScreenshot(HWND window, const RECT& clientRect, const std::string& name) {
    POINT origin{clientRect.left, clientRect.top};
    ClientToScreen(window, &origin);
    Screenshot shot;
    shot.width = clientRect.right - clientRect.left;
    shot.height = clientRect.bottom - clientRect.top;
    shot.pixels.resize(static_cast<std::size_t>(shot.width) *
                       static_cast<std::size_t>(shot.height));

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    std::memcpy(shot.pixels.data(), bits, shot.pixels.size() * 4);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t& pixel : shot.pixels) {
        pixel &= 0xFFFFFF;
    }

    const std::filesystem::path folder = "Z:/tmp/ravk_win32_screens";
    std::filesystem::create_directories(folder);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(shot.pixels.size() * 4);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(reinterpret_cast<const char*>(shot.pixels.data()),
              static_cast<std::streamsize>(shot.pixels.size() * 4));
    return shot;
}
