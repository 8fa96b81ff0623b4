// What an in-process COM server DLL of filters needs besides its objects: a class factory per
// class, the answers of DllGetClassObject and DllCanUnloadNow, and the registration of its classes
// and of its devices in the video input category (under HKEY_LOCAL_MACHINE, which regsvr32 writes
// as an administrator and where Wine binds classes).
#pragma once

#include <dshow.h>

#include <span>

class ClassFactory final : public IClassFactory {
  public:
    using Make = IUnknown* (*)();  // a new object with one reference

    constexpr ClassFactory(const CLSID& id, Make make) : id(id), make_(make) {}

    // Static objects: their count never reaches zero.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    const CLSID& id;

  private:
    Make make_;
};

// What DllGetClassObject answers, for the DLL's factories.
HRESULT GetClassObject(std::span<ClassFactory* const> factories, REFCLSID id, REFIID iid,
                       void** out);
// What DllCanUnloadNow answers: whether no object is alive and no lock is held.
HRESULT CanUnloadServer();

// The DLL this code is linked into.
HMODULE ServerModule();

HRESULT RegisterServerClass(const CLSID& id);
// S_FALSE when the class was not registered.
HRESULT UnregisterServerClass(const CLSID& id);

// Registers a device of class id named name in the video input category, with one capture output
// pin of the given video subtypes. instance tells apart devices of one class (null: the class's
// own id). moniker, unless null, receives the device's moniker for its own values.
HRESULT RegisterVideoInputDevice(const CLSID& id, const wchar_t* name, const wchar_t* instance,
                                 std::span<const GUID* const> subtypes, IMoniker** moniker);
HRESULT UnregisterVideoInputDevice(const CLSID& id, const wchar_t* instance);
