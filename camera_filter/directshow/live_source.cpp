#include "live_source.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "com_object.h"
#include "list_enum.h"
#include "media_types.h"

namespace {

constexpr wchar_t PIN_NAME[] = L"Capture";

IPin* AddRefPin(IPin* pin) {
    pin->AddRef();
    return pin;
}
void ReleasePin(IPin* pin) {
    pin->Release();
}

// The list of pages a filter or pin names: the one page given.
HRESULT OnePage(const CLSID& page, CAUUID* pages) {
    if (pages == nullptr) {
        return E_POINTER;
    }
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (pages->pElems == nullptr) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = page;
    return S_OK;
}

class LiveSource;

// The capture pin; it lives as long as its filter and counts on it.
class CapturePin final : public IPin,
                         public IKsPropertySet,
                         public IAMStreamConfig,
                         public ISpecifyPropertyPages {
  public:
    CapturePin(LiveSource& filter, LiveStream& stream, const CLSID* formatPage)
        : filter_(filter), stream_(stream), formatPage_(formatPage) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
        return E_UNEXPECTED;  // an output pin
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
        *pin = peer_;
        if (peer_ == nullptr) {
            return VFW_E_NOT_CONNECTED;
        }
        peer_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override {
        if (peer_ == nullptr) {
            std::memset(type, 0, sizeof *type);
            return VFW_E_NOT_CONNECTED;
        }
        CopyMediaType(connectedType_, *type);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
        *direction = PINDIR_OUTPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override {
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof PIN_NAME));
        std::memcpy(*id, PIN_NAME, sizeof PIN_NAME);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
        const std::optional<SampleFormat> format = SampleFormatOf(type);
        const std::vector<SampleFormat> offered = Offered();
        return format && std::ranges::find(offered, *format) != offered.end() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        std::vector<AM_MEDIA_TYPE*> listed;
        for (const SampleFormat& format : Offered()) {
            listed.push_back(NewMediaType(format));
        }
        *types =
            new ListEnum<IEnumMediaTypes, AM_MEDIA_TYPE*, AM_MEDIA_TYPE* (*)(AM_MEDIA_TYPE*),
                         void (*)(AM_MEDIA_TYPE*)>(std::move(listed), CopyMediaType, FreeMediaType);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
        return S_OK;
    }

    // IKsPropertySet: the pin's category, so a graph builder knows it for a capture pin.
    HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD bytes,
                                  DWORD* returned) override {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) {
            return E_PROP_ID_UNSUPPORTED;
        }
        if (returned != nullptr) {
            *returned = sizeof(GUID);
        }
        if (data == nullptr) {
            return returned != nullptr ? S_OK : E_POINTER;
        }
        if (bytes < sizeof(GUID)) {
            return E_UNEXPECTED;
        }
        *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) {
            return E_PROP_ID_UNSUPPORTED;
        }
        *support = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }

    // IAMStreamConfig
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override {
        *type = NewMediaType(InForce());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* bytes) override {
        *count = static_cast<int>(stream_.Formats().size());
        *bytes = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
        const std::vector<SampleFormat> formats = stream_.Formats();
        if (index < 0 || index >= static_cast<int>(formats.size())) {
            return S_FALSE;
        }
        const SampleFormat& format = formats[static_cast<std::size_t>(index)];
        *type = NewMediaType(format);
        auto* config = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
        std::memset(config, 0, sizeof *config);
        config->guid = FORMAT_VideoInfo;
        config->InputSize = config->MinOutputSize =
            config->MaxOutputSize = {format.size.width, format.size.height};
        config->MinFrameInterval = config->MaxFrameInterval = FRAME_TIME;
        return S_OK;
    }

    // ISpecifyPropertyPages, asked through IAMStreamConfig: the format page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        return OnePage(*formatPage_, pages);
    }

    // The filter's state changes.
    void Activate();
    void Deactivate();

  private:
    // The format connected, else the one chosen, else the stream's first.
    SampleFormat InForce() const {
        return peer_ != nullptr ? connected_ : chosen_ ? *chosen_ : stream_.Formats().front();
    }
    // What the pin offers: the format in force first, then the stream's others.
    std::vector<SampleFormat> Offered() const {
        std::vector<SampleFormat> offered{InForce()};
        for (const SampleFormat& format : stream_.Formats()) {
            if (format != offered.front()) {
                offered.push_back(format);
            }
        }
        return offered;
    }
    HRESULT ConnectWith(IPin* receiver, const SampleFormat& format);
    void Stream();
    void StampTime(IMediaSample& sample) const;

    LiveSource& filter_;
    LiveStream& stream_;
    const CLSID* formatPage_;
    std::optional<SampleFormat> chosen_;  // by SetFormat or the last connection
    SampleFormat connected_;              // while peer_ is set
    AM_MEDIA_TYPE connectedType_{};       // the same, as the receiver took it
    IPin* peer_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
    std::thread streaming_;
    std::atomic<bool> streamingOn_{false};
};

class LiveSource final : public IBaseFilter,
                         public IPersistPropertyBag,
                         public ISpecifyPropertyPages,
                         public Counted<LiveSource> {
  public:
    LiveSource(const LiveSourceClasses& classes, std::unique_ptr<LiveStream> stream)
        : classes_(classes),
          stream_(std::move(stream)),
          pin_(*this, *stream_, classes.formatPage) {}
    ~LiveSource() {
        pin_.Deactivate();
        pin_.Disconnect();
        if (clock_ != nullptr) {
            clock_->Release();
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
            iid == IID_IBaseFilter) {
            *out = static_cast<IBaseFilter*>(this);
        } else if (iid == IID_IPersistPropertyBag) {
            *out = static_cast<IPersistPropertyBag*>(this);
        } else if (iid == IID_ISpecifyPropertyPages && classes_.devicePage != nullptr) {
            *out = static_cast<ISpecifyPropertyPages*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseReference(); }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        *id = *classes_.filter;
        return S_OK;
    }

    // IMediaFilter: a live source, which cannot cue a frame while paused.
    HRESULT STDMETHODCALLTYPE Stop() override {
        pin_.Deactivate();
        state_ = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override {
        if (state_ == State_Stopped) {
            pin_.Activate();
        }
        state_ = State_Paused;
        return VFW_S_CANT_CUE;
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override {
        if (state_ == State_Stopped) {
            pin_.Activate();
        }
        start_ = start;
        state_ = State_Running;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
        *state = state_;
        return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override {
        if (clock != nullptr) {
            clock->AddRef();
        }
        if (clock_ != nullptr) {
            clock_->Release();
        }
        clock_ = clock;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
        *clock = clock_;
        if (clock_ != nullptr) {
            clock_->AddRef();
        }
        return S_OK;
    }

    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override {
        *pins = new ListEnum<IEnumPins, IPin*, IPin* (*)(IPin*), void (*)(IPin*)>(
            {AddRefPin(&pin_)}, AddRefPin, ReleasePin);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override {
        if (std::wcscmp(id, PIN_NAME) != 0) {
            *pin = nullptr;
            return VFW_E_NOT_FOUND;
        }
        *pin = AddRefPin(&pin_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
        wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
        info->achName[MAX_FILTER_NAME - 1] = L'\0';
        info->pGraph = graph_;
        if (graph_ != nullptr) {
            graph_->AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
        graph_ = graph;  // not counted: the graph holds the filter
        name_ = name != nullptr ? name : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // IPersistPropertyBag: the device's values, from its registration.
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) override {
        stream_->Load(*bag);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    // ISpecifyPropertyPages: the device page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        return OnePage(*classes_.devicePage, pages);
    }

    IFilterGraph* Graph() const { return graph_; }
    FILTER_STATE State() const { return state_; }
    // The stream time now, by the graph's clock; none without a clock.
    std::optional<REFERENCE_TIME> StreamTime() const {
        REFERENCE_TIME now = 0;
        if (clock_ == nullptr || FAILED(clock_->GetTime(&now))) {
            return std::nullopt;
        }
        return now - start_;
    }

  private:
    const LiveSourceClasses classes_;
    std::unique_ptr<LiveStream> stream_;
    CapturePin pin_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    REFERENCE_TIME start_ = 0;
    IReferenceClock* clock_ = nullptr;
    IFilterGraph* graph_ = nullptr;
    std::wstring name_;
};

HRESULT CapturePin::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
    } else if (iid == IID_IKsPropertySet) {
        *out = static_cast<IKsPropertySet*>(this);
    } else if (iid == IID_IAMStreamConfig) {
        *out = static_cast<IAMStreamConfig*>(this);
    } else if (iid == IID_ISpecifyPropertyPages && formatPage_ != nullptr) {
        *out = static_cast<ISpecifyPropertyPages*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CapturePin::AddRef() {
    return filter_.AddRef();
}

ULONG CapturePin::Release() {
    return filter_.Release();
}

HRESULT CapturePin::QueryPinInfo(PIN_INFO* info) {
    info->pFilter = &filter_;
    filter_.AddRef();
    info->dir = PINDIR_OUTPUT;
    std::memcpy(info->achName, PIN_NAME, sizeof PIN_NAME);
    return S_OK;
}

HRESULT CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (peer_ != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (filter_.State() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    // A whole type names one of the formats offered; a partial one takes the first it admits
    // that the receiver takes.
    const bool whole = type != nullptr && type->pbFormat != nullptr;
    if (whole && QueryAccept(type) != S_OK) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    const std::optional<SampleFormat> asked = whole ? SampleFormatOf(type) : std::nullopt;
    for (const SampleFormat& format : Offered()) {
        if ((asked && format != *asked) || (type != nullptr && !Admits(*type, format))) {
            continue;
        }
        const HRESULT result = ConnectWith(receiver, format);
        if (result != VFW_E_NO_ACCEPTABLE_TYPES) {
            return result;
        }
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CapturePin::ConnectWith(IPin* receiver, const SampleFormat& format) {
    AM_MEDIA_TYPE type = MediaTypeOf(format);
    HRESULT result = receiver->ReceiveConnection(this, &type);
    if (FAILED(result)) {
        ClearMediaType(type);
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    connectedType_ = type;
    connected_ = format;
    chosen_ = format;
    peer_ = receiver;
    peer_->AddRef();
    // Samples in the receiver's allocator when it has one, else in a memory allocator.
    result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_));
    if (SUCCEEDED(result) && FAILED(input_->GetAllocator(&allocator_))) {
        result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IMemAllocator, reinterpret_cast<void**>(&allocator_));
    }
    if (SUCCEEDED(result)) {
        ALLOCATOR_PROPERTIES wanted{};
        input_->GetAllocatorRequirements(&wanted);
        // Three buffers: one being filled, one being copied by a tee, one spare.
        wanted.cBuffers = std::max<long>(wanted.cBuffers, 3);
        wanted.cbBuffer = std::max<long>(wanted.cbBuffer, type.lSampleSize);
        wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        result = allocator_->SetProperties(&wanted, &actual);
        if (SUCCEEDED(result)) {
            result = input_->NotifyAllocator(allocator_, FALSE);
        }
    }
    if (FAILED(result)) {
        receiver->Disconnect();
        Disconnect();
    }
    return result;
}

HRESULT CapturePin::Disconnect() {
    if (peer_ == nullptr) {
        return S_FALSE;
    }
    if (allocator_ != nullptr) {
        allocator_->Release();
        allocator_ = nullptr;
    }
    if (input_ != nullptr) {
        input_->Release();
        input_ = nullptr;
    }
    ClearMediaType(connectedType_);
    peer_->Release();
    peer_ = nullptr;
    return S_OK;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
    if (filter_.State() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    const std::optional<SampleFormat> format = SampleFormatOf(type);
    const std::vector<SampleFormat> formats = stream_.Formats();
    if (!format || std::ranges::find(formats, *format) == formats.end()) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    // The format in force stays connected as it is.
    const bool inForce = *format == InForce();
    chosen_ = format;
    IFilterGraph* graph = filter_.Graph();
    if (inForce || peer_ == nullptr || graph == nullptr) {
        return S_OK;
    }
    // Reconnected in the new format; a filter right after us that passes the format on (a tee)
    // has its outputs reconnected too, as Wine's Smart Tee does not do so itself.
    IPin* peer = AddRefPin(peer_);
    HRESULT result = graph->Reconnect(this);
    PIN_INFO info{};
    if (SUCCEEDED(result) && SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter != nullptr) {
        IEnumPins* pins = nullptr;
        if (SUCCEEDED(info.pFilter->EnumPins(&pins))) {
            IPin* pin = nullptr;
            while (pins->Next(1, &pin, nullptr) == S_OK) {
                PIN_DIRECTION direction = PINDIR_INPUT;
                IPin* connected = nullptr;
                if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT &&
                    SUCCEEDED(pin->ConnectedTo(&connected))) {
                    connected->Release();
                    graph->Reconnect(pin);
                }
                pin->Release();
            }
            pins->Release();
        }
        info.pFilter->Release();
    }
    peer->Release();
    return result;
}

void CapturePin::Activate() {
    if (peer_ == nullptr || streamingOn_) {
        return;
    }
    allocator_->Commit();
    streamingOn_ = true;
    streaming_ = std::thread([this] { Stream(); });
}

void CapturePin::Deactivate() {
    if (!streamingOn_) {
        return;
    }
    streamingOn_ = false;
    allocator_->Decommit();  // frees a thread waiting for a buffer
    streaming_.join();
}

void CapturePin::Stream() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const SampleFormat format = connected_;
    const std::size_t bytes = SampleBytes(format);
    while (streamingOn_) {
        stream_.AwaitPicture();
        IMediaSample* sample = nullptr;
        if (filter_.State() != State_Running ||
            FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0))) {
            continue;
        }
        BYTE* data = nullptr;
        if (SUCCEEDED(sample->GetPointer(&data)) && sample->GetSize() >= static_cast<long>(bytes)) {
            stream_.DrawPicture(format, {data, bytes});
            sample->SetActualDataLength(static_cast<long>(bytes));
            sample->SetSyncPoint(TRUE);
            StampTime(*sample);
            input_->Receive(sample);
        }
        sample->Release();
    }
    CoUninitialize();
}

// A live source's sample is due at once: it starts at the stream time it is sent.
void CapturePin::StampTime(IMediaSample& sample) const {
    if (std::optional<REFERENCE_TIME> start = filter_.StreamTime()) {
        REFERENCE_TIME end = *start + FRAME_TIME;
        sample.SetTime(&*start, &end);
    }
}

}  // namespace

IBaseFilter* NewLiveSource(const LiveSourceClasses& classes, std::unique_ptr<LiveStream> stream) {
    return new LiveSource(classes, std::move(stream));
}
