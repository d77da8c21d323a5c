#pragma once
// What every COM object of the control does alike: count its references,
// deleting itself at the last Release, and answer QueryInterface for the
// one interface it hands out besides IUnknown.
#include <windows.h>

#include <atomic>

namespace kivoparse::win {

// An object holding one of these declares `friend class CRefCount;` when
// its destructor is private (only its last Release may delete it).
class CRefCount {
public:
    ULONG Add() { return ++mRefs; }
    template <class Object>
    ULONG Drop(Object* self) {
        const ULONG left = --mRefs;
        if (left == 0) delete self;
        return left;
    }

private:
    std::atomic<ULONG> mRefs{1};
};

template <class Interface>
HRESULT QueryOne(Interface* self, REFIID iid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == iid) {
        *object = self;
        self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

}  // namespace kivoparse::win
