#include "platform_capture_backend.h"

#include <olectl.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "media_type_memory.h"
#include "wide_text.h"

namespace {

// Every object is made in-process or by a local server, as the platform offers it.
constexpr DWORD CREATE_CONTEXT = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// The format block a stream's size is changed in: a VIDEOINFOHEADER.
constexpr ULONG VIDEO_INFO_BYTES = 88;
static_assert(sizeof(VIDEOINFOHEADER) == VIDEO_INFO_BYTES);

// The layer's own handle on a listed device: its moniker, so the device bound is the one listed
// even when devices come or go, or some have no readable name.
class DshowDeviceIdentity final : public DeviceIdentity {
  public:
    explicit DshowDeviceIdentity(ComRef<IMoniker> moniker) : moniker(std::move(moniker)) {}
    ComRef<IMoniker> moniker;
};

// The system device enumerator's list of video input devices; none when either is missing.
// The video input category's list; none when the system device enumerator is missing, and an
// empty reference when the category is empty (S_FALSE and no list).
std::optional<ComRef<IEnumMoniker>> VideoInputDevices() {
    ComRef<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CREATE_CONTEXT, IID_ICreateDevEnum,
                                devices.OutVoid())) ||
        !devices) {
        return std::nullopt;
    }
    ComRef<IEnumMoniker> category;
    devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, category.Out(), 0);
    return category;
}

// The device's display name; none when it cannot be read.
std::optional<std::string> FriendlyName(IMoniker& moniker) {
    ComRef<IPropertyBag> bag;
    if (FAILED(moniker.BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) {
        return std::nullopt;
    }
    VARIANT name;
    VariantInit(&name);
    V_VT(&name) = VT_BSTR;
    std::optional<std::string> result;
    if (bag->Read(L"FriendlyName", &name, nullptr) == S_OK && V_VT(&name) == VT_BSTR) {
        // The controller's names are UTF-8; windows show them through the W functions again.
        result = Narrow(V_BSTR(&name) != nullptr ? V_BSTR(&name) : L"");
    }
    VariantClear(&name);
    return result;
}

// Calls visit with each output pin of filter that offers IAMStreamConfig. False when the pins
// cannot be enumerated.
template <typename Visit>
bool ForEachStreamConfig(IBaseFilter& filter, Visit visit) {
    ComRef<IEnumPins> pins;
    if (FAILED(filter.EnumPins(pins.Out())) || !pins) {
        return false;
    }
    ComRef<IPin> pin;
    while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        ComRef<IAMStreamConfig> config;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT &&
            SUCCEEDED(pin->QueryInterface(IID_IAMStreamConfig, config.OutVoid()))) {
            visit(*config.Get());
        }
    }
    return true;
}

// Shows pages for object in a modal property frame without owner; returns when it is closed.
void ShowPropertyPages(IUnknown* object, ISpecifyPropertyPages& pages, const wchar_t* caption) {
    CAUUID list{};
    if (FAILED(pages.GetPages(&list))) {
        return;
    }
    OleCreatePropertyFrame(nullptr, 0, 0, caption, 1, &object, list.cElems, list.pElems, 0, 0,
                           nullptr);
    CoTaskMemFree(list.pElems);
}

}  // namespace

PlatformCaptureBackend::~PlatformCaptureBackend() {
    ReleaseGraph();
}

std::optional<std::vector<ListedDevice>> PlatformCaptureBackend::ListDevices() {
    // The first call that needs COM enters this thread's single-threaded apartment; Release
    // leaves it. The plug-in's caller makes every call on the thread that loaded it.
    if (!apartment_) {
        apartment_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    std::optional<ComRef<IEnumMoniker>> category = VideoInputDevices();
    if (!category) {
        return std::nullopt;
    }
    std::vector<ListedDevice> listed;
    ComRef<IEnumMoniker>& devices = *category;
    if (!devices) {
        return listed;
    }
    devices->Reset();
    ComRef<IMoniker> moniker;
    while (devices->Next(1, moniker.Out(), nullptr) == S_OK) {
        if (std::optional<std::string> name = FriendlyName(*moniker.Get())) {
            listed.push_back(ListedDevice{
                std::move(*name), std::make_unique<DshowDeviceIdentity>(std::move(moniker))});
        }
    }
    return listed;
}

BindResult PlatformCaptureBackend::Bind(const DeviceIdentity& identity) {
    const auto* device = dynamic_cast<const DshowDeviceIdentity*>(&identity);
    if (device == nullptr ||
        FAILED(device->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                             ownCaptureFilter_.OutVoid())) ||
        !ownCaptureFilter_) {
        return BindResult::NoDevice;
    }
    captureFilter_ = ownCaptureFilter_.Get();
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CREATE_CONTEXT, IID_IGraphBuilder,
                                filterGraph_.OutVoid())) ||
        !filterGraph_) {
        return BindResult::NoPipeline;
    }
    if (SUCCEEDED(filterGraph_->AddFilter(captureFilter_, L"Video Capture"))) {
        ownCaptureFilter_.Reset();  // the graph's reference keeps it from now on
    }
    if (FAILED(filterGraph_->QueryInterface(IID_IMediaControl, mediaControl_.OutVoid())) ||
        !mediaControl_) {
        return BindResult::NoRunControl;
    }
    if (FAILED(CoCreateInstance(CLSID_GrabletSampleGrabber, nullptr, CREATE_CONTEXT,
                                IID_IBaseFilter, grabberFilter_.OutVoid())) ||
        !grabberFilter_ ||
        FAILED(
            grabberFilter_->QueryInterface(IID_GrabletSampleGrabber, sampleGrabber_.OutVoid())) ||
        !sampleGrabber_) {
        return BindResult::NoGrabber;
    }
    // Any video in 24-bit RGB: the builder puts a converter in front when the device has none.
    AM_MEDIA_TYPE rgb24{};
    rgb24.majortype = MEDIATYPE_Video;
    rgb24.subtype = MEDIASUBTYPE_RGB24;
    rgb24.formattype = FORMAT_VideoInfo;
    sampleGrabber_->SetMediaType(&rgb24);
    filterGraph_->AddFilter(grabberFilter_.Get(), L"SampleGrabber");
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CREATE_CONTEXT,
                                IID_ICaptureGraphBuilder2, captureGraphBuilder_.OutVoid())) ||
        !captureGraphBuilder_) {
        return BindResult::NoConnection;
    }
    captureGraphBuilder_->SetFiltergraph(filterGraph_.Get());
    return BindResult::Bound;
}

bool PlatformCaptureBackend::RequestSize(std::optional<PixelSize> size) {
    if (!size) {
        // The device's own format into the grabber, once; a failure shows as no connected size.
        if (!connected_ && captureGraphBuilder_) {
            captureGraphBuilder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                               captureFilter_, nullptr, grabberFilter_.Get());
            connected_ = true;
        }
        return true;
    }
    if (captureFilter_ == nullptr) {
        return false;
    }
    // Every output stream gets the size; the device reconnects its pins at a size it takes.
    bool accepted = true;
    const bool enumerated = ForEachStreamConfig(*captureFilter_, [&](IAMStreamConfig& config) {
        AM_MEDIA_TYPE* format = nullptr;
        if (FAILED(config.GetFormat(&format)) || format == nullptr) {
            return;
        }
        if (format->pbFormat != nullptr && format->cbFormat == VIDEO_INFO_BYTES) {
            auto* header = reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat);
            header->bmiHeader.biWidth = size->width;
            header->bmiHeader.biHeight = size->height;
            if (config.SetFormat(format) != S_OK) {
                accepted = false;
            }
        }
        FreeMediaType(format);
    });
    return enumerated && accepted;
}

std::optional<PixelSize> PlatformCaptureBackend::ConnectedSize() {
    if (!sampleGrabber_) {
        return std::nullopt;
    }
    AM_MEDIA_TYPE type{};
    if (FAILED(sampleGrabber_->GetConnectedMediaType(&type))) {
        return std::nullopt;
    }
    std::optional<PixelSize> size;
    if (type.pbFormat != nullptr && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const BITMAPINFOHEADER& bitmap =
            reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
        // A negative height means rows stored top-down; the frame is as high either way.
        topDown_ = bitmap.biHeight < 0;
        if (bitmap.biHeight != LONG_MIN) {
            size = PixelSize{bitmap.biWidth, std::abs(bitmap.biHeight)};
            connectedSize_ = *size;
        }
    }
    ClearMediaType(type);
    return size;
}

bool PlatformCaptureBackend::Start() {
    if (!sampleGrabber_ || !mediaControl_ || sampleGrabber_->SetBufferSamples(TRUE) != S_OK) {
        return false;
    }
    mediaControl_->Run();  // a graph that does not run delivers no frame, which shows as black
    return true;
}

void PlatformCaptureBackend::Stop() {
    // The grabber forgets its frame when buffering goes off.
    if (sampleGrabber_) {
        sampleGrabber_->SetBufferSamples(FALSE);
    }
    if (mediaControl_) {
        mediaControl_->Stop();
    }
}

std::optional<FrameView> PlatformCaptureBackend::NewestFrame() {
    if (!sampleGrabber_ || connectedSize_.width <= 0 || connectedSize_.height <= 0) {
        return std::nullopt;
    }
    // A bitmap's rows start on four-byte boundaries.
    const std::size_t stride = (static_cast<std::size_t>(connectedSize_.width) * 3 + 3) & ~3U;
    const std::size_t bytes = stride * static_cast<std::size_t>(connectedSize_.height);
    if (bytes > static_cast<std::size_t>(LONG_MAX)) {
        return std::nullopt;
    }
    view_.resize(bytes);  // keeps its storage while the size stays
    LONG copied = static_cast<LONG>(bytes);
    if (sampleGrabber_->GetCurrentBuffer(&copied, reinterpret_cast<LONG*>(view_.data())) != S_OK ||
        copied < 0) {
        return std::nullopt;
    }
    return FrameView{view_.data(),
                     std::min(static_cast<std::size_t>(copied), bytes),
                     connectedSize_.width,
                     connectedSize_.height,
                     stride,
                     topDown_ ? FrameRowOrder::TopDown : FrameRowOrder::BottomUp};
}

std::vector<PixelSize> PlatformCaptureBackend::OfferedSizes() {
    return {};  // the device's format pages offer its sizes
}

std::vector<PictureControl> PlatformCaptureBackend::PictureControls() {
    return {};  // the device's own pages hold its picture settings
}

void PlatformCaptureBackend::SetPictureControl(std::size_t, int) {}

bool PlatformCaptureBackend::ShowDeviceSettings() {
    if (!mediaControl_) {
        return true;
    }
    ComRef<IBaseFilter> filter;
    ComRef<ISpecifyPropertyPages> pages;
    if (FAILED(filterGraph_->FindFilterByName(L"Video Capture", filter.Out())) || !filter ||
        FAILED(filter->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()))) {
        return true;
    }
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    ComRef<IFilterGraph> infoGraph;
    *infoGraph.Out() = info.pGraph;  // the reference QueryFilterInfo adds
    ShowPropertyPages(filter.Get(), *pages.Get(), info.achName);
    return true;
}

bool PlatformCaptureBackend::ShowFormatSettings() {
    if (captureFilter_ == nullptr) {
        return true;
    }
    ForEachStreamConfig(*captureFilter_, [](IAMStreamConfig& config) {
        ComRef<ISpecifyPropertyPages> pages;
        if (SUCCEEDED(config.QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()))) {
            ShowPropertyPages(&config, *pages.Get(), nullptr);
        }
    });
    return true;
}

void PlatformCaptureBackend::Release() {
    if (mediaControl_) {
        mediaControl_->Stop();  // stopped before buffering goes off: no sample is half kept
        if (sampleGrabber_) {
            sampleGrabber_->SetBufferSamples(FALSE);
        }
    }
    ReleaseGraph();
    if (apartment_) {
        CoUninitialize();
        apartment_ = false;
    }
}

void PlatformCaptureBackend::ReleaseGraph() {
    // The graph first: it holds the device filter, which goes with it.
    filterGraph_.Reset();
    mediaControl_.Reset();
    grabberFilter_.Reset();
    sampleGrabber_.Reset();
    captureGraphBuilder_.Reset();
    captureFilter_ = nullptr;
    ownCaptureFilter_.Reset();
    connected_ = false;
    connectedSize_ = PixelSize{};
    view_.clear();
    view_.shrink_to_fit();
}

std::unique_ptr<CaptureBackend> CreateCaptureBackend() {
    return std::make_unique<PlatformCaptureBackend>();
}
