// An enumerator over a fixed list (pins or media types), as filters hand them out.
#pragma once

#include <dshow.h>

#include <algorithm>
#include <vector>

#include "com_object.h"

// Holds what it lists: copy gives the caller its own reference or copy of an item, free lets go
// of one.
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
