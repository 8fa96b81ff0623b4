#include "platform_camera_output.h"

#include <cstring>
#include <memory>

namespace {

std::string WindowsError(const char* what) {
    return std::string(what) + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// A session number no earlier publisher of the block used: the one before it plus one, or, in a
// new block, one from the clock.
std::uint32_t NextSession(const SharedFramesHeader& header) {
    return header.magic == SHARED_FRAMES_MAGIC
               ? header.session + 1
               : static_cast<std::uint32_t>(SharedFramesClockMs()) | 1;
}

// The v4l2loopback kind names a Linux device.
class UnavailableCameraOutput final : public CameraOutput {
  public:
    bool Open(PixelSize, std::string& error) override {
        error = "VirtualCamera=v4l2loopback is for Linux only; Windows uses VirtualCamera=1";
        return false;
    }
    bool Send(const SurfaceView&, std::string&) override { return false; }
    void Close() override {}
};

}  // namespace

PlatformCameraOutput::~PlatformCameraOutput() {
    Close();
}

bool PlatformCameraOutput::Open(PixelSize size, std::string& error) {
    Close();
    if (size.width <= 0 || size.height <= 0 || size.width > SHARED_FRAME_MAX_WIDTH ||
        size.height > SHARED_FRAME_MAX_HEIGHT) {
        error = "the camera takes pictures up to " + std::to_string(SHARED_FRAME_MAX_WIDTH) +
                " x " + std::to_string(SHARED_FRAME_MAX_HEIGHT) + ", not " +
                std::to_string(size.width) + " x " + std::to_string(size.height);
        return false;
    }
    constexpr auto BYTES = static_cast<std::uint64_t>(SHARED_FRAMES_BYTES);
    section_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                  static_cast<DWORD>(BYTES >> 32), static_cast<DWORD>(BYTES),
                                  SHARED_FRAMES_SECTION_NAME);
    void* view = section_ != nullptr
                     ? MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, SHARED_FRAMES_BYTES)
                     : nullptr;
    published_ = CreateEventW(nullptr, FALSE, FALSE, SHARED_FRAMES_EVENT_NAME);
    if (view == nullptr || published_ == nullptr) {
        error = WindowsError("the camera's shared memory cannot be made");
        if (view != nullptr) {
            UnmapViewOfFile(view);
        }
        Close();
        return false;
    }
    writer_.block = {static_cast<std::uint8_t*>(view), SHARED_FRAMES_BYTES};
    StartSharedFrames(writer_, NextSession(*reinterpret_cast<const SharedFramesHeader*>(view)));
    // The pages the pictures take are touched now, while the viewer starts or changes its size,
    // so that no paint pays for a new page.
    for (std::size_t slot = 0; slot < SHARED_FRAME_SLOTS; ++slot) {
        std::memset(
            writer_.block.data() + SHARED_FRAMES_PIXEL_OFFSET + slot * SHARED_SLOT_PIXEL_BYTES, 0,
            PackedRowBytes(size.width) * static_cast<std::size_t>(size.height));
    }
    return true;
}

bool PlatformCameraOutput::Send(const SurfaceView& picture, std::string& error) {
    if (writer_.block.empty() || !PublishSharedFrame(writer_, picture, SharedFramesClockMs())) {
        error = "the camera cannot take a picture of " + std::to_string(picture.width) + " x " +
                std::to_string(picture.height);
        return false;
    }
    SetEvent(published_);
    return true;
}

void PlatformCameraOutput::Close() {
    if (!writer_.block.empty()) {
        StopSharedFrames(writer_);
        UnmapViewOfFile(writer_.block.data());
        writer_.block = {};
    }
    for (HANDLE* handle : {&published_, &section_}) {
        if (*handle != nullptr) {
            CloseHandle(*handle);
            *handle = nullptr;
        }
    }
}

std::unique_ptr<CameraOutput> MakePlatformCameraOutput(VirtualCameraKind kind) {
    if (kind == VirtualCameraKind::V4l2Loopback) {
        return std::make_unique<UnavailableCameraOutput>();
    }
    return std::make_unique<PlatformCameraOutput>();
}
