// The reference counting of this DLL's COM objects, and the count of those alive that
// DllCanUnloadNow answers from. Each DLL that links this has its own count.
#pragma once

#include <windows.h>

#include <atomic>

inline std::atomic<long> liveObjects{0};

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
