#include "grablet_controller.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <utility>

#include "camera_name.h"

namespace {

constexpr char NO_DEVICE_LINE[] = "ビデオキャプチャデバイスは存在しません";
constexpr char NO_VIDEO_HEADER_MESSAGE[] = "ビデオヘッダーを取得できませんでした";

// The message for a failed build step; none where the failure stays silent.
const char* BindFailureMessage(BindResult result) {
    switch (result) {
        case BindResult::NoPipeline:
            return "フィルタグラフを取得できませんでした";
        case BindResult::NoRunControl:
            return "MediaControl を取得できませんでした";
        case BindResult::NoGrabber:
            return "グラバフィルタを取得できませんでした";
        case BindResult::NoConnection:
            return "キャプチャグラフを取得できませんでした";
        case BindResult::Bound:
        case BindResult::NoDevice:
            break;
    }
    return nullptr;
}

// The sizes the source settings offer: the size in force first unless the device lists it, then
// each frame size the device lists, once, in its order.
std::vector<PixelSize> SourceSizeChoices(const std::vector<PixelSize>& offered, PixelSize current) {
    std::vector<PixelSize> choices;
    if (std::find(offered.begin(), offered.end(), current) == offered.end()) {
        choices.push_back(current);
    }
    for (const PixelSize& size : offered) {
        if (IsFrameSize(size) && std::find(choices.begin(), choices.end(), size) == choices.end()) {
            choices.push_back(size);
        }
    }
    return choices;
}

// "ravk" or "RAVK.EXE" in any folder: the viewer, not another program reading its camera.
bool IsViewerProgram(const std::string& path) {
    std::string title = FileTitle(path);
    std::transform(title.begin(), title.end(), title.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return title == "ravk";
}

}  // namespace

std::string FileTitle(const std::string& path) {
    const std::size_t folderEnd = path.find_last_of("/\\");
    std::string name = folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

GrabletController::GrabletController(CaptureBackend& backend, PluginUi& ui, std::string modulePath,
                                     const std::string& hostProgram, std::FILE* diagnostics)
    : backend_(backend),
      ui_(ui),
      modulePath_(std::move(modulePath)),
      inViewer_(IsViewerProgram(hostProgram)),
      diagnostics_(diagnostics) {}

bool GrabletController::OnInit() {
    // Each start begins from the state at load: a module that stays mapped after its unloading
    // still holds the last capture's frame when it is loaded again.
    state_ = PluginState{};
    capturing_ = false;
    std::optional<std::vector<ListedDevice>> listing = backend_.ListDevices();
    if (!listing) {
        return false;  // nothing to say: the layer itself is missing
    }
    std::vector<ListedDevice>& devices = *listing;
    if (inViewer_) {
        // Offered to the viewer, its own camera would only loop its picture back into it.
        std::erase_if(devices,
                      [](const ListedDevice& device) { return device.name == CAMERA_NAME; });
    }
    if (devices.empty()) {
        std::fprintf(diagnostics_, "%s\n", NO_DEVICE_LINE);
        std::fflush(diagnostics_);
        return false;
    }
    std::size_t index = 0;
    if (devices.size() >= 2) {
        std::vector<std::string> names;
        for (const ListedDevice& device : devices) {
            names.push_back(device.name);
        }
        const std::optional<std::size_t> chosen = ui_.ChooseDevice(names);
        if (!chosen || *chosen >= devices.size()) {
            return false;
        }
        index = *chosen;
    }
    state_.deviceName = devices[index].name;
    const BindResult bound = backend_.Bind(*devices[index].identity);
    if (bound != BindResult::Bound) {
        if (const char* message = BindFailureMessage(bound)) {
            ui_.ShowMessage(message, GRABLET_DISPLAY_NAME, MessageBoxOwner::None);
        }
        return false;
    }
    // A connection that fails shows as an unreadable size.
    backend_.RequestSize(std::nullopt);
    if (!AdoptConnected()) {
        ui_.ShowMessage(NO_VIDEO_HEADER_MESSAGE, GRABLET_DISPLAY_NAME, MessageBoxOwner::None);
        return false;
    }
    backend_.Start();  // a flow that does not start delivers the zeroed frame
    capturing_ = true;
    return true;
}

bool GrabletController::SetResolution(std::int32_t width, std::int32_t height) {
    const PixelSize request{width, height};
    // A size no frame can have is refused before anything stops.
    if (!capturing_ || !IsFrameSize(request)) {
        return false;
    }
    backend_.Stop();
    const bool accepted = backend_.RequestSize(request);
    if (!AdoptConnected() || !backend_.Start()) {
        return false;
    }
    return accepted;
}

std::int32_t GrabletController::Capture(std::uint8_t* pixels) {
    if (capturing_) {
        if (const std::optional<FrameView> frame = backend_.NewestFrame()) {
            TakeFrame(state_, *frame);  // a frame that does not fit leaves the last one
        }
    }
    if (pixels != nullptr && !state_.frameBuffer.empty()) {
        std::memcpy(pixels, state_.frameBuffer.data(), state_.frameBuffer.size());
    }
    // Adoption keeps the count within 32 bits.
    return static_cast<std::int32_t>(state_.frameBuffer.size());
}

void GrabletController::RunOptionDialog() {
    ui_.RunOptionDialog(
        OptionDialogRows{state_.deviceName, state_.frameWidth, state_.frameHeight},
        OptionDialogButtons{[this] { InputSettings(); }, [this] { SourceSettings(); }});
}

void GrabletController::OnDestroy() {
    backend_.Release();
    capturing_ = false;
}

void GrabletController::InputSettings() {
    if (!capturing_ || backend_.ShowDeviceSettings()) {
        return;
    }
    const std::vector<PictureControl> controls = backend_.PictureControls();
    if (controls.empty()) {
        return;
    }
    ui_.RunPictureControls(controls, [this, &controls](std::size_t index, int value) {
        if (index < controls.size() && value >= controls[index].minimum &&
            value <= controls[index].maximum) {
            backend_.SetPictureControl(index, value);
        }
    });
}

void GrabletController::SourceSettings() {
    if (!capturing_) {
        return;
    }
    backend_.Stop();
    if (!backend_.ShowFormatSettings()) {
        const PixelSize current = Resolution();
        const std::vector<PixelSize> sizes = SourceSizeChoices(backend_.OfferedSizes(), current);
        const std::size_t inForce = static_cast<std::size_t>(
            std::find(sizes.begin(), sizes.end(), current) - sizes.begin());
        const std::optional<std::size_t> chosen = ui_.ChooseSourceSize(sizes, inForce);
        // Cancelled: the same size again. A refusal shows in the size read back.
        backend_.RequestSize(chosen && *chosen < sizes.size() ? sizes[*chosen] : current);
    }
    if (!AdoptConnected()) {
        ui_.ShowMessage(NO_VIDEO_HEADER_MESSAGE, FileTitle(modulePath_),
                        MessageBoxOwner::OptionDialog);
        return;
    }
    backend_.Start();
}

bool GrabletController::AdoptConnected() {
    const std::optional<PixelSize> size = backend_.ConnectedSize();
    if (!size || !AdoptConnectedSize(state_, *size)) {
        backend_.Stop();  // a layer that connects by running the flow must not go on
        return false;
    }
    return true;
}
