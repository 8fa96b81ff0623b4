// Grablet loaded from the bin folder as the viewer loads it, with its seven exports; destroyed at
// the end unless the test did, then unloaded. Shared by the Linux and the Windows plug-in tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "shared_library.h"
#include "support/test_plugin_harness.h"
#include "vq_plugin.h"

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const Size&) const = default;
};

struct Grablet {
    Grablet() {
        EXPECT_TRUE(library.Load(std::string(RAVK_BIN_DIR) + "/Grablet" + PLUGIN_SUFFIX));
        onInit = Get<VQ_OnInitFunc>("VQ_OnInit");
        setResolution = Get<VQ_SetResolutionFunc>("VQ_SetResolution");
        getResolution = Get<VQ_GetResolutionFunc>("VQ_GetResolution");
        capture = Get<VQ_CaptureFunc>("VQ_Capture");
        doModalOptionDlg = Get<VQ_DoModalOptionDlgFunc>("VQ_DoModalOptionDlg");
        onDestroy = Get<VQ_OnDestroyFunc>("VQ_OnDestroy");
    }
    ~Grablet() {
        if (onDestroy != nullptr && !destroyed) {
            onDestroy();
        }
    }
    Grablet(const Grablet&) = delete;
    Grablet& operator=(const Grablet&) = delete;

    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(library.Symbol(name));
    }

    bool Destroy() {
        destroyed = true;
        return onDestroy() != 0;
    }

    Size Resolution() const {
        Size size{-1, -1};
        getResolution(&size.width, &size.height);
        return size;
    }

    // The frame as VQ_Capture hands it out now, sized by the reported resolution.
    std::vector<std::uint8_t> Frame() const {
        const Size size = Resolution();
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width) * size.height * 3);
        EXPECT_EQ(capture(frame.data()), static_cast<std::int32_t>(frame.size()));
        return frame;
    }

    // The first frame that is not all zero, waiting up to five seconds for the camera.
    std::vector<std::uint8_t> DeliveredFrame() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::vector<std::uint8_t> frame = Frame();
        while (std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; }) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            frame = Frame();
        }
        return frame;
    }

    SharedLibrary library;
    bool destroyed = false;
    VQ_OnInitFunc onInit = nullptr;
    VQ_SetResolutionFunc setResolution = nullptr;
    VQ_GetResolutionFunc getResolution = nullptr;
    VQ_CaptureFunc capture = nullptr;
    VQ_DoModalOptionDlgFunc doModalOptionDlg = nullptr;
    VQ_OnDestroyFunc onDestroy = nullptr;
};
