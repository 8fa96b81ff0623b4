// The sample grabber (qedit's filter that keeps a copy of each sample it receives), which the
// mingw-w64 headers do not declare. Ids and method order as the platform documents them.
#pragma once

#include <dshow.h>

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline constexpr CLSID CLSID_GrabletSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
inline constexpr IID IID_GrabletSampleGrabber = {
    0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

// Only declared for SetCallback's signature; Grablet installs no callback.
struct GrabletSampleGrabberCallback;

struct GrabletSampleGrabber : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL bufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* bufferSize, LONG* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample** sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(GrabletSampleGrabberCallback* callback,
                                                  LONG whichMethod) = 0;
};
