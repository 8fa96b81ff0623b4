// For tests that run Grablet.dll over virtual cameras: the camera DLL loaded from the bin folder
// with its registration and its count of live objects, and a driver for the modal windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/virtual_camera.h"

class VirtualCameras {
  public:
    VirtualCameras() {
        module_ = LoadLibraryW(Wide(std::string(RAVK_BIN_DIR) + "/VirtualCamera.dll").c_str());
        if (module_ != nullptr) {
            register_ = reinterpret_cast<VirtualCameraRegisterFunc>(
                reinterpret_cast<void*>(GetProcAddress(module_, "VirtualCameraRegister")));
            live_ = reinterpret_cast<VirtualCameraLiveObjectsFunc>(
                reinterpret_cast<void*>(GetProcAddress(module_, "VirtualCameraLiveObjects")));
        }
    }
    ~VirtualCameras() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    VirtualCameras(const VirtualCameras&) = delete;
    VirtualCameras& operator=(const VirtualCameras&) = delete;

    // Exactly count cameras in the video input category; false when that fails.
    bool Register(int count) {
        if (register_ == nullptr) {
            return false;
        }
        const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const bool done = SUCCEEDED(register_(count));
        if (SUCCEEDED(apartment)) {
            CoUninitialize();
        }
        return done;
    }
    long LiveObjects() const { return live_ != nullptr ? live_() : -1; }

    static std::wstring Wide(const std::string& text) {
        return std::wstring(text.begin(), text.end());
    }

  private:
    HMODULE module_ = nullptr;
    VirtualCameraRegisterFunc register_ = nullptr;
    VirtualCameraLiveObjectsFunc live_ = nullptr;
};

// Waits on its own thread, up to ten seconds, for a top-level window of this process titled
// title, and runs action on it once; joins on destruction.
class WindowDriver {
  public:
    WindowDriver(std::wstring title, std::function<void(HWND)> action)
        : thread_([this, title = std::move(title), action = std::move(action)] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
              while (!stop_ && std::chrono::steady_clock::now() < deadline) {
                  const HWND window = FindWindowW(nullptr, title.c_str());
                  DWORD process = 0;
                  if (window != nullptr && IsWindowVisible(window) &&
                      GetWindowThreadProcessId(window, &process) != 0 &&
                      process == GetCurrentProcessId()) {
                      found_ = true;
                      action(window);
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~WindowDriver() { Join(); }
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    // Whether the window showed; stops waiting for it.
    bool Found() {
        Join();
        return found_;
    }

  private:
    void Join() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> found_{false};
    std::thread thread_;
};
