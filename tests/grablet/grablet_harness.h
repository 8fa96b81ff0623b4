// Grablet.so loaded from the bin folder with its exports, destroyed and unloaded at the end; and
// a handler for the modal windows it opens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shared_library.h"
#include "vq_plugin.h"

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const Size&) const = default;
};

struct Grablet {
    Grablet() {
        EXPECT_TRUE(library.Load(std::string(RAVK_BIN_DIR) + "/Grablet.so"));
        onInit = Get<VQ_OnInitFunc>("VQ_OnInit");
        setResolution = Get<VQ_SetResolutionFunc>("VQ_SetResolution");
        getResolution = Get<VQ_GetResolutionFunc>("VQ_GetResolution");
        capture = Get<VQ_CaptureFunc>("VQ_Capture");
        doModalOptionDlg = Get<VQ_DoModalOptionDlgFunc>("VQ_DoModalOptionDlg");
        onDestroy = Get<VQ_OnDestroyFunc>("VQ_OnDestroy");
    }
    ~Grablet() { onDestroy(); }

    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(library.Symbol(name));
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

    // The first frame that is not all zero, waiting up to two seconds for the camera.
    std::vector<std::uint8_t> DeliveredFrame() const;

    SharedLibrary library;
    VQ_OnInitFunc onInit = nullptr;
    VQ_SetResolutionFunc setResolution = nullptr;
    VQ_GetResolutionFunc getResolution = nullptr;
    VQ_CaptureFunc capture = nullptr;
    VQ_DoModalOptionDlgFunc doModalOptionDlg = nullptr;
    VQ_OnDestroyFunc onDestroy = nullptr;
};

// Calls action once on the first modal window other than outer that shows while it lives.
class ModalHandler {
  public:
    explicit ModalHandler(std::function<void(QWidget*)> action, QWidget* outer = nullptr);
    bool Handled() const { return handled_; }

  private:
    QTimer timer_;
    bool handled_ = false;
};

// The texts of a window's message box or dialog, checked before it is closed with OK.
std::string TextOf(QWidget* window);
