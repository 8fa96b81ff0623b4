// The virtual camera: a plain COM live source filter, written against the platform's interfaces
// only (no filter base classes), as small as the graph, the capture graph builder and the device
// enumerator need it.
#include "virtual_camera.h"

#include <dshow.h>
#include <olectl.h>

#include <commctrl.h>  // after windows.h

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "virtual_camera_pages.h"

namespace {

// {2976DA72-A31F-42FD-A074-56A0DA0C5E7F}
constexpr CLSID CLSID_VirtualCamera = {
    0x2976DA72, 0xA31F, 0x42FD, {0xA0, 0x74, 0x56, 0xA0, 0xDA, 0x0C, 0x5E, 0x7F}};
// The filter's page and the capture pin's format page.
// {5C1B7E0A-3F2D-4C4B-9E61-0D7A2B8C4F11}
constexpr CLSID CLSID_VirtualCameraDevicePage = {
    0x5C1B7E0A, 0x3F2D, 0x4C4B, {0x9E, 0x61, 0x0D, 0x7A, 0x2B, 0x8C, 0x4F, 0x11}};
// {5C1B7E0B-3F2D-4C4B-9E61-0D7A2B8C4F11}
constexpr CLSID CLSID_VirtualCameraFormatPage = {
    0x5C1B7E0B, 0x3F2D, 0x4C4B, {0x9E, 0x61, 0x0D, 0x7A, 0x2B, 0x8C, 0x4F, 0x11}};

constexpr wchar_t PIN_NAME[] = L"Capture";
constexpr int MAX_CAMERAS = 8;
constexpr DWORD FRAME_MILLISECONDS = 33;

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
HMODULE thisModule = nullptr;

std::wstring CameraName(int index) {
    return L"仮想カメラ " + std::to_wstring(index + 1);
}

std::size_t Stride(std::int32_t width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

// The media type of size, bottom-up RGB24, the way a capture pin offers it.
AM_MEDIA_TYPE MediaTypeOf(VirtualCameraSize size) {
    auto* header = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(header, 0, sizeof *header);
    header->AvgTimePerFrame = 10'000'000 / 30;
    header->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header->bmiHeader.biWidth = size.width;
    header->bmiHeader.biHeight = size.height;
    header->bmiHeader.biPlanes = 1;
    header->bmiHeader.biBitCount = 24;
    header->bmiHeader.biCompression = BI_RGB;
    header->bmiHeader.biSizeImage = static_cast<DWORD>(Stride(size.width) * size.height);
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = header->bmiHeader.biSizeImage;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    type.pbFormat = reinterpret_cast<BYTE*>(header);
    return type;
}

AM_MEDIA_TYPE* NewMediaType(VirtualCameraSize size) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    *type = MediaTypeOf(size);
    return type;
}

// The offered size that type asks for, when it is RGB24 video in a video-info block.
bool OfferedSize(const AM_MEDIA_TYPE* type, VirtualCameraSize& size) {
    if (type == nullptr || type->majortype != MEDIATYPE_Video ||
        type->subtype != MEDIASUBTYPE_RGB24 || type->formattype != FORMAT_VideoInfo ||
        type->pbFormat == nullptr || type->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    const BITMAPINFOHEADER& bitmap = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
    for (const VirtualCameraSize& offered : VIRTUAL_CAMERA_SIZES) {
        if (bitmap.biWidth == offered.width && bitmap.biHeight == offered.height) {
            size = offered;
            return true;
        }
    }
    return false;
}

void CopyTo(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE& to) {
    to = from;
    to.pUnk = nullptr;
    to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
}

// Counts itself among the live objects and counts the references to itself; the last release
// deletes the object.
template <typename Self>
class Counted {
  public:
    Counted() { ++liveObjects; }
    ~Counted() { --liveObjects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

  protected:
    ULONG AddReference() { return ++references_; }
    ULONG ReleaseReference() {
        const ULONG left = --references_;
        if (left == 0) {
            delete static_cast<Self*>(this);
        }
        return left;
    }

  private:
    std::atomic<ULONG> references_{1};
};

// An enumerator over a fixed list (pins or media types), holding what it lists.
template <typename Enum, typename Item, typename Copy, typename Free>
class ListEnum final : public Enum, public Counted<ListEnum<Enum, Item, Copy, Free>> {
  public:
    ListEnum(std::vector<Item> items, Copy copy, Free free)
        : items_(std::move(items)), copy_(copy), free_(free) {}
    ~ListEnum() {
        for (Item& item : items_) {
            free_(item);
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == __uuidof(Enum)) {
            *out = static_cast<Enum*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseReference(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
        ULONG given = 0;
        while (given < count && next_ < items_.size()) {
            out[given++] = copy_(items_[next_++]);
        }
        if (fetched != nullptr) {
            *fetched = given;
        }
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ = std::min<std::size_t>(items_.size(), next_ + count);
        return next_ < items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** out) override {
        std::vector<Item> copies;
        for (Item& item : items_) {
            copies.push_back(copy_(item));
        }
        auto* clone = new ListEnum(std::move(copies), copy_, free_);
        clone->next_ = next_;
        *out = clone;
        return S_OK;
    }

  private:
    std::vector<Item> items_;
    Copy copy_;
    Free free_;
    std::size_t next_ = 0;
};

IPin* AddRefPin(IPin* pin) {
    pin->AddRef();
    return pin;
}
void ReleasePin(IPin* pin) {
    pin->Release();
}
AM_MEDIA_TYPE* CopyMediaType(AM_MEDIA_TYPE* type) {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    CopyTo(*type, *copy);
    return copy;
}
void FreeMediaType(AM_MEDIA_TYPE* type) {
    CoTaskMemFree(type->pbFormat);
    CoTaskMemFree(type);
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

// A property page: the device page only says there is nothing to set; the format page lists the
// camera's sizes and applies the one picked to the IAMStreamConfig it is shown for.
class PropertyPage final : public IPropertyPage, public Counted<PropertyPage> {
  public:
    explicit PropertyPage(bool format) : format_(format) {}
    ~PropertyPage() {
        Close();
        SetObjects(0, nullptr);
        if (site_ != nullptr) {
            site_->Release();
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyPage) {
            *out = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseReference(); }

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        if (site != nullptr) {
            site->AddRef();
        }
        if (site_ != nullptr) {
            site_->Release();
        }
        site_ = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        dialog_ = CreateDialogParamW(thisModule,
                                     MAKEINTRESOURCEW(format_ ? IDD_VIRTUAL_CAMERA_FORMAT_PAGE
                                                              : IDD_VIRTUAL_CAMERA_DEVICE_PAGE),
                                     parent, DialogProc, reinterpret_cast<LPARAM>(this));
        if (dialog_ == nullptr) {
            return E_FAIL;
        }
        Move(rect);
        // Wine's frame never calls Apply; its pages hear of OK as PSN_APPLY on the parent.
        if (format_ &&
            SetWindowSubclass(parent, ApplyOnNotify, 0, reinterpret_cast<DWORD_PTR>(this))) {
            host_ = parent;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate() override {
        Close();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        const wchar_t* title = format_ ? L"Format" : L"Camera";
        const std::size_t bytes = (std::wcslen(title) + 1) * sizeof(wchar_t);
        std::memset(info, 0, sizeof *info);
        info->cb = sizeof *info;
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (info->pszTitle != nullptr) {
            std::memcpy(info->pszTitle, title, bytes);
        }
        info->size = {240, 120};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (config_ != nullptr) {
            config_->Release();
            config_ = nullptr;
        }
        if (format_ && count > 0 && objects != nullptr && objects[0] != nullptr) {
            objects[0]->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config_));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(UINT show) override {
        if (dialog_ != nullptr) {
            ShowWindow(dialog_, static_cast<int>(show));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        if (dialog_ != nullptr && rect != nullptr) {
            MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left,
                       rect->bottom - rect->top, TRUE);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override {
        if (!dirty_ || config_ == nullptr || dialog_ == nullptr) {
            return S_OK;
        }
        const LRESULT chosen =
            SendDlgItemMessageW(dialog_, IDC_VIRTUAL_CAMERA_SIZE_LIST, LB_GETCURSEL, 0, 0);
        if (chosen < 0 || chosen >= static_cast<LRESULT>(std::size(VIRTUAL_CAMERA_SIZES))) {
            return S_OK;
        }
        AM_MEDIA_TYPE type = MediaTypeOf(VIRTUAL_CAMERA_SIZES[chosen]);
        const HRESULT result = config_->SetFormat(&type);
        CoTaskMemFree(type.pbFormat);
        if (SUCCEEDED(result)) {
            dirty_ = false;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            reinterpret_cast<PropertyPage*>(lParam)->FillSizes(dialog);
            return FALSE;
        }
        auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (page != nullptr && message == WM_COMMAND &&
            LOWORD(wParam) == IDC_VIRTUAL_CAMERA_SIZE_LIST && HIWORD(wParam) == LBN_SELCHANGE) {
            page->dirty_ = true;
            if (page->site_ != nullptr) {
                page->site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
            }
            return TRUE;
        }
        return FALSE;
    }
    static LRESULT CALLBACK ApplyOnNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR page) {
        if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
            reinterpret_cast<PropertyPage*>(page)->Apply();
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }

    // The sizes, the one in force selected.
    void FillSizes(HWND dialog) {
        if (!format_) {
            return;
        }
        AM_MEDIA_TYPE* current = nullptr;
        VirtualCameraSize inForce{};
        if (config_ != nullptr && SUCCEEDED(config_->GetFormat(&current))) {
            OfferedSize(current, inForce);
            FreeMediaType(current);
        }
        const HWND list = GetDlgItem(dialog, IDC_VIRTUAL_CAMERA_SIZE_LIST);
        for (const VirtualCameraSize& size : VIRTUAL_CAMERA_SIZES) {
            const std::wstring text =
                std::to_wstring(size.width) + L" x " + std::to_wstring(size.height);
            const LRESULT item =
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (size.width == inForce.width && size.height == inForce.height) {
                SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
            }
        }
    }

    void Close() {
        if (host_ != nullptr) {
            RemoveWindowSubclass(host_, ApplyOnNotify, 0);
            host_ = nullptr;
        }
        if (dialog_ != nullptr) {
            DestroyWindow(dialog_);
            dialog_ = nullptr;
        }
    }

    const bool format_;
    IPropertyPageSite* site_ = nullptr;
    IAMStreamConfig* config_ = nullptr;
    HWND dialog_ = nullptr;
    HWND host_ = nullptr;
    bool dirty_ = false;
};

class Camera;

// The capture pin; it lives as long as its filter and counts on it.
class CapturePin final : public IPin,
                         public IKsPropertySet,
                         public IAMStreamConfig,
                         public ISpecifyPropertyPages {
  public:
    explicit CapturePin(Camera& camera) : camera_(camera) { format_ = MediaTypeOf(size_); }
    ~CapturePin() { CoTaskMemFree(format_.pbFormat); }

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
        CopyTo(format_, *type);
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
        VirtualCameraSize size{};
        return OfferedSize(type, size) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        // The format in force only: what a capture pin delivers until it is set otherwise.
        *types = new ListEnum<IEnumMediaTypes, AM_MEDIA_TYPE*, decltype(&CopyMediaType),
                              decltype(&FreeMediaType)>({NewMediaType(size_)}, CopyMediaType,
                                                        FreeMediaType);
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

    // IKsPropertySet: the pin's category, so the builder knows it for a capture pin.
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
        *type = NewMediaType(size_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* bytes) override {
        *count = static_cast<int>(std::size(VIRTUAL_CAMERA_SIZES));
        *bytes = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
        if (index < 0 || index >= static_cast<int>(std::size(VIRTUAL_CAMERA_SIZES))) {
            return S_FALSE;
        }
        const VirtualCameraSize size = VIRTUAL_CAMERA_SIZES[index];
        *type = NewMediaType(size);
        auto* config = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
        std::memset(config, 0, sizeof *config);
        config->guid = FORMAT_VideoInfo;
        config->InputSize = config->MinOutputSize =
            config->MaxOutputSize = {size.width, size.height};
        config->MinFrameInterval = config->MaxFrameInterval = 10'000'000 / 30;
        return S_OK;
    }

    // ISpecifyPropertyPages, asked through IAMStreamConfig: the format page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        return OnePage(CLSID_VirtualCameraFormatPage, pages);
    }

    // The filter's state changes.
    void Activate();
    void Deactivate();

  private:
    HRESULT ConnectWith(IPin* receiver, VirtualCameraSize size);
    void Stream();

    Camera& camera_;
    VirtualCameraSize size_ = VIRTUAL_CAMERA_SIZES[0];
    AM_MEDIA_TYPE format_{};  // the format of size_
    IPin* peer_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
    std::thread streaming_;
    std::atomic<bool> streamingOn_{false};
};

class Camera final : public IBaseFilter,
                     public IPersistPropertyBag,
                     public ISpecifyPropertyPages,
                     public Counted<Camera> {
  public:
    Camera() : pin_(*this) {}
    ~Camera() {
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
        } else if (iid == IID_ISpecifyPropertyPages) {
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
        *id = CLSID_VirtualCamera;
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
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override {
        if (state_ == State_Stopped) {
            pin_.Activate();
        }
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
        *pins = new ListEnum<IEnumPins, IPin*, decltype(&AddRefPin), decltype(&ReleasePin)>(
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

    // IPersistPropertyBag: the device's pattern, from its registration.
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        if (SUCCEEDED(bag->Read(L"Pattern", &value, log)) && V_VT(&value) == VT_I4) {
            pattern = V_I4(&value);
        }
        VariantClear(&value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    // ISpecifyPropertyPages: the device page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        return OnePage(CLSID_VirtualCameraDevicePage, pages);
    }

    IFilterGraph* Graph() const { return graph_; }
    FILTER_STATE State() const { return state_; }
    std::atomic<int> pattern{0};
    std::atomic<FILTER_STATE> state_{State_Stopped};

  private:
    CapturePin pin_;
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
    } else if (iid == IID_ISpecifyPropertyPages) {
        *out = static_cast<ISpecifyPropertyPages*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CapturePin::AddRef() {
    return camera_.AddRef();
}

ULONG CapturePin::Release() {
    return camera_.Release();
}

HRESULT CapturePin::QueryPinInfo(PIN_INFO* info) {
    info->pFilter = &camera_;
    camera_.AddRef();
    info->dir = PINDIR_OUTPUT;
    std::memcpy(info->achName, PIN_NAME, sizeof PIN_NAME);
    return S_OK;
}

HRESULT CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (peer_ != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (camera_.State() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    // A full type picks one of the sizes; a partial one must fit the size in force.
    VirtualCameraSize size = size_;
    if (type != nullptr && type->pbFormat != nullptr) {
        if (!OfferedSize(type, size)) {
            return VFW_E_NO_ACCEPTABLE_TYPES;
        }
    } else if (type != nullptr &&
               ((type->majortype != GUID_NULL && type->majortype != MEDIATYPE_Video) ||
                (type->subtype != GUID_NULL && type->subtype != MEDIASUBTYPE_RGB24))) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    return ConnectWith(receiver, size);
}

HRESULT CapturePin::ConnectWith(IPin* receiver, VirtualCameraSize size) {
    AM_MEDIA_TYPE type = MediaTypeOf(size);
    HRESULT result = receiver->ReceiveConnection(this, &type);
    if (FAILED(result)) {
        CoTaskMemFree(type.pbFormat);
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    CoTaskMemFree(format_.pbFormat);
    format_ = type;
    size_ = size;
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
    peer_->Release();
    peer_ = nullptr;
    return S_OK;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
    if (camera_.State() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    VirtualCameraSize size{};
    if (!OfferedSize(type, size)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    // The size in force stays connected as it is.
    if (size.width == size_.width && size.height == size_.height) {
        return S_OK;
    }
    size_ = size;
    CoTaskMemFree(format_.pbFormat);
    format_ = MediaTypeOf(size);
    IFilterGraph* graph = camera_.Graph();
    if (peer_ == nullptr || graph == nullptr) {
        return S_OK;
    }
    // Reconnected at the new size; a filter right after us that passes the format on (a tee)
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
    const VirtualCameraSize size = size_;
    const std::size_t stride = Stride(size.width);
    const int pattern = camera_.pattern;
    for (unsigned frame = 0; streamingOn_;) {
        IMediaSample* sample = nullptr;
        BYTE* data = nullptr;
        if (camera_.State() != State_Running ||
            FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0))) {
            Sleep(5);
            continue;
        }
        if (SUCCEEDED(sample->GetPointer(&data)) &&
            sample->GetSize() >= static_cast<long>(stride * size.height)) {
            // Stored bottom-up: stored row r is picture row height - 1 - r.
            for (std::int32_t r = 0; r < size.height; ++r) {
                BYTE* row = data + static_cast<std::size_t>(r) * stride;
                const std::int32_t y = size.height - 1 - r;
                for (std::int32_t x = 0; x < size.width; ++x) {
                    row[3 * x] = static_cast<BYTE>(x + frame);
                    row[3 * x + 1] = static_cast<BYTE>(y + 40 * pattern);
                    row[3 * x + 2] = static_cast<BYTE>(frame);
                }
            }
            sample->SetActualDataLength(static_cast<long>(stride * size.height));
            sample->SetSyncPoint(TRUE);
            input_->Receive(sample);
            ++frame;
        }
        sample->Release();
        Sleep(FRAME_MILLISECONDS);
    }
    CoUninitialize();
}

// Makes the camera, or one of its pages.
enum class Made { Camera, DevicePage, FormatPage };

class ClassFactory final : public IClassFactory {
  public:
    explicit constexpr ClassFactory(Made made) : made_(made) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        IUnknown* made = nullptr;
        if (made_ == Made::Camera) {
            made = static_cast<IBaseFilter*>(new Camera);
        } else {
            made = new PropertyPage(made_ == Made::FormatPage);
        }
        const HRESULT result = made->QueryInterface(iid, out);
        made->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        serverLocks += lock ? 1 : -1;
        return S_OK;
    }

  private:
    Made made_;
};

ClassFactory cameraFactory(Made::Camera);
ClassFactory devicePageFactory(Made::DevicePage);
ClassFactory formatPageFactory(Made::FormatPage);

// The DLL's classes: the camera and its pages, which a property frame creates by class.
const CLSID* const CLASSES[] = {&CLSID_VirtualCamera, &CLSID_VirtualCameraDevicePage,
                                &CLSID_VirtualCameraFormatPage};

std::wstring ClassKey(const CLSID& clsid) {
    wchar_t id[40];
    StringFromGUID2(clsid, id, 40);
    return std::wstring(L"Software\\Classes\\CLSID\\") + id;
}

HRESULT RegisterClass(const CLSID& clsid) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(thisModule, path, MAX_PATH);
    HKEY key = nullptr;
    const std::wstring server = ClassKey(clsid) + L"\\InprocServer32";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
    constexpr wchar_t model[] = L"Both";
    RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                   sizeof model);
    RegCloseKey(key);
    return S_OK;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
    }
    return TRUE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    if (id == CLSID_VirtualCamera) {
        return cameraFactory.QueryInterface(iid, out);
    }
    if (id == CLSID_VirtualCameraDevicePage) {
        return devicePageFactory.QueryInterface(iid, out);
    }
    if (id == CLSID_VirtualCameraFormatPage) {
        return formatPageFactory.QueryInterface(iid, out);
    }
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT __stdcall DllCanUnloadNow() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

HRESULT __stdcall DllRegisterServer() {
    for (const CLSID* clsid : CLASSES) {
        if (FAILED(RegisterClass(*clsid))) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT __stdcall DllUnregisterServer() {
    VirtualCameraRegister(0);
    HRESULT result = S_OK;
    for (const CLSID* clsid : CLASSES) {
        if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey(*clsid).c_str()) != ERROR_SUCCESS) {
            result = S_FALSE;
        }
    }
    return result;
}

long __stdcall VirtualCameraRegister(int count) {
    if (count > 0 && FAILED(DllRegisterServer())) {
        return SELFREG_E_CLASS;
    }
    IFilterMapper2* mapper = nullptr;
    HRESULT result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    if (FAILED(result)) {
        return result;
    }
    for (int i = 0; i < MAX_CAMERAS; ++i) {
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, CameraName(i).c_str(),
                                 CLSID_VirtualCamera);
    }
    const REGPINTYPES video{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24};
    REGFILTERPINS2 pin{};
    pin.dwFlags = REG_PINFLAG_B_OUTPUT;
    pin.cInstances = 1;
    pin.nMediaTypes = 1;
    pin.lpMediaType = &video;
    pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
    REGFILTER2 filter{};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = 1;
    filter.rgPins2 = &pin;
    for (int i = 0; i < count && SUCCEEDED(result); ++i) {
        const std::wstring name = CameraName(i);
        IMoniker* moniker = nullptr;
        result = mapper->RegisterFilter(CLSID_VirtualCamera, name.c_str(), &moniker,
                                        &CLSID_VideoInputDeviceCategory, name.c_str(), &filter);
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(result) &&
            SUCCEEDED(result = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                      reinterpret_cast<void**>(&bag)))) {
            VARIANT pattern;
            VariantInit(&pattern);
            V_VT(&pattern) = VT_I4;
            V_I4(&pattern) = i;
            result = bag->Write(L"Pattern", &pattern);
            bag->Release();
        }
        if (moniker != nullptr) {
            moniker->Release();
        }
    }
    mapper->Release();
    return result;
}

long __stdcall VirtualCameraLiveObjects() {
    return liveObjects;
}

}  // extern "C"
