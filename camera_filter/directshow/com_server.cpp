#include "com_server.h"

#include <olectl.h>

#include <atomic>
#include <string>
#include <vector>

#include "com_object.h"

namespace {

std::atomic<long> serverLocks{0};

std::wstring ClassKey(const CLSID& id) {
    wchar_t text[40];
    StringFromGUID2(id, text, 40);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

// Calls use with the system's filter mapper, which keeps the device categories; in an apartment
// of its own when the caller (regsvr32, a test) entered none.
template <typename Use>
HRESULT WithFilterMapper(Use use) {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IFilterMapper2* mapper = nullptr;
    HRESULT result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(result)) {
        result = use(*mapper);
        mapper->Release();
    }
    if (SUCCEEDED(apartment)) {
        CoUninitialize();
    }
    return result;
}

}  // namespace

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *out = this;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    *out = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    IUnknown* made = make_();
    const HRESULT result = made->QueryInterface(iid, out);
    made->Release();
    return result;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    serverLocks += lock ? 1 : -1;
    return S_OK;
}

HRESULT GetClassObject(std::span<ClassFactory* const> factories, REFCLSID id, REFIID iid,
                       void** out) {
    for (ClassFactory* factory : factories) {
        if (factory->id == id) {
            return factory->QueryInterface(iid, out);
        }
    }
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadServer() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

HMODULE ServerModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ServerModule), &module);
    return module;
}

HRESULT RegisterServerClass(const CLSID& id) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ServerModule(), path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    HKEY key = nullptr;
    const std::wstring server = ClassKey(id) + L"\\InprocServer32";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    constexpr wchar_t model[] = L"Both";
    const bool written =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       (length + 1) * sizeof(wchar_t)) == ERROR_SUCCESS &&
        RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                       sizeof model) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServerClass(const CLSID& id) {
    return RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey(id).c_str()) == ERROR_SUCCESS ? S_OK
                                                                                     : S_FALSE;
}

HRESULT RegisterVideoInputDevice(const CLSID& id, const wchar_t* name, const wchar_t* instance,
                                 std::span<const GUID* const> subtypes, IMoniker** moniker) {
    std::vector<REGPINTYPES> types;
    for (const GUID* subtype : subtypes) {
        types.push_back({&MEDIATYPE_Video, subtype});
    }
    REGFILTERPINS2 pin{};
    pin.dwFlags = REG_PINFLAG_B_OUTPUT;
    pin.cInstances = 1;
    pin.nMediaTypes = static_cast<UINT>(types.size());
    pin.lpMediaType = types.data();
    pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
    REGFILTER2 filter{};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = 1;
    filter.rgPins2 = &pin;
    return WithFilterMapper([&](IFilterMapper2& mapper) {
        return mapper.RegisterFilter(id, name, moniker, &CLSID_VideoInputDeviceCategory, instance,
                                     &filter);
    });
}

HRESULT UnregisterVideoInputDevice(const CLSID& id, const wchar_t* instance) {
    return WithFilterMapper([&](IFilterMapper2& mapper) {
        return mapper.UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance, id);
    });
}
