// A scripted capture back end and scripted plug-in windows that record what the controller asks
// of them.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture_backend.h"
#include "plugin_ui.h"

inline std::string SizeText(std::optional<PixelSize> size) {
    return size ? std::to_string(size->width) + "x" + std::to_string(size->height) : "any";
}

class FakeBackend final : public CaptureBackend {
  public:
    struct Identity final : DeviceIdentity {
        explicit Identity(std::string name) : name(std::move(name)) {}
        std::string name;
    };
    // A frame's bytes and the view handed out over them (data is filled in then).
    struct Frame {
        std::vector<std::uint8_t> bytes;
        FrameView view;
    };

    std::optional<std::vector<ListedDevice>> ListDevices() override {
        if (!devices) {
            return std::nullopt;
        }
        std::vector<ListedDevice> listed;
        for (const std::string& name : *devices) {
            listed.push_back(ListedDevice{name, std::make_unique<Identity>(name)});
        }
        return listed;
    }
    BindResult Bind(const DeviceIdentity& identity) override {
        boundDevice = dynamic_cast<const Identity&>(identity).name;
        return bindResult;
    }
    // The device connects at what answer makes of the request; none refuses it.
    bool RequestSize(std::optional<PixelSize> size) override {
        calls.push_back("request " + SizeText(size));
        const std::optional<PixelSize> answered = answer(size);
        if (answered) {
            connected = *answered;
        }
        return answered.has_value();
    }
    std::optional<PixelSize> ConnectedSize() override {
        return readable ? std::optional<PixelSize>(connected) : std::nullopt;
    }
    bool Start() override {
        calls.push_back("start");
        return starts;
    }
    void Stop() override { calls.push_back("stop"); }
    std::optional<FrameView> NewestFrame() override {
        if (frames.empty()) {
            return std::nullopt;
        }
        handedOut = std::move(frames.front());
        frames.pop_front();
        handedOut.view.data = handedOut.bytes.data();
        return handedOut.view;
    }
    std::vector<PixelSize> OfferedSizes() override { return offered; }
    std::vector<PictureControl> PictureControls() override { return controls; }
    void SetPictureControl(std::size_t index, int value) override {
        controlChanges.emplace_back(index, value);
    }
    bool ShowDeviceSettings() override {
        if (ownWindows) {
            calls.push_back("device settings");
        }
        return ownWindows;
    }
    // The device's own format window connects it at formatAnswer.
    bool ShowFormatSettings() override {
        if (ownWindows) {
            calls.push_back("format settings");
            connected = formatAnswer;
        }
        return ownWindows;
    }
    void Release() override { calls.push_back("release"); }

    std::optional<std::vector<std::string>> devices =
        std::vector<std::string>{"Camera"};  // none: no layer
    BindResult bindResult = BindResult::Bound;
    std::function<std::optional<PixelSize>(std::optional<PixelSize>)> answer =
        [](std::optional<PixelSize> size) {
            return size.value_or(PixelSize{4, 2});
        };
    PixelSize connected;
    bool readable = true;
    bool starts = true;
    std::deque<Frame> frames;
    std::vector<PixelSize> offered;
    std::vector<PictureControl> controls;
    bool ownWindows = false;  // the layer's devices bring their own settings windows
    PixelSize formatAnswer;

    std::string boundDevice;
    // "request WxH" / "request any", "start", "stop", "release", "device settings",
    // "format settings"
    std::vector<std::string> calls;
    std::vector<std::pair<std::size_t, int>> controlChanges;

  private:
    Frame handedOut;
};

class FakeUi final : public PluginUi {
  public:
    struct Message {
        std::string text;
        std::string caption;
        MessageBoxOwner owner;
        bool operator==(const Message&) const = default;
    };

    std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names) override {
        deviceLists.push_back(names);
        return deviceAnswer;
    }
    void RunOptionDialog(const OptionDialogRows& rows,
                         const OptionDialogButtons& buttons) override {
        optionRows.push_back(rows);
        optionDialogOpen = true;
        if (inOptionDialog) {
            inOptionDialog(buttons);
        }
        optionDialogOpen = false;
    }
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageBoxOwner owner) override {
        EXPECT_TRUE(owner == MessageBoxOwner::None || optionDialogOpen);
        messages.push_back(Message{text, caption, owner});
    }
    std::optional<std::size_t> ChooseSourceSize(const std::vector<PixelSize>& sizes,
                                                std::size_t current) override {
        sourceSizes = sizes;
        sourceSizeInForce = current;
        return sourceSizeAnswer;
    }
    void RunPictureControls(const std::vector<PictureControl>& controls,
                            const std::function<void(std::size_t, int)>& setValue) override {
        shownControls = controls;
        ++pictureWindows;
        if (inPictureControls) {
            inPictureControls(setValue);
        }
    }

    std::optional<std::size_t> deviceAnswer = 0;
    std::function<void(const OptionDialogButtons&)> inOptionDialog;
    std::optional<std::size_t> sourceSizeAnswer;
    std::function<void(const std::function<void(std::size_t, int)>&)> inPictureControls;

    std::vector<std::vector<std::string>> deviceLists;
    std::vector<OptionDialogRows> optionRows;
    bool optionDialogOpen = false;
    std::vector<Message> messages;
    std::vector<PixelSize> sourceSizes;
    std::size_t sourceSizeInForce = 0;
    std::vector<PictureControl> shownControls;
    int pictureWindows = 0;
};
