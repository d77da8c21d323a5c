#include "control/win/CKIVOParseOleCtrl.h"

#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "control/win/CEnum.h"
#include "control/win/Convert.h"
#include "control/win/Guard.h"
#include "control/win/KIVOParse.h"
#include "control/win/Module.h"
#include "control/win/resource.h"

namespace kivoparse::win {

namespace {

// The dispatch table: each method of _DKIVOParse with its DISPID and the
// Automation type its arguments are converted to before the call. The
// names and parameter names live in the type library, which
// GetIDsOfNames reads; Invoke reads only this table.
struct CMethod {
    DISPID id;
    const wchar_t* name;  // for error reports only
    UINT argCount;
    VARTYPE argTypes[2];
    HRESULT (CKIVOParseOleCtrl::*call)(VARIANT* args, VARIANT* result, UINT* refused);
};

constexpr CMethod kMethods[] = {
    {1, L"GetHTML", 0, {}, &CKIVOParseOleCtrl::CallGetHTML},
    {2, L"ParseHTML", 1, {VT_BSTR}, &CKIVOParseOleCtrl::CallParseHTML},
    {3, L"SetLogFile", 1, {VT_BSTR}, &CKIVOParseOleCtrl::CallSetLogFile},
    {4, L"GetImages", 0, {}, &CKIVOParseOleCtrl::CallCollect<UrlKind::Image>},
    {5, L"GetHrefs", 0, {}, &CKIVOParseOleCtrl::CallCollect<UrlKind::Link>},
    {6, L"FixImages", 2, {VT_VARIANT, VT_VARIANT}, &CKIVOParseOleCtrl::CallFix<UrlKind::Image>},
    {7, L"FixHrefs", 2, {VT_VARIANT, VT_VARIANT}, &CKIVOParseOleCtrl::CallFix<UrlKind::Link>},
    {8, L"SetDocumentBase", 1, {VT_BSTR}, &CKIVOParseOleCtrl::CallSetDocumentBase},
};

// The placeholder extent, 100 by 50 pixels at 96 dots per inch, in
// hundredths of a millimetre.
constexpr SIZEL kDefaultExtent = {2646, 1323};

const wchar_t kWindowClass[] = L"KIVOParseCtrlWindow";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT bounds;
        GetClientRect(window, &bounds);
        DrawPlaceholder(dc, bounds);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass() {
    WNDCLASSEXW windowClass = {};
    if (GetClassInfoExW(ModuleInstance(), kWindowClass, &windowClass)) return true;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

template <class T>
void ReleaseAndClear(T*& pointer) {
    if (pointer) pointer->Release();
    pointer = nullptr;
}

HRESULT Int32Result(std::int32_t value, VARIANT* result) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
    return S_OK;
}

HRESULT StringResult(const std::string& value, VARIANT* result) {
    BSTR text = ToBstr(value);
    if (!text) return E_OUTOFMEMORY;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text;
    return S_OK;
}

std::string ArgText(const VARIANT& arg) { return ToAnsi(V_BSTR(&arg), SysStringLen(V_BSTR(&arg))); }

// DISP_E_EXCEPTION, with an EXCEPINFO that names the method and the
// failure: "ParseHTML failed: <what>". Built without C++ allocation, so it
// works when memory is short; a caller without an EXCEPINFO gets E_UNEXPECTED.
HRESULT ExceptionResult(const wchar_t* method, const char* what, EXCEPINFO* exception) {
    if (!exception) return E_UNEXPECTED;
    wchar_t text[512] = {};
    size_t at = 0;
    for (const wchar_t* part : {method, L" failed: "}) {
        for (; *part && at < 128; ++part) text[at++] = *part;
    }
    const int length = static_cast<int>(strnlen(what, 256));
    const int room = static_cast<int>(std::size(text) - 1 - at);
    at += static_cast<size_t>(length ? MultiByteToWideChar(CP_ACP, 0, what, length, text + at, room) : 0);
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(L"KIVOPARSE.KIVOParseCtrl.1");
    exception->bstrDescription = SysAllocStringLen(text, static_cast<UINT>(at));
    exception->scode = E_FAIL;
    return DISP_E_EXCEPTION;
}

// Runs one method body. Out of memory anywhere in it (the arguments' 8-bit
// copies, the parse, the results) gives E_OUTOFMEMORY with no result; the
// control stays usable, its tree as the failed call left it (see
// CKIVOParseCtrl: a rewrite changes nothing unless it completes, a parse
// that fails leaves no tree).
HRESULT CallMethod(CKIVOParseOleCtrl& control, const CMethod& method, VARIANT* args, VARIANT* result, UINT* refused,
                   EXCEPINFO* exception) noexcept {
    try {
        return (control.*method.call)(args, result, refused);
    } catch (const std::bad_alloc&) {
        VariantClear(result);
        return E_OUTOFMEMORY;
    } catch (const std::exception& error) {
        VariantClear(result);
        return ExceptionResult(method.name, error.what(), exception);
    } catch (...) {
        VariantClear(result);
        return ExceptionResult(method.name, "unknown exception", exception);
    }
}

}  // namespace

HRESULT CKIVOParseOleCtrl::Create(REFIID riid, void** object) {
    return Guarded([&] {
        auto* control = new CKIVOParseOleCtrl();
        HRESULT hr = control->QueryInterface(riid, object);
        control->Release();
        return hr;
    });
}

CKIVOParseOleCtrl::CKIVOParseOleCtrl() : mEvents(this), mVersion(kPersistedVersion), mExtent(kDefaultExtent) {
    LockModule();
}

// A container deactivates and closes the control before its last Release;
// one that did not is not called back now, when nothing may reach this
// object any more.
CKIVOParseOleCtrl::~CKIVOParseOleCtrl() {
    if (mWindow) DestroyWindow(mWindow);
    ReleaseAndClear(mFrame);
    ReleaseAndClear(mDocument);
    ReleaseAndClear(mInPlaceSite);
    ReleaseAndClear(mViewSink);
    ReleaseAndClear(mAdviseHolder);
    ReleaseAndClear(mSite);
    ReleaseAndClear(mDispatchInfo);
    UnlockModule();
}

HRESULT CKIVOParseOleCtrl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DKIVOParse) {
        *object = static_cast<IDispatch*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        *object = static_cast<IProvideClassInfo2*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_ISpecifyPropertyPages) {
        *object = static_cast<ISpecifyPropertyPages*>(this);
    } else if (riid == IID_IViewObject || riid == IID_IViewObject2) {
        *object = static_cast<IViewObject2*>(this);
    } else if (riid == IID_IOleObject) {
        *object = static_cast<IOleObject*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
        *object = static_cast<IOleInPlaceObject*>(this);
    } else if (riid == IID_IOleInPlaceActiveObject) {
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (riid == IID_IOleControl) {
        *object = static_cast<IOleControl*>(this);
    } else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
        *object = static_cast<IPersistStreamInit*>(this);
    } else if (riid == IID_IPersistPropertyBag) {
        *object = static_cast<IPersistPropertyBag*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CKIVOParseOleCtrl::AddRef() { return mRefs.Add(); }

ULONG CKIVOParseOleCtrl::Release() { return mRefs.Drop(this); }

// ---- IDispatch

HRESULT CKIVOParseOleCtrl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!mDispatchInfo) {
        HRESULT hr = LoadKIVOParseTypeInfo(lcid, DIID__DKIVOParse, &mDispatchInfo);
        if (FAILED(hr)) return hr;
    }
    *info = mDispatchInfo;
    mDispatchInfo->AddRef();
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, lcid, &info);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return hr;
}

// Arguments arrive last first in rgvarg; they are handed to the method in
// call order, strings converted to BSTR, VARIANTs exactly as the host sent
// them (a script passes its variables by reference).
HRESULT CKIVOParseOleCtrl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs && !params->rgvarg)) return E_INVALIDARG;
    const CMethod* method = nullptr;
    for (const CMethod& entry : kMethods) {
        if (entry.id == id) method = &entry;
    }
    if (!method || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->argCount) return DISP_E_BADPARAMCOUNT;

    VARIANT args[std::size(CMethod{}.argTypes)];
    HRESULT hr = S_OK;
    UINT converted = 0;
    for (; converted < method->argCount && SUCCEEDED(hr); ++converted) {
        VARIANT& sent = params->rgvarg[method->argCount - 1 - converted];
        VariantInit(&args[converted]);
        if (method->argTypes[converted] == VT_VARIANT) {
            args[converted] = sent;
        } else if (FAILED(VariantChangeType(&args[converted], &sent, 0, method->argTypes[converted]))) {
            hr = DISP_E_TYPEMISMATCH;
            if (argError) *argError = method->argCount - 1 - converted;
        }
    }
    VARIANT ignored;
    VariantInit(&ignored);
    if (SUCCEEDED(hr)) {
        VARIANT* out = result ? result : &ignored;
        VariantInit(out);
        UINT refused = 0;
        hr = CallMethod(*this, *method, args, out, &refused, exception);
        if (hr == DISP_E_TYPEMISMATCH && argError) *argError = method->argCount - 1 - refused;
    }
    VariantClear(&ignored);
    for (UINT n = 0; n < converted; ++n) {
        if (method->argTypes[n] != VT_VARIANT) VariantClear(&args[n]);
    }
    return hr;
}

HRESULT CKIVOParseOleCtrl::CallGetHTML(VARIANT*, VARIANT* result, UINT*) {
    return StringResult(mCtrl.GetHTML(), result);
}

HRESULT CKIVOParseOleCtrl::CallParseHTML(VARIANT* args, VARIANT* result, UINT*) {
    return Int32Result(mCtrl.ParseHTML(ArgText(args[0])), result);
}

HRESULT CKIVOParseOleCtrl::CallSetLogFile(VARIANT* args, VARIANT*, UINT*) {
    mCtrl.SetLogFile(ArgText(args[0]));
    return S_OK;
}

template <UrlKind kKind>
HRESULT CKIVOParseOleCtrl::CallCollect(VARIANT*, VARIANT* result, UINT*) {
    return ToStringArray(mCtrl.Collect(kKind), result);
}

// A list in a form the control cannot read is refused, with its index in
// call order, before anything is changed.
template <UrlKind kKind>
HRESULT CKIVOParseOleCtrl::CallFix(VARIANT* args, VARIANT* result, UINT* refused) {
    std::vector<std::string> lists[2];
    for (UINT n = 0; n < 2; ++n) {
        if (FAILED(ReadStringList(args[n], lists[n]))) {
            *refused = n;
            return DISP_E_TYPEMISMATCH;
        }
    }
    return Int32Result(mCtrl.Fix(kKind, lists[0], lists[1]), result);
}

HRESULT CKIVOParseOleCtrl::CallSetDocumentBase(VARIANT* args, VARIANT*, UINT*) {
    mCtrl.SetDocumentBase(ArgText(args[0]));
    return S_OK;
}

// ---- IProvideClassInfo2

HRESULT CKIVOParseOleCtrl::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    return LoadKIVOParseTypeInfo(LOCALE_USER_DEFAULT, CLSID_KIVOParse, info);
}

HRESULT CKIVOParseOleCtrl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID__DKIVOParseEvents;
    return S_OK;
}

// ---- IConnectionPointContainer

HRESULT CKIVOParseOleCtrl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return Guarded([&] {
        std::vector<IConnectionPoint*> all = {&mEvents};
        return CEnum<IEnumConnectionPoints, IConnectionPoint*>::Create(static_cast<IDispatch*>(this), all, 0, points);
    });
}

HRESULT CKIVOParseOleCtrl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID__DKIVOParseEvents) return CONNECT_E_NOCONNECTION;
    *point = &mEvents;
    mEvents.AddRef();
    return S_OK;
}

// ---- ISpecifyPropertyPages

HRESULT CKIVOParseOleCtrl::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = CLSID_KIVOParsePropPage;
    return S_OK;
}

// ---- IViewObject2

HRESULT CKIVOParseOleCtrl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds, LPCRECTL,
                                BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!drawDc || !bounds) return E_INVALIDARG;
    DrawPlaceholder(drawDc, RECT{bounds->left, bounds->top, bounds->right, bounds->bottom});
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

HRESULT CKIVOParseOleCtrl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (sink) sink->AddRef();
    ReleaseAndClear(mViewSink);
    mViewSink = sink;
    mViewAspects = aspects;
    mViewFlags = flags;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = mViewAspects;
    if (flags) *flags = mViewFlags;
    if (sink) {
        *sink = mViewSink;
        if (mViewSink) mViewSink->AddRef();
    }
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

void CKIVOParseOleCtrl::ViewChanged() {
    if (mViewSink && (mViewAspects & DVASPECT_CONTENT)) mViewSink->OnViewChange(DVASPECT_CONTENT, -1);
    if (mWindow) InvalidateRect(mWindow, nullptr, TRUE);
}

// ---- IOleObject

HRESULT CKIVOParseOleCtrl::SetClientSite(IOleClientSite* site) {
    if (site) site->AddRef();
    ReleaseAndClear(mSite);
    mSite = site;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = mSite;
    if (mSite) mSite->AddRef();
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT CKIVOParseOleCtrl::Close(DWORD saveOption) {
    InPlaceDeactivate();
    if (bDirty && mSite && (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE)) {
        mSite->SaveObject();
    }
    if (mAdviseHolder) mAdviseHolder->SendOnClose();
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT CKIVOParseOleCtrl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT CKIVOParseOleCtrl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    return Guarded([&] { return RunVerb(verb, site, parent, position); });
}

HRESULT CKIVOParseOleCtrl::RunVerb(LONG verb, IOleClientSite* site, HWND parent, LPCRECT position) {
    switch (verb) {
        case OLEIVERB_PROPERTIES:
            return ShowPropertyPages(parent);
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_OPEN:
        case OLEIVERB_UIACTIVATE:
            return ActivateInPlace(site, parent, position, true);
        case OLEIVERB_INPLACEACTIVATE:
            return ActivateInPlace(site, parent, position, false);
        case OLEIVERB_HIDE:
            UIDeactivate();
            if (mWindow) ShowWindow(mWindow, SW_HIDE);
            return S_OK;
        default:
            return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

// A container that shows property frames itself is asked first, so the
// page comes up in the container's own sheet.
HRESULT CKIVOParseOleCtrl::ShowPropertyPages(HWND parent) {
    IOleControlSite* controlSite = nullptr;
    if (mSite && SUCCEEDED(mSite->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&controlSite)))) {
        HRESULT hr = controlSite->ShowPropertyFrame();
        controlSite->Release();
        if (hr == S_OK) return S_OK;
    }
    IUnknown* self = static_cast<IDispatch*>(this);
    CLSID page = CLSID_KIVOParsePropPage;
    const std::wstring caption = LoadResourceString(IDS_KIVOPARSE);
    return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, &self, 1, &page, LOCALE_USER_DEFAULT, 0, nullptr);
}

// The control's window, a child of the container's, shows the placeholder;
// UI activation also makes the control the container's active object.
HRESULT CKIVOParseOleCtrl::ActivateInPlace(IOleClientSite* site, HWND, LPCRECT position, bool uiActivate) {
    if (!site) site = mSite;
    if (!site) return E_UNEXPECTED;
    if (!mInPlaceSite) {
        IOleInPlaceSite* inPlaceSite = nullptr;
        HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite));
        if (FAILED(hr)) return hr;
        if (inPlaceSite->CanInPlaceActivate() != S_OK) {
            inPlaceSite->Release();
            return E_FAIL;
        }
        mInPlaceSite = inPlaceSite;
        mInPlaceSite->OnInPlaceActivate();
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        RECT place = {};
        RECT clip = {};
        HWND container = nullptr;
        if (FAILED(mInPlaceSite->GetWindowContext(&mFrame, &mDocument, &place, &clip, &frameInfo)) ||
            FAILED(mInPlaceSite->GetWindow(&container)) || !RegisterWindowClass()) {
            InPlaceDeactivate();
            return E_FAIL;
        }
        if (position) place = *position;
        mWindow = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, container, nullptr,
                                  ModuleInstance(), nullptr);
        if (!mWindow) {
            InPlaceDeactivate();
            return E_FAIL;
        }
    }
    ShowWindow(mWindow, SW_SHOWNA);
    if (uiActivate && !bUIActive) {
        const std::wstring name = LoadResourceString(IDS_KIVOPARSE);
        bUIActive = true;
        mInPlaceSite->OnUIActivate();
        if (mFrame) {
            mFrame->SetActiveObject(this, name.c_str());
            mFrame->SetBorderSpace(nullptr);
        }
        if (mDocument) mDocument->SetActiveObject(this, name.c_str());
        SetFocus(mWindow);
    }
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::EnumVerbs(IEnumOLEVERB** verbs) { return OleRegEnumVerbs(CLSID_KIVOParse, verbs); }

HRESULT CKIVOParseOleCtrl::Update() { return S_OK; }

HRESULT CKIVOParseOleCtrl::IsUpToDate() { return S_OK; }

HRESULT CKIVOParseOleCtrl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

HRESULT CKIVOParseOleCtrl::GetUserType(DWORD, LPOLESTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    return Guarded([&] {
        const std::wstring text = LoadResourceString(IDS_KIVOPARSE);
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
        if (!*name) return E_OUTOFMEMORY;
        text.copy(*name, text.size());
        (*name)[text.size()] = L'\0';
        return S_OK;
    });
}

HRESULT CKIVOParseOleCtrl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size || size->cx < 0 || size->cy < 0) return E_INVALIDARG;
    mExtent = *size;
    bDirty = true;
    ViewChanged();
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = mExtent;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!mAdviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&mAdviseHolder);
        if (FAILED(hr)) return hr;
    }
    return mAdviseHolder->Advise(sink, connection);
}

HRESULT CKIVOParseOleCtrl::Unadvise(DWORD connection) {
    return mAdviseHolder ? mAdviseHolder->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT CKIVOParseOleCtrl::EnumAdvise(IEnumSTATDATA** advises) {
    if (!advises) return E_POINTER;
    *advises = nullptr;
    return mAdviseHolder ? mAdviseHolder->EnumAdvise(advises) : S_OK;
}

HRESULT CKIVOParseOleCtrl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT CKIVOParseOleCtrl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = mWindow;
    return mWindow ? S_OK : E_FAIL;
}

HRESULT CKIVOParseOleCtrl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::InPlaceDeactivate() {
    if (!mInPlaceSite) return S_OK;
    UIDeactivate();
    if (mWindow) DestroyWindow(mWindow);
    mWindow = nullptr;
    IOleInPlaceSite* site = mInPlaceSite;
    mInPlaceSite = nullptr;
    ReleaseAndClear(mFrame);
    ReleaseAndClear(mDocument);
    site->OnInPlaceDeactivate();
    site->Release();
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::UIDeactivate() {
    if (!bUIActive) return S_OK;
    bUIActive = false;
    if (mFrame) mFrame->SetActiveObject(nullptr, nullptr);
    if (mDocument) mDocument->SetActiveObject(nullptr, nullptr);
    if (mInPlaceSite) mInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_INVALIDARG;
    if (mWindow) {
        MoveWindow(mWindow, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    }
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::TranslateAccelerator(LPMSG) { return S_FALSE; }

HRESULT CKIVOParseOleCtrl::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT CKIVOParseOleCtrl::OnDocWindowActivate(BOOL) { return S_OK; }

HRESULT CKIVOParseOleCtrl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

HRESULT CKIVOParseOleCtrl::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl: no mnemonics, no ambient properties that matter, no events to freeze.

HRESULT CKIVOParseOleCtrl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::OnMnemonic(MSG*) { return E_NOTIMPL; }

HRESULT CKIVOParseOleCtrl::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT CKIVOParseOleCtrl::FreezeEvents(BOOL) { return S_OK; }

// ---- Persistence: the version number is all the control keeps. A stream
// holds it as four bytes, low byte first; a property bag as "_Version".
// Older versions load as 1.0; a newer one is refused.

HRESULT CKIVOParseOleCtrl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_KIVOParse;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::IsDirty() { return bDirty ? S_OK : S_FALSE; }

HRESULT CKIVOParseOleCtrl::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    BYTE bytes[4] = {};
    ULONG read = 0;
    if (FAILED(stream->Read(bytes, sizeof(bytes), &read)) || read != sizeof(bytes)) return STG_E_READFAULT;
    const ULONG version = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<ULONG>(bytes[3]) << 24);
    if (version > static_cast<ULONG>(kPersistedVersion)) return E_FAIL;
    mVersion = kPersistedVersion;
    bDirty = false;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::Save(LPSTREAM stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    const ULONG version = static_cast<ULONG>(mVersion);
    const BYTE bytes[4] = {static_cast<BYTE>(version), static_cast<BYTE>(version >> 8),
                           static_cast<BYTE>(version >> 16), static_cast<BYTE>(version >> 24)};
    ULONG written = 0;
    if (FAILED(stream->Write(bytes, sizeof(bytes), &written)) || written != sizeof(bytes)) return STG_E_WRITEFAULT;
    if (clearDirty) bDirty = false;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 4;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::InitNew() {
    mVersion = kPersistedVersion;
    bDirty = false;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    if (SUCCEEDED(bag->Read(L"_Version", &value, log))) {
        HRESULT hr = VariantChangeType(&value, &value, 0, VT_I4);
        const bool newer = SUCCEEDED(hr) && V_I4(&value) > kPersistedVersion;
        VariantClear(&value);
        if (FAILED(hr) || newer) return E_FAIL;
    }
    mVersion = kPersistedVersion;
    bDirty = false;
    return S_OK;
}

HRESULT CKIVOParseOleCtrl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
    if (!bag) return E_POINTER;
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = mVersion;
    HRESULT hr = bag->Write(L"_Version", &value);
    if (SUCCEEDED(hr) && clearDirty) bDirty = false;
    return hr;
}

}  // namespace kivoparse::win
