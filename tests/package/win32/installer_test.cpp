// The setup program as an administrator runs it: silently, for the current user, in the test's
// Wine prefix; then the installed viewer started the way its Start menu entry starts it, and the
// uninstaller.
#include <windows.h>

#include <dshow.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "control_ids.h"
#include "shell/win32/ravk_process.h"

namespace {

namespace fs = std::filesystem;

const wchar_t* const UNINSTALL_KEY =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ravkeler";

fs::path KnownFolder(const KNOWNFOLDERID& id) {
    wchar_t* path = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

struct Shortcut {
    fs::path target;
    fs::path workingFolder;
};

Shortcut ReadShortcut(const fs::path& file) {
    Shortcut shortcut;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return shortcut;
    }
    IPersistFile* persist = nullptr;
    wchar_t text[MAX_PATH] = {};
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ))) {
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) {
            shortcut.target = text;
        }
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) {
            shortcut.workingFolder = text;
        }
    }
    if (persist != nullptr) {
        persist->Release();
    }
    link->Release();
    return shortcut;
}

std::wstring UninstallValue(const wchar_t* name) {
    wchar_t value[512] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, UNINSTALL_KEY, name, RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return value;
}

// The friendly names in the video input category, as a program choosing a camera lists them.
std::vector<std::wstring> VideoInputDevices() {
    std::vector<std::wstring> names;
    ICreateDevEnum* devices = nullptr;
    IEnumMoniker* monikers = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&devices)))) {
        return names;
    }
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void**>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr))) {
                    names.emplace_back(name.bstrVal);
                }
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    devices->Release();
    return names;
}

bool HasCamera() {
    const std::vector<std::wstring> names = VideoInputDevices();
    return std::find(names.begin(), names.end(), L"Ravkeler Camera") != names.end();
}

// This process's environment with APPDATA set to folder, as CreateProcessW takes it.
std::wstring EnvironmentWithAppData(const fs::path& folder) {
    std::wstring block;
    wchar_t* const strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"APPDATA=", 8) != 0) {
            block.append(entry).push_back(L'\0');
        }
    }
    FreeEnvironmentStringsW(strings);
    block.append(L"APPDATA=" + folder.wstring()).push_back(L'\0');
    return block;
}

TEST(WindowsInstallerTest, InstallsForTheUserStartsFromTheMenuFolderAndUninstallsKeepingFiles) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const fs::path programs = KnownFolder(FOLDERID_LocalAppData) / "Programs";
    const fs::path installed = programs / "Ravkeler";
    const fs::path shortcutFile = KnownFolder(FOLDERID_Programs) / "Ravkeler.lnk";
    const fs::path videos = KnownFolder(FOLDERID_Videos) / "ravk";
    const bool videosWasThere = fs::exists(videos);
    ASSERT_FALSE(fs::exists(installed)) << "left by an earlier run";
    ASSERT_FALSE(fs::exists(videos / "capture_ravk.bmp")) << "a user's snapshot, not the test's";

    ASSERT_EQ(RunProgram(L"\"" + fs::path(RAVK_SETUP).wstring() + L"\" /S /CurrentUser"), 0);
    for (const char* file :
         {"ravk.exe", "Grablet.dll", "Testcard.dll", "ravk-inspect.exe", "ravk-mask.exe",
          "images/warai0000.bmp", "models/LICENSE", "x64/RavkelerCamera.dll",
          "x86/RavkelerCamera.dll", "LICENSE.txt", "THIRD_PARTY_NOTICES.txt", "uninstall.exe"}) {
        EXPECT_TRUE(fs::is_regular_file(installed / file)) << file;
    }
    EXPECT_FALSE(fs::exists(installed / "ravk.ini")) << "the release folder's demo settings";
    EXPECT_EQ(ExtractIconExW((installed / "ravk.exe").wstring().c_str(), -1, nullptr, nullptr, 0),
              1u);
    const Shortcut shortcut = ReadShortcut(shortcutFile);
    EXPECT_TRUE(fs::equivalent(shortcut.target, installed / "ravk.exe"));
    EXPECT_EQ(shortcut.workingFolder, videos);
    EXPECT_TRUE(fs::is_directory(videos));
    EXPECT_EQ(UninstallValue(L"DisplayName"), L"Ravkeler");
    EXPECT_EQ(UninstallValue(L"DisplayVersion"), RAVK_VERSION);
    EXPECT_EQ(UninstallValue(L"Publisher"), L"the Ravkeler authors");
    EXPECT_EQ(fs::path(UninstallValue(L"InstallLocation")), installed);
    EXPECT_EQ(UninstallValue(L"QuietUninstallString"),
              L"\"" + (installed / "uninstall.exe").wstring() + L"\" /S");
    EXPECT_TRUE(HasCamera());

    // Started as the menu entry starts it, with the user's settings naming the test card.
    TempDir appData;
    fs::create_directories(appData.Path() / "ravk");
    std::ofstream(appData.Path() / "ravk" / "ravk.ini") << "[ravk]\nDLL=Testcard.dll\n";
    {
        RavkProcess ravk(shortcut.target, shortcut.workingFolder,
                         EnvironmentWithAppData(appData.Path()));
        const HWND main = MainWindowAt640x480(ravk);
        ASSERT_NE(main, nullptr);
        SaveSnapshotPair(main, videos);
        Click(main, IDC_EXIT);
        EXPECT_EQ(ravk.WaitForExit(), 1);
    }
    const std::vector<std::uint8_t> snapshot =
        ReadFileBytes((videos / "capture_ravk.bmp").string());
    EXPECT_EQ(snapshot.size(), 54u + 3u * 640u * 480u);

    // The uninstaller runs on from a copy of itself, so its end shows in what it removes.
    ASSERT_EQ(RunProgram(L"\"" + (installed / "uninstall.exe").wstring() + L"\" /S"), 0);
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(installed) && !fs::exists(shortcutFile); },
                          std::chrono::seconds(60)));
    EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
    EXPECT_FALSE(HasCamera());
    EXPECT_EQ(ReadFileBytes((videos / "capture_ravk.bmp").string()), snapshot);
    EXPECT_TRUE(fs::exists(videos / "capture_original.bmp"));

    for (const char* file : {"capture_ravk.bmp", "capture_original.bmp", "stdout.txt"}) {
        fs::remove(videos / file);
    }
    if (!videosWasThere) {
        fs::remove(videos);
    }
    CoUninitialize();
}

}  // namespace
