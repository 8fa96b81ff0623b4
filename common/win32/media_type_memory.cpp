#include "media_type_memory.h"

void ClearMediaType(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void FreeMediaType(AM_MEDIA_TYPE* type) {
    if (type != nullptr) {
        ClearMediaType(*type);
        CoTaskMemFree(type);
    }
}
