// The virtual camera: a live source filter of our own (camera_filter/directshow) whose stream
// draws the test pattern, with two property pages of its own.
#include "virtual_camera.h"

#include <dshow.h>
#include <olectl.h>

#include <commctrl.h>  // after windows.h

#include <cstring>
#include <optional>
#include <string>

#include "com_object.h"
#include "com_server.h"
#include "live_source.h"
#include "media_types.h"
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

constexpr int MAX_CAMERAS = 8;
constexpr DWORD FRAME_MILLISECONDS = 33;

std::wstring CameraName(int index) {
    return L"仮想カメラ " + std::to_wstring(index + 1);
}

SampleFormat FormatOf(VirtualCameraSize size) {
    return {SampleKind::Rgb24, {size.width, size.height}};
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
        dialog_ = CreateDialogParamW(ServerModule(),
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
        AM_MEDIA_TYPE type = MediaTypeOf(FormatOf(VIRTUAL_CAMERA_SIZES[chosen]));
        const HRESULT result = config_->SetFormat(&type);
        ClearMediaType(type);
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
        std::optional<SampleFormat> inForce;
        if (config_ != nullptr && SUCCEEDED(config_->GetFormat(&current))) {
            inForce = SampleFormatOf(current);
            FreeMediaType(current);
        }
        const HWND list = GetDlgItem(dialog, IDC_VIRTUAL_CAMERA_SIZE_LIST);
        for (const VirtualCameraSize& size : VIRTUAL_CAMERA_SIZES) {
            const std::wstring text =
                std::to_wstring(size.width) + L" x " + std::to_wstring(size.height);
            const LRESULT item =
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (inForce == FormatOf(size)) {
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

// The pattern of virtual_camera.h, at each of the camera's sizes in RGB24.
class PatternStream final : public LiveStream {
  public:
    std::vector<SampleFormat> Formats() override {
        std::vector<SampleFormat> formats;
        for (const VirtualCameraSize& size : VIRTUAL_CAMERA_SIZES) {
            formats.push_back(FormatOf(size));
        }
        return formats;
    }
    void AwaitPicture() override { Sleep(FRAME_MILLISECONDS); }
    void DrawPicture(const SampleFormat& format, std::span<std::uint8_t> sample) override {
        const std::size_t stride = SampleStride(format);
        const std::int32_t height = format.size.height;
        // Stored bottom-up: stored row r is picture row height - 1 - r.
        for (std::int32_t r = 0; r < height; ++r) {
            std::uint8_t* row = sample.data() + static_cast<std::size_t>(r) * stride;
            const std::int32_t y = height - 1 - r;
            for (std::int32_t x = 0; x < format.size.width; ++x) {
                row[3 * x] = static_cast<std::uint8_t>(x + frame_);
                row[3 * x + 1] = static_cast<std::uint8_t>(y + 40 * pattern_);
                row[3 * x + 2] = static_cast<std::uint8_t>(frame_);
            }
        }
        ++frame_;
    }
    // The device's pattern, from its registration.
    void Load(IPropertyBag& bag) override {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        if (SUCCEEDED(bag.Read(L"Pattern", &value, nullptr)) && V_VT(&value) == VT_I4) {
            pattern_ = V_I4(&value);
        }
        VariantClear(&value);
    }

  private:
    int pattern_ = 0;
    unsigned frame_ = 0;
};

constexpr LiveSourceClasses CLASSES{&CLSID_VirtualCamera, &CLSID_VirtualCameraDevicePage,
                                    &CLSID_VirtualCameraFormatPage};

ClassFactory cameraFactory(CLSID_VirtualCamera, []() -> IUnknown* {
    return NewLiveSource(CLASSES, std::make_unique<PatternStream>());
});
ClassFactory devicePageFactory(CLSID_VirtualCameraDevicePage,
                               []() -> IUnknown* { return new PropertyPage(false); });
ClassFactory formatPageFactory(CLSID_VirtualCameraFormatPage,
                               []() -> IUnknown* { return new PropertyPage(true); });
ClassFactory* const FACTORIES[] = {&cameraFactory, &devicePageFactory, &formatPageFactory};

}  // namespace

extern "C" {

HRESULT __stdcall DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    return GetClassObject(FACTORIES, id, iid, out);
}

HRESULT __stdcall DllCanUnloadNow() {
    return CanUnloadServer();
}

HRESULT __stdcall DllRegisterServer() {
    for (const ClassFactory* factory : FACTORIES) {
        if (FAILED(RegisterServerClass(factory->id))) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT __stdcall DllUnregisterServer() {
    VirtualCameraRegister(0);
    HRESULT result = S_OK;
    for (const ClassFactory* factory : FACTORIES) {
        if (UnregisterServerClass(factory->id) != S_OK) {
            result = S_FALSE;
        }
    }
    return result;
}

long __stdcall VirtualCameraRegister(int count) {
    if (count > 0 && FAILED(DllRegisterServer())) {
        return SELFREG_E_CLASS;
    }
    for (int i = 0; i < MAX_CAMERAS; ++i) {
        UnregisterVideoInputDevice(CLSID_VirtualCamera, CameraName(i).c_str());
    }
    const GUID* const subtypes[] = {&MEDIASUBTYPE_RGB24};
    HRESULT result = S_OK;
    for (int i = 0; i < count && SUCCEEDED(result); ++i) {
        const std::wstring name = CameraName(i);
        IMoniker* moniker = nullptr;
        result = RegisterVideoInputDevice(CLSID_VirtualCamera, name.c_str(), name.c_str(), subtypes,
                                          &moniker);
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
    return result;
}

long __stdcall VirtualCameraLiveObjects() {
    return liveObjects;
}

}  // extern "C"
