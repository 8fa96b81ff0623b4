// RavkelerCamera.dll: the video input device "Ravkeler Camera", a live source whose pictures are
// the ones the viewer publishes in the shared frames, or the still picture while none is usable.
// A program that opens the camera never waits for the viewer: the section is opened when it
// exists, and the stream waits at most two frames' time for a picture.
#include <dshow.h>

#include <cstring>
#include <string>

#include "camera_feed.h"
#include "camera_name.h"
#include "com_server.h"
#include "live_source.h"

namespace {

// {1625E010-C649-4C00-9A42-8A5F9FEA50D7}
constexpr CLSID CLSID_RavkelerCamera = {
    0x1625E010, 0xC649, 0x4C00, {0x9A, 0x42, 0x8A, 0x5F, 0x9F, 0xEA, 0x50, 0xD7}};

constexpr std::int64_t FRAME_MS = 33;
// How often a stream without the viewer's section looks for it again.
constexpr std::int64_t SECTION_RETRY_MS = 1000;

// The viewer's block, mapped for reading while its section exists; empty otherwise.
class SectionView {
  public:
    SectionView() {
        const HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, SHARED_FRAMES_SECTION_NAME);
        if (section == nullptr) {
            return;
        }
        view_ = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
        CloseHandle(section);  // the view keeps the section
        MEMORY_BASIC_INFORMATION region{};
        if (view_ != nullptr && VirtualQuery(view_, &region, sizeof region) == sizeof region) {
            bytes_ = region.RegionSize;  // the whole view, whatever size its maker gave it
        }
    }
    ~SectionView() {
        if (view_ != nullptr) {
            UnmapViewOfFile(view_);
        }
    }
    SectionView(const SectionView&) = delete;
    SectionView& operator=(const SectionView&) = delete;

    std::span<const std::uint8_t> Block() const {
        return {static_cast<const std::uint8_t*>(view_), bytes_};
    }

  private:
    void* view_ = nullptr;
    std::size_t bytes_ = 0;
};

class CameraStream final : public LiveStream {
  public:
    // The event is made here when the viewer has not made it yet: one name, one event.
    CameraStream() : published_(CreateEventW(nullptr, FALSE, FALSE, SHARED_FRAMES_EVENT_NAME)) {}
    ~CameraStream() override {
        if (published_ != nullptr) {
            CloseHandle(published_);
        }
    }
    CameraStream(const CameraStream&) = delete;
    CameraStream& operator=(const CameraStream&) = delete;

    std::vector<SampleFormat> Formats() override {
        const SectionView section;
        return OfferedFormats(PublishedSize(section.Block(), SharedFramesClockMs()));
    }

    // At most one picture a frame's time. While the viewer publishes, the next goes as soon as
    // it has published a new one, or a frame's time later should it be slow; while it does not,
    // the still picture goes at once.
    void AwaitPicture() override {
        const std::int64_t early = lastMs_ + FRAME_MS - SharedFramesClockMs();
        if (early > 0) {
            Sleep(static_cast<DWORD>(early));
        }
        if (live_ && published_ != nullptr) {
            WaitForSingleObject(published_, FRAME_MS);
        }
    }

    void DrawPicture(const SampleFormat& format, std::span<std::uint8_t> sample) override {
        lastMs_ = SharedFramesClockMs();
        if (section_ == nullptr || (section_->Block().empty() && lastMs_ >= nextLook_)) {
            section_ = std::make_unique<SectionView>();
            nextLook_ = lastMs_ + SECTION_RETRY_MS;
        }
        live_ = FillCameraSample(feed_, section_->Block(), format, sample, lastMs_);
    }

    void Load(IPropertyBag&) override {}  // the registration holds the name only

  private:
    HANDLE published_;
    std::unique_ptr<SectionView> section_;
    std::int64_t nextLook_ = 0;  // when to look for a missing section again
    CameraFeed feed_;
    std::int64_t lastMs_ = 0;  // when the last picture was drawn
    bool live_ = false;        // it was one the viewer published
};

constexpr LiveSourceClasses CLASSES{&CLSID_RavkelerCamera, nullptr, nullptr};

ClassFactory cameraFactory(CLSID_RavkelerCamera, []() -> IUnknown* {
    return NewLiveSource(CLASSES, std::make_unique<CameraStream>());
});
ClassFactory* const FACTORIES[] = {&cameraFactory};

}  // namespace

extern "C" {

HRESULT __stdcall DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    return GetClassObject(FACTORIES, id, iid, out);
}

HRESULT __stdcall DllCanUnloadNow() {
    return CanUnloadServer();
}

HRESULT __stdcall DllRegisterServer() {
    const std::wstring name(CAMERA_NAME, CAMERA_NAME + std::strlen(CAMERA_NAME));  // ASCII
    const GUID* const subtypes[] = {&MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_YUY2};
    const HRESULT result = RegisterServerClass(CLSID_RavkelerCamera);
    return FAILED(result) ? result
                          : RegisterVideoInputDevice(CLSID_RavkelerCamera, name.c_str(), nullptr,
                                                     subtypes, nullptr);
}

HRESULT __stdcall DllUnregisterServer() {
    const HRESULT device = UnregisterVideoInputDevice(CLSID_RavkelerCamera, nullptr);
    const HRESULT server = UnregisterServerClass(CLSID_RavkelerCamera);
    return FAILED(device) ? device : server;
}

}  // extern "C"
