#pragma once
// One enumerator for the two lists the control hands out: its connection
// points and the connections of its event source. Each item holds a
// reference for as long as the enumerator keeps it; the owner is held too,
// so the items stay meaningful while a host walks them.
#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "control/win/Guard.h"
#include "control/win/Module.h"
#include "control/win/Unknown.h"

namespace kivoparse::win {

inline void Hold(IConnectionPoint* point) { point->AddRef(); }
inline void Drop(IConnectionPoint* point) { point->Release(); }
inline void Hold(const CONNECTDATA& data) { data.pUnk->AddRef(); }
inline void Drop(const CONNECTDATA& data) { data.pUnk->Release(); }

template <class Enum, class Item>
class CEnum final : public Enum {
public:
    // Takes its own references to the items and the owner.
    static HRESULT Create(IUnknown* owner, const std::vector<Item>& items, size_t position, Enum** result) {
        if (!result) return E_POINTER;
        *result = nullptr;
        return Guarded([&] {
            *result = new CEnum(owner, items, position);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return QueryOne<Enum>(this, __uuidof(Enum), riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return mRefs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return mRefs.Drop(this); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
        if (!items || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && mPosition < mItems.size(); ++n, ++mPosition) {
            items[n] = mItems[mPosition];
            Hold(items[n]);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const size_t left = mItems.size() - mPosition;
        mPosition += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        mPosition = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** result) override { return Create(mOwner, mItems, mPosition, result); }

private:
    friend class CRefCount;
    CEnum(IUnknown* owner, const std::vector<Item>& items, size_t position)
        : mOwner(owner), mItems(items), mPosition(position) {
        LockModule();
        mOwner->AddRef();
        for (const Item& item : mItems) Hold(item);
    }
    ~CEnum() {
        for (const Item& item : mItems) Drop(item);
        mOwner->Release();
        UnlockModule();
    }

    CRefCount mRefs;
    IUnknown* mOwner;
    std::vector<Item> mItems;
    size_t mPosition;
};

}  // namespace kivoparse::win
