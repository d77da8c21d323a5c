#include "control/win/CKIVOParsePropPage.h"

#include <new>
#include <string>

#include "control/win/Guard.h"
#include "control/win/Module.h"
#include "control/win/resource.h"

namespace kivoparse::win {

namespace {

// The dialog's size in dialog units, as dialog 200 declares it.
constexpr int kDialogWidth = 250;
constexpr int kDialogHeight = 62;

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

LPOLESTR CopyToTaskMemory(const std::wstring& text) {
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy) {
        text.copy(copy, text.size());
        copy[text.size()] = L'\0';
    }
    return copy;
}

}  // namespace

HRESULT CKIVOParsePropPage::Create(REFIID riid, void** object) {
    auto* page = new (std::nothrow) CKIVOParsePropPage();
    if (!page) return E_OUTOFMEMORY;
    HRESULT hr = page->QueryInterface(riid, object);
    page->Release();
    return hr;
}

CKIVOParsePropPage::CKIVOParsePropPage() { LockModule(); }

CKIVOParsePropPage::~CKIVOParsePropPage() {
    Deactivate();
    ReleaseObjects();
    if (mSite) mSite->Release();
    UnlockModule();
}

HRESULT CKIVOParsePropPage::QueryInterface(REFIID riid, void** object) {
    return QueryOne<IPropertyPage>(this, IID_IPropertyPage, riid, object);
}

ULONG CKIVOParsePropPage::AddRef() { return mRefs.Add(); }

ULONG CKIVOParsePropPage::Release() { return mRefs.Drop(this); }

HRESULT CKIVOParsePropPage::SetPageSite(IPropertyPageSite* site) {
    if (site) site->AddRef();
    if (mSite) mSite->Release();
    mSite = site;
    return S_OK;
}

HRESULT CKIVOParsePropPage::Activate(HWND parent, LPCRECT position, BOOL) {
    if (mDialog) return E_UNEXPECTED;
    mDialog = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_PROPPAGE_KIVOPARSE), parent, DialogProc, 0);
    if (!mDialog) return E_OUTOFMEMORY;
    if (position) Move(position);
    return S_OK;
}

HRESULT CKIVOParsePropPage::Deactivate() {
    if (mDialog) DestroyWindow(mDialog);
    mDialog = nullptr;
    return S_OK;
}

// The size comes from the dialog units and the system font, as the dialog
// manager would compute it for the page's own font.
HRESULT CKIVOParsePropPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    const LONG units = GetDialogBaseUnits();
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = nullptr;
    const HRESULT hr = Guarded([&] {
        info->pszTitle = CopyToTaskMemory(LoadResourceString(IDS_KIVOPARSE_PPG_CAPTION));
        return info->pszTitle ? S_OK : E_OUTOFMEMORY;
    });
    info->size.cx = MulDiv(kDialogWidth, LOWORD(units), 4);
    info->size.cy = MulDiv(kDialogHeight, HIWORD(units), 8);
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return hr;
}

HRESULT CKIVOParsePropPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count && !objects) return E_POINTER;
    ReleaseObjects();
    if (count == 0) return S_OK;
    mObjects.reset(new (std::nothrow) IUnknown*[count]);
    if (!mObjects) return E_OUTOFMEMORY;
    for (ULONG n = 0; n < count; ++n) {
        mObjects[n] = objects[n];
        if (mObjects[n]) mObjects[n]->AddRef();
    }
    mObjectCount = count;
    return S_OK;
}

void CKIVOParsePropPage::ReleaseObjects() {
    for (ULONG n = 0; n < mObjectCount; ++n) {
        if (mObjects[n]) mObjects[n]->Release();
    }
    mObjects.reset();
    mObjectCount = 0;
}

HRESULT CKIVOParsePropPage::Show(UINT command) {
    if (!mDialog) return E_UNEXPECTED;
    ShowWindow(mDialog, static_cast<int>(command));
    return S_OK;
}

HRESULT CKIVOParsePropPage::Move(LPCRECT position) {
    if (!position) return E_POINTER;
    if (!mDialog) return E_UNEXPECTED;
    MoveWindow(mDialog, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
    return S_OK;
}

HRESULT CKIVOParsePropPage::IsPageDirty() { return S_FALSE; }

HRESULT CKIVOParsePropPage::Apply() { return S_OK; }

HRESULT CKIVOParsePropPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT CKIVOParsePropPage::TranslateAccelerator(MSG* message) {
    if (!message) return E_POINTER;
    return mDialog && IsDialogMessageW(mDialog, message) ? S_OK : S_FALSE;
}

}  // namespace kivoparse::win
