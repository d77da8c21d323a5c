#pragma once
// The control's one property page, "General": dialog 200, with no fields
// of its own, so there is never anything to apply.
#include <windows.h>
#include <ocidl.h>

#include <memory>

#include "control/win/Unknown.h"

namespace kivoparse::win {

class CKIVOParsePropPage final : public IPropertyPage {
public:
    static HRESULT Create(REFIID riid, void** object);
    CKIVOParsePropPage(const CKIVOParsePropPage&) = delete;
    CKIVOParsePropPage& operator=(const CKIVOParsePropPage&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT position, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDir) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

private:
    friend class CRefCount;
    CKIVOParsePropPage();
    ~CKIVOParsePropPage();
    void ReleaseObjects();

    CRefCount mRefs;
    IPropertyPageSite* mSite = nullptr;
    ULONG mObjectCount = 0;
    // The objects the page edits, each held until the next SetObjects.
    std::unique_ptr<IUnknown*[]> mObjects;
    HWND mDialog = nullptr;
};

}  // namespace kivoparse::win
