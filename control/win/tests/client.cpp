// A host's view of KIVOPARSE.OCX, run under Wine once regsvr32 has
// registered it (run-wine.sh checks the keys themselves):
//   client.exe KIVOPARSE.OCX KIVOPARSE_FAULTS.OCX [OTHER-WIDTH/KIVOPARSE.OCX]
// Each failed check prints its line; the exit code is the number of failures.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

// The identifiers of the type library, defined here for the client.
#include <initguid.h>
#include "control/win/KIVOParse.h"

namespace {

int gFailures = 0;
#define CHECK(condition) Check((condition), __LINE__, #condition)
bool Check(bool ok, int line, const char* what) {
    if (!ok) std::printf("FAILED line %d: %s\n", line, what), ++gFailures;
    return ok;
}

using Strings = std::vector<std::wstring>;
const wchar_t kControlProgId[] = L"KIVOPARSE.KIVOParseCtrl.1";
const wchar_t kPageProgId[] = L"KIVOPARSE.KIVOParsePropPage.1";
enum { kGetHTML = 1, kParseHTML, kSetLogFile, kGetImages, kGetHrefs, kFixImages, kFixHrefs, kSetDocumentBase };

std::wstring Guid(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

CLSID PageClsid() {
    CLSID clsid = GUID_NULL;
    CLSIDFromProgID(kPageProgId, &clsid);
    return clsid;
}

// The value, or "<missing>" when the key or value is not there.
std::wstring RegValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t value[512] = {};
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) ? L"<missing>"
                                                                                                    : value;
}

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char block[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof(block), &read, nullptr) && read)
        bytes.append(block, read);
    CloseHandle(file);
    return bytes;
}

template <class T>
T* Query(IUnknown* object, REFIID riid) {
    T* result = nullptr;
    CHECK(object && SUCCEEDED(object->QueryInterface(riid, reinterpret_cast<void**>(&result))));
    return result;
}

// ---- Calls through IDispatch, arguments in call order; the arguments are freed.

VARIANT Bstr(const std::wstring& text) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT List(const Strings& items, VARTYPE type = VT_BSTR, LONG lower = 0) {
    SAFEARRAYBOUND bound = {static_cast<ULONG>(items.size()), lower};
    VARIANT v;
    V_VT(&v) = VT_ARRAY | type;
    V_ARRAY(&v) = SafeArrayCreate(type, 1, &bound);
    for (LONG n = 0; n < static_cast<LONG>(items.size()); ++n) {
        LONG index = n + lower;
        VARIANT item = Bstr(items[static_cast<size_t>(n)]);
        SafeArrayPutElement(V_ARRAY(&v), &index, type == VT_BSTR ? static_cast<void*>(V_BSTR(&item)) : &item);
        VariantClear(&item);
    }
    return v;
}

HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr,
             WORD flags = DISPATCH_METHOD, UINT* argError = nullptr, EXCEPINFO* exception = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (result) VariantInit(result);
    HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception, argError);
    for (VARIANT& arg : args) VariantClear(&arg);
    return hr;
}

// A string result, a long (-2 for anything else), a list of strings.
std::wstring Text(IDispatch* control) {
    VARIANT v;
    std::wstring text = SUCCEEDED(Call(control, kGetHTML, {}, &v)) && V_VT(&v) == VT_BSTR ? V_BSTR(&v) : L"<none>";
    VariantClear(&v);
    return text;
}

LONG Long(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
    VARIANT v;
    LONG value = SUCCEEDED(Call(control, id, std::move(args), &v)) && V_VT(&v) == VT_I4 ? V_I4(&v) : -2;
    VariantClear(&v);
    return value;
}

Strings Items(IDispatch* control, DISPID id) {
    VARIANT v;
    Strings items;
    LONG lower = -1, upper = -2;
    if (!CHECK(SUCCEEDED(Call(control, id, {}, &v)) && V_VT(&v) == (VT_ARRAY | VT_BSTR))) return {L"<none>"};
    SafeArrayGetLBound(V_ARRAY(&v), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(&v), 1, &upper);
    CHECK(SafeArrayGetDim(V_ARRAY(&v)) == 1 && lower == 0);
    for (LONG n = 0; n <= upper; ++n) {
        BSTR item = nullptr;
        SafeArrayGetElement(V_ARRAY(&v), &n, &item);
        items.emplace_back(item);
        SysFreeString(item);
    }
    VariantClear(&v);
    return items;
}

IDispatch* CreateControl() {
    CLSID clsid = GUID_NULL;
    IDispatch* control = nullptr;
    CHECK(SUCCEEDED(CLSIDFromProgID(kControlProgId, &clsid)) && clsid == CLSID_KIVOParse);
    CHECK(SUCCEEDED(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control))));
    return control;
}

// ---- Type information: names, DISPIDs, parameter names, result types, help strings.

void CheckTypeInfo(IDispatch* control) {
    const struct {
        const wchar_t* name;
        Strings params;
        VARTYPE result;
    } methods[] = {
        {L"GetHTML", {}, VT_BSTR},
        {L"ParseHTML", {L"pHTML"}, VT_I4},
        {L"SetLogFile", {L"pFileName"}, VT_VOID},
        {L"GetImages", {}, VT_VARIANT},
        {L"GetHrefs", {}, VT_VARIANT},
        {L"FixImages", {L"pSrc", L"pDest"}, VT_I4},
        {L"FixHrefs", {L"pSrc", L"pDest"}, VT_I4},
        {L"SetDocumentBase", {L"pBaseURL"}, VT_VOID},
    };
    ITypeInfo* info = nullptr;
    if (!CHECK(SUCCEEDED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)))) return;
    for (DISPID id = 1; id <= 8; ++id) {
        const auto& method = methods[id - 1];
        std::vector<LPOLESTR> names = {const_cast<LPOLESTR>(method.name)};
        for (const std::wstring& param : method.params) names.push_back(const_cast<LPOLESTR>(param.c_str()));
        std::vector<DISPID> ids(names.size(), -1);
        CHECK(
            SUCCEEDED(control->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data())));
        CHECK(ids[0] == id);
        for (size_t n = 1; n < ids.size(); ++n) CHECK(ids[n] == static_cast<DISPID>(n - 1));
        FUNCDESC* func = nullptr;
        if (!CHECK(SUCCEEDED(info->GetFuncDesc(static_cast<UINT>(id - 1), &func)))) continue;
        CHECK(func->memid == id && func->invkind == INVOKE_FUNC && func->elemdescFunc.tdesc.vt == method.result);
        info->ReleaseFuncDesc(func);
    }
    ITypeLib* library = nullptr;
    UINT index = 0;
    info->GetContainingTypeLib(&library, &index);
    info->Release();
    TLIBATTR* libAttr = nullptr;
    library->GetLibAttr(&libAttr);
    CHECK(libAttr->guid == LIBID_KIVOPARSELib && libAttr->lcid == 0x409 && libAttr->wMajorVerNum == 1 &&
          libAttr->wMinorVerNum == 0 && (libAttr->wLibFlags & LIBFLAG_FCONTROL));
    library->ReleaseTLibAttr(libAttr);
    const struct {
        GUID guid;
        const wchar_t* name;
        const wchar_t* help;
        TYPEKIND kind;
        WORD funcs;
        WORD flags;
    } items[] = {
        {GUID_NULL, L"KIVOPARSELib", L"KIVOParse ActiveX Control module", TKIND_MAX, 0, 0},
        {DIID__DKIVOParse, L"_DKIVOParse", L"Dispatch interface for KIVOParse Control", TKIND_DISPATCH, 8,
         TYPEFLAG_FHIDDEN},
        {DIID__DKIVOParseEvents, L"_DKIVOParseEvents", L"Event interface for KIVOParse Control", TKIND_DISPATCH, 0, 0},
        {CLSID_KIVOParse, L"KIVOParse", L"KIVOParse Control", TKIND_COCLASS, 0,
         TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL},
    };
    for (const auto& item : items) {
        INT at = -1;
        ITypeInfo* type = nullptr;
        if (item.kind != TKIND_MAX && CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(item.guid, &type)))) {
            TYPEATTR* attr = nullptr;
            type->GetTypeAttr(&attr);
            CHECK(attr->typekind == item.kind && attr->cFuncs == item.funcs &&
                  (attr->wTypeFlags & item.flags) == item.flags);
            type->ReleaseTypeAttr(attr);
            type->GetContainingTypeLib(nullptr, reinterpret_cast<UINT*>(&at));
            type->Release();
        }
        BSTR name = nullptr, help = nullptr, file = nullptr;
        DWORD context = 1;
        CHECK(SUCCEEDED(library->GetDocumentation(at, &name, &help, &context, &file)) && context == 0 &&
              name == std::wstring(item.name) && help == std::wstring(item.help) &&
              std::wstring(file).find(L"KIVOParse.hlp") != std::wstring::npos);
        SysFreeString(name), SysFreeString(help), SysFreeString(file);
    }
    library->Release();
    IProvideClassInfo2* classInfo = Query<IProvideClassInfo2>(control, IID_IProvideClassInfo2);
    ITypeInfo* coclass = nullptr;
    GUID source = GUID_NULL;
    CHECK(SUCCEEDED(classInfo->GetClassInfo(&coclass)) && SUCCEEDED(classInfo->GetGUID(1, &source)));
    CHECK(source == DIID__DKIVOParseEvents);
    INT flags = 0;
    coclass->GetImplTypeFlags(1, &flags);
    CHECK(flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
    coclass->Release();
    classInfo->Release();
}

// ---- The eight methods, on documents and on every form of list a host passes.

// The reference to a variable holding the array (the interface's own
// form), the array itself, an array of VARIANTs.
enum class Form { Reference, Value, Variants };

LONG Fix(IDispatch* control, DISPID id, const Strings& src, const Strings& dest, Form form) {
    VARTYPE type = form == Form::Variants ? VT_VARIANT : VT_BSTR;
    VARIANT lists[2] = {List(src, type), List(dest, type)}, refs[2];
    for (int n = 0; n < 2; ++n) V_VT(&refs[n]) = VT_BYREF | VT_VARIANT, V_VARIANTREF(&refs[n]) = &lists[n];
    if (form != Form::Reference) return Long(control, id, {lists[0], lists[1]});
    const LONG result = Long(control, id, {refs[0], refs[1]});
    VariantClear(&lists[0]), VariantClear(&lists[1]);
    return result;
}

Strings Renamed(const Strings& items, const wchar_t* prefix) {
    Strings renamed;
    for (size_t n = 0; n < items.size(); ++n) renamed.push_back(prefix + std::to_wstring(n));
    return renamed;
}

void CheckMethods() {
    const struct {
        std::wstring base, html, written;
        Strings images, hrefs;
    } cases[] = {
        {L"C:\\web\\",
         L"<img src=C:\\web\\a.gif><a href=x.htm>x</a>",
         L"<IMG src=\"a.gif\"><A href=\"x.htm\">x</A>",
         {L"a.gif"},
         {L"x.htm"}},
        {L"",
         L"<img src=A.gif><img src=a.GIF><a href=p.htm>1</a><a href=P.HTM>2</a>",
         L"<IMG src=\"A.gif\"><IMG src=\"a.GIF\"><A href=\"p.htm\">1</A><A href=\"P.HTM\">2</A>",
         {L"A.gif"},
         {L"p.htm"}},
        // Text stops at its first NUL on the way in.
        {L"", std::wstring(L"<b>x</b>\0<i>y</i>", 17), L"<B>x</B>", {}, {}},
        // Through the ANSI code page and back.
        {L"", L"<a href=caf\u00e9.htm>\u00e9</a>", L"<A href=\"caf\u00e9.htm\">\u00e9</A>", {}, {L"caf\u00e9.htm"}},
    };
    for (const auto& c : cases) {
        for (Form form : {Form::Reference, Form::Value, Form::Variants}) {
            IDispatch* control = CreateControl();
            if (!control) return;
            VARIANT none;
            CHECK(SUCCEEDED(Call(control, kSetDocumentBase, {Bstr(c.base)}, &none)) && V_VT(&none) == VT_EMPTY);
            CHECK(Long(control, kParseHTML, {Bstr(c.html)}) == 0);
            const std::wstring written = Text(control);
            if (!CHECK(written == c.written)) std::printf("  GetHTML gave %ls\n", written.c_str());
            CHECK(Items(control, kGetImages) == c.images && Items(control, kGetHrefs) == c.hrefs);
            CHECK(Fix(control, kFixImages, c.images, Renamed(c.images, L"i"), form) == 0);
            CHECK(Fix(control, kFixHrefs, c.hrefs, Renamed(c.hrefs, L"h"), form) == 0);
            CHECK(Items(control, kGetImages) == Renamed(c.images, L"i"));
            CHECK(Items(control, kGetHrefs) == Renamed(c.hrefs, L"h"));
            CHECK(Fix(control, kFixHrefs, {L"a"}, {}, form) == -1);
            control->Release();
        }
    }
}

// Before any parse, the dispatch layer's refusals, lists in forms the
// control does not read, and the log.
void CheckEdges() {
    IDispatch* control = CreateControl();
    if (!control) return;
    CHECK(Text(control) == L"" && Items(control, kGetImages).empty() && Items(control, kGetHrefs).empty());
    CHECK(Fix(control, kFixImages, {L"a"}, {L"b"}, Form::Reference) == 0);
    CHECK(Fix(control, kFixImages, {L"a"}, {}, Form::Reference) == -1);
    VARIANT out;
    CHECK(Call(control, kParseHTML, {}, &out) == DISP_E_BADPARAMCOUNT);
    CHECK(Call(control, 9, {}, &out) == DISP_E_MEMBERNOTFOUND);
    CHECK(Call(control, kGetHTML, {}, &out, DISPATCH_PROPERTYPUT) == DISP_E_MEMBERNOTFOUND);
    CHECK(Call(control, kGetHTML, {}) == S_OK);
    CHECK(Call(control, kGetHTML, {}, &out, DISPATCH_PROPERTYGET) == S_OK && V_VT(&out) == VT_BSTR);
    VariantClear(&out);
    VARIANT arg = Bstr(L"x");
    DISPID named = 0;
    DISPPARAMS params = {&arg, &named, 1, 1};
    CHECK(control->Invoke(kParseHTML, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr) ==
          DISP_E_NONAMEDARGS);
    VariantClear(&arg);
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    VARIANT twoDims, empty;
    V_VT(&twoDims) = VT_ARRAY | VT_BSTR, V_ARRAY(&twoDims) = SafeArrayCreate(VT_BSTR, 2, bounds);
    VariantInit(&empty);
    for (VARIANT bad : {Bstr(L"a.gif"), empty, List({L"a"}, VT_BSTR, 1), twoDims}) {
        UINT argError = 9;
        CHECK(Call(control, kFixImages, {bad, List({L"a"})}, &out, DISPATCH_METHOD, &argError) == DISP_E_TYPEMISMATCH);
        CHECK(argError == 1);  // pSrc, counted from the last argument
    }
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"kivoparse-client.log";
    DeleteFileW(path.c_str());
    CHECK(SUCCEEDED(Call(control, kSetLogFile, {Bstr(path)}, &out)) && V_VT(&out) == VT_EMPTY);
    Long(control, kParseHTML, {Bstr(L"<p>")});
    control->Release();
    const std::string bytes = FileBytes(path);
    DeleteFileW(path.c_str());
    CHECK(bytes.rfind("STARTSTATE: KP_BETWEEN_TAGS", 0) == 0);
    CHECK(bytes.find("\r\n") != std::string::npos);  // text mode
}

// ---- Drawing, property page, connection points, persistence

void CheckDrawing(IDispatch* control) {
    IViewObject2* view = Query<IViewObject2>(control, IID_IViewObject2);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 50, -30, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD* pixels = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int n = 0; n < 50 * 30; ++n) pixels[n] = 0xFF0000;
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(GRAY_BRUSH));
    RECTL bounds = {5, 5, 45, 25};
    CHECK(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) == S_OK);
    GdiFlush();
    auto at = [&](int x, int y) { return pixels[y * 50 + x] & 0xFFFFFF; };
    CHECK(at(1, 1) == 0xFF0000);    // outside the bounds: untouched
    CHECK(at(6, 6) == 0xFFFFFF);    // a corner of the bounds: white
    CHECK(at(25, 5) == 0x000000);   // the ellipse's outline: the current pen
    CHECK(at(25, 15) == 0x808080);  // its inside: the current brush
    CHECK(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) == DV_E_DVASPECT);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    view->Release();
}

bool gPageShown = false;

BOOL CALLBACK FindPageText(HWND window, LPARAM found) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    if (std::wstring(text).rfind(L"TODO: Place controls to manipulate properties of KIVOParse", 0) == 0) {
        *reinterpret_cast<bool*>(found) = true;
    }
    return TRUE;
}

BOOL CALLBACK CloseIfShown(HWND top, LPARAM) {
    EnumChildWindows(top, FindPageText, reinterpret_cast<LPARAM>(&gPageShown));
    if (gPageShown) PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// Runs inside the property frame's modal loop: finds the page's text,
// then closes the frame.
void CALLBACK CloseFrame(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CloseIfShown, 0); }

void CheckPropertyPage(IDispatch* control) {
    ISpecifyPropertyPages* specify = Query<ISpecifyPropertyPages>(control, IID_ISpecifyPropertyPages);
    CAUUID pages = {};
    CHECK(SUCCEEDED(specify->GetPages(&pages)) && pages.cElems == 1 && pages.pElems[0] == PageClsid());
    CoTaskMemFree(pages.pElems);
    specify->Release();
    IPropertyPage* page = nullptr;
    CoCreateInstance(PageClsid(), nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, reinterpret_cast<void**>(&page));
    if (!CHECK(page != nullptr)) return;
    PROPPAGEINFO info = {};
    CHECK(SUCCEEDED(page->GetPageInfo(&info)) && info.pszTitle == std::wstring(L"General"));
    CoTaskMemFree(info.pszTitle);
    page->Release();
    // The properties verb shows the page, with its one line of text, in a frame.
    IOleObject* object = Query<IOleObject>(control, IID_IOleObject);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseFrame);
    CHECK(SUCCEEDED(object->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr)) && gPageShown);
    KillTimer(nullptr, timer);
    DWORD status = 0;
    LPOLESTR name = nullptr;
    CHECK(SUCCEEDED(object->GetMiscStatus(DVASPECT_CONTENT, &status)) && status == 0x20191);
    CHECK(SUCCEEDED(object->GetUserType(USERCLASSTYPE_FULL, &name)) && name == std::wstring(L"KIVOParse Control"));
    CoTaskMemFree(name);
    object->Release();
}

// An event sink that counts the calls it gets; it lives on the stack.
struct CSink final : IDispatch {
    int mCalls = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return ++mCalls, S_OK;
    }
};

void CheckConnectionPoints(IDispatch* control) {
    IConnectionPointContainer* container = Query<IConnectionPointContainer>(control, IID_IConnectionPointContainer);
    IConnectionPoint *point = nullptr, *listed[2] = {};
    IEnumConnectionPoints *points = nullptr, *clone = nullptr;
    ULONG fetched = 0;
    CHECK(container->FindConnectionPoint(IID_IPropertyNotifySink, &point) == CONNECT_E_NOCONNECTION);
    CHECK(SUCCEEDED(container->FindConnectionPoint(DIID__DKIVOParseEvents, &point)));
    CHECK(SUCCEEDED(container->EnumConnectionPoints(&points)));
    CHECK(points->Next(2, listed, &fetched) == S_FALSE && fetched == 1 && listed[0] == point);
    CHECK(points->Reset() == S_OK && points->Clone(&clone) == S_OK && clone->Skip(1) == S_OK &&
          clone->Skip(1) == S_FALSE);
    listed[0]->Release(), clone->Release(), points->Release();
    CSink sink;
    DWORD cookie = 0;
    IEnumConnections* connections = nullptr;
    CONNECTDATA data[2] = {};
    CHECK(SUCCEEDED(point->Advise(&sink, &cookie)) && SUCCEEDED(point->EnumConnections(&connections)));
    CHECK(connections->Next(2, data, &fetched) == S_FALSE && fetched == 1 && data[0].dwCookie == cookie);
    data[0].pUnk->Release(), connections->Release();
    Long(control, kParseHTML, {Bstr(L"<p>x</p>")});
    CHECK(point->Unadvise(cookie) == S_OK && point->Unadvise(cookie) == CONNECT_E_NOCONNECTION && sink.mCalls == 0);
    point->Release(), container->Release();
}

// A real container sites the control: Wine's ATL host window activates it
// in place, and the control's own window shows inside the host.
void CheckSiting() {
    HMODULE atl = LoadLibraryW(L"atl.dll");
    using Init = BOOL(WINAPI*)();
    using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
    auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    auto getControl = reinterpret_cast<GetControl>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
    if (!CHECK(init && getControl && init())) return;
    HWND host = CreateWindowExW(0, L"AtlAxWin", kControlProgId, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
    IUnknown* control = nullptr;
    HWND window = nullptr;
    CHECK(host && SUCCEEDED(getControl(host, &control)));
    IOleInPlaceObject* inPlace = Query<IOleInPlaceObject>(control, IID_IOleInPlaceObject);
    CHECK(inPlace && SUCCEEDED(inPlace->GetWindow(&window)) && GetParent(window) == host && IsWindowVisible(window));
    if (inPlace) inPlace->Release();
    if (control) control->Release();
    DestroyWindow(host);
}

// The version, 1.0, is all a stream keeps: four bytes, low byte first.
void CheckPersistence(IDispatch* control) {
    IPersistStreamInit* persist = Query<IPersistStreamInit>(control, IID_IPersistStreamInit);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    const LARGE_INTEGER start = {};
    BYTE version[5] = {};
    ULONG read = 0;
    CHECK(persist->Save(stream, TRUE) == S_OK && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)));
    CHECK(SUCCEEDED(stream->Read(version, 5, &read)) && read == 4 && version[2] == 1 &&
          version[0] + version[1] + version[3] == 0);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CHECK(persist->Load(stream) == S_OK);
    const BYTE newer[4] = {0, 0, 2, 0};
    stream->Seek(start, STREAM_SEEK_SET, nullptr), stream->Write(newer, 4, nullptr);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CHECK(FAILED(persist->Load(stream)));
    stream->Release(), persist->Release();
}

// ---- Misuse that held: arrays that are null, a million items, a 20 MB
// page (scenario.js has what scripts do).

void CheckMisuse() {
    IDispatch* control = CreateControl();
    if (!control) return;
    SAFEARRAY* none = nullptr;
    VARIANT nullArray, nullArrayRef, nullRef;
    V_VT(&nullArray) = VT_ARRAY | VT_BSTR, V_ARRAY(&nullArray) = nullptr;
    V_VT(&nullArrayRef) = VT_BYREF | VT_ARRAY | VT_BSTR, V_ARRAYREF(&nullArrayRef) = &none;
    V_VT(&nullRef) = VT_BYREF | VT_VARIANT, V_VARIANTREF(&nullRef) = nullptr;
    for (const VARIANT& bad : {nullArray, nullArrayRef, nullRef}) {
        VARIANT out;
        CHECK(Call(control, kFixHrefs, {List({L"a"}), bad}, &out) == DISP_E_TYPEMISMATCH);
    }
    Strings src, dest;
    for (int n = 0; n < 1000000; ++n) src.push_back(L"p" + std::to_wstring(n)), dest.push_back(L"q" + std::to_wstring(n));
    CHECK(Long(control, kParseHTML, {Bstr(L"<a href=p999999>x</a><a href=p0>y</a>")}) == 0);
    CHECK(Long(control, kFixHrefs, {List(src), List(dest)}) == 0);
    CHECK(Items(control, kGetHrefs) == (Strings{L"q999999", L"q0"}));
    CHECK(Long(control, kParseHTML, {Bstr(L"<p>" + std::wstring(20 << 20, L'x') + L"</p>")}) == 0);
    CHECK(Text(control).size() == (20u << 20) + 7);
    control->Release();
}

// ---- Out of memory, through the test build of the module: every method,
// with its first, second, ... allocation failing until the call succeeds,
// answers E_OUTOFMEMORY and leaves the control usable and its tree as it
// was; a failed parse leaves no tree. Any other exception is
// DISP_E_EXCEPTION with a description.

using FailAllocation = void(WINAPI*)(long after, int kind);

void CheckOutOfMemory(const wchar_t* module) {
    HMODULE library = LoadLibraryW(module);
    if (!CHECK(library != nullptr)) return;
    auto fail = reinterpret_cast<FailAllocation>(
        reinterpret_cast<void*>(GetProcAddress(library, "KivoparseFailAllocation")));
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!CHECK(fail && getClassObject &&
               SUCCEEDED(getClassObject(CLSID_KIVOParse, IID_IClassFactory, reinterpret_cast<void**>(&factory))))) {
        return;
    }
    // Creation: nothing half made is handed out.
    IDispatch* control = nullptr;
    fail(0, 0);
    CHECK(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control)) == E_OUTOFMEMORY && !control);
    fail(-1, 0);
    CHECK(SUCCEEDED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control))));
    factory->Release();
    if (!control) return;

    // Each call with arguments long enough to be allocated; the tree is
    // what GetHTML shows.
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring log = std::wstring(dir) + L"kivoparse-faults.log";
    const std::wstring page = L"<img src=a.gif><a href=x.htm>x</a><p>text<b>bold</p>";
    const struct {
        DISPID id;
        Strings args;
        bool lists;
    } calls[] = {
        {kGetHTML, {}, false},
        {kGetImages, {}, false},
        {kGetHrefs, {}, false},
        {kFixImages, {L"a.gif", L"b.gif"}, true},
        {kFixHrefs, {L"x.htm", L"y.htm"}, true},
        {kSetDocumentBase, {L"C:\\web\\pages\\of\\the\\shop\\"}, false},
        {kSetLogFile, {log}, false},
        {kParseHTML, {L"<i>a new page</i>"}, false},
    };
    for (const auto& call : calls) {
        long failures = 0;
        for (HRESULT hr = E_OUTOFMEMORY; hr == E_OUTOFMEMORY && failures < 100000; ++failures) {
            Long(control, kParseHTML, {Bstr(page)});
            const std::wstring before = Text(control);
            std::vector<VARIANT> args;
            for (const std::wstring& arg : call.args) args.push_back(call.lists ? List({arg}) : Bstr(arg));
            VARIANT result;
            fail(failures, 0);
            hr = Call(control, call.id, args, &result);
            fail(-1, 0);
            const VARTYPE type = V_VT(&result);
            VariantClear(&result);
            if (hr == S_OK) break;
            // A parse that fails once it has begun leaves no tree (the old one
            // is gone by then); anything else leaves the tree as it was.
            const std::wstring after = Text(control);
            if (!CHECK(hr == E_OUTOFMEMORY && type == VT_EMPTY &&
                       (after == before || (call.id == kParseHTML && failures > 0 && after.empty()))))
                break;
        }
        // Every method allocates (the arguments' 8-bit copies, the results).
        if (!CHECK(failures > 0 && failures < 100000)) std::printf("  DISPID %ld\n", call.id);
        Call(control, kSetLogFile, {Bstr(L"")});
    }
    DeleteFileW(log.c_str());
    // Any other exception, with what happened.
    EXCEPINFO exception = {};
    VARIANT result;
    fail(1, 1);  // the first allocation of the parse, after the text's 8-bit copy
    const HRESULT hr = Call(control, kParseHTML, {Bstr(page)}, &result, DISPATCH_METHOD, nullptr, &exception);
    fail(-1, 0);
    CHECK(hr == DISP_E_EXCEPTION && exception.scode == E_FAIL && exception.bstrSource &&
          exception.bstrSource == std::wstring(L"KIVOPARSE.KIVOParseCtrl.1") && exception.bstrDescription &&
          exception.bstrDescription == std::wstring(L"ParseHTML failed: an injected fault"));
    SysFreeString(exception.bstrSource), SysFreeString(exception.bstrDescription), SysFreeString(exception.bstrHelpFile);
    CHECK(Text(control).empty() && Long(control, kParseHTML, {Bstr(page)}) == 0);
    control->Release();
    FreeLibrary(library);
}

// ---- The ANSI code page, from the cases in codepage.cases (UTF-8, one per
// line, tab-separated: code page, log file name, document base, page,
// GetHTML, bytes the log holds in hex). Only the cases of the process's
// code page run; Wine takes it from LC_ALL.

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

int CheckCodePage(const wchar_t* casesPath) {
    std::istringstream lines(FileBytes(casesPath));
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const UINT codePage = GetACP();
    int cases = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::vector<std::string> f;
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        if (f.size() != 6 || f[0][0] == '#' || std::stoul(f[0]) != codePage) continue;
        ++cases;
        std::string bytes;  // the hex column
        for (size_t at = 0; at + 1 < f[5].size(); at += 3) bytes += static_cast<char>(std::stoi(f[5].substr(at, 2), nullptr, 16));
        const std::wstring log = dir + FromUtf8(f[1]);
        DeleteFileW(log.c_str());
        IDispatch* control = CreateControl();
        if (!control) break;
        Call(control, kSetLogFile, {Bstr(log)});
        Call(control, kSetDocumentBase, {Bstr(FromUtf8(f[2]))});
        CHECK(Long(control, kParseHTML, {Bstr(FromUtf8(f[3]))}) == 0);
        if (!CHECK(Text(control) == FromUtf8(f[4]))) std::printf("  code page %u, %s: GetHTML\n", codePage, f[3].c_str());
        control->Release();
        if (!CHECK(FileBytes(log).find(bytes) != std::string::npos))
            std::printf("  code page %u, %s: the log %s lacks %s\n", codePage, f[3].c_str(), f[1].c_str(), f[5].c_str());
        DeleteFileW(log.c_str());
    }
    if (!CHECK(cases > 0)) std::printf("  no cases for code page %u\n", codePage);
    std::printf(gFailures ? "code page %u: %d checks failed\n" : "code page %u: %d cases passed\n", codePage,
                gFailures ? gFailures : cases);
    return gFailures;
}

// ---- Registration-free use: with the host's manifest (which names the
// control's assembly, KIVOParse.manifest beside it) active, the control is
// created by ProgID and works, nothing registered.

int CheckRegistrationFree(const wchar_t* manifest) {
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.lpSource = manifest;
    HANDLE handle = CreateActCtxW(&context);
    ULONG_PTR cookie = 0;
    if (!CHECK(handle != INVALID_HANDLE_VALUE && ActivateActCtx(handle, &cookie))) return gFailures;
    CHECK(RegValue(kControlProgId) == L"<missing>");
    // The ProgID may name the class by the alias the activation context
    // gives it; both that and the class's own identifier create it.
    CLSID alias = GUID_NULL;
    CHECK(SUCCEEDED(CLSIDFromProgID(kControlProgId, &alias)));
    for (const CLSID& clsid : {alias, CLSID_KIVOParse}) {
        IDispatch* control = nullptr;
        if (!CHECK(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                              reinterpret_cast<void**>(&control))))) {
            continue;
        }
        LPOLESTR name = const_cast<LPOLESTR>(L"ParseHTML");
        DISPID id = DISPID_UNKNOWN;
        CHECK(SUCCEEDED(control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) && id == kParseHTML);
        CHECK(Long(control, kParseHTML, {Bstr(L"<img src=a.gif><a href=x.htm>x</a>")}) == 0);
        CHECK(Text(control) == L"<IMG src=\"a.gif\"><A href=\"x.htm\">x</A>" && Items(control, kGetImages) == Strings{L"a.gif"});
        control->Release();
    }
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(handle);
    std::printf(gFailures ? "registration-free: %d checks failed\n" : "registration-free: as expected\n", gFailures);
    return gFailures;
}

// ---- Self-registration through the exports, with the exact HRESULTs. A
// volatile key where registration must write a lasting one fails that step.

void CheckSelfRegistration(const wchar_t* module) {
    HMODULE library = LoadLibraryW(module);
    if (!CHECK(library != nullptr)) return;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = [&](int ordinal) {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
    };
    CHECK(entry(3) == reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer"))));
    CHECK(entry(1)() == S_OK);  // DllCanUnloadNow: no object is left
    const std::wstring libKey = L"TypeLib\\" + Guid(LIBID_KIVOPARSELib), classKey = L"CLSID\\" + Guid(CLSID_KIVOParse);
    const struct {
        const wchar_t* volatileKey;
        HRESULT registered;
    } cases[] = {
        {nullptr, S_OK}, {libKey.c_str(), SELFREG_E_TYPELIB}, {classKey.c_str(), SELFREG_E_CLASS}, {nullptr, S_OK}};
    for (const auto& c : cases) {
        entry(4)();
        HKEY key = nullptr;
        if (c.volatileKey) {
            RegCreateKeyExW(HKEY_CLASSES_ROOT, c.volatileKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
        }
        const HRESULT hr = entry(3)();
        if (!CHECK(hr == c.registered))
            std::printf("  DllRegisterServer gave 0x%08lx\n", static_cast<unsigned long>(hr));
        // A type library that failed leaves the classes untouched.
        if (c.registered == SELFREG_E_TYPELIB) CHECK(RegValue(kControlProgId) == L"<missing>");
        if (key)
            RegCloseKey(key), RegDeleteTreeW(HKEY_CLASSES_ROOT, c.volatileKey),
                RegDeleteKeyW(HKEY_CLASSES_ROOT, c.volatileKey);
    }
    CHECK(RegValue(kControlProgId) == L"KIVOParse Control");
    CHECK(entry(4)() == S_OK && entry(4)() == SELFREG_E_TYPELIB && entry(3)() == S_OK);
    FreeLibrary(library);
}

// The type library of a module read as data (the 32-bit one included,
// which this process could not run); run-wine.sh compares the rest of the
// resources.
void CheckTypeLibData(const wchar_t* path, SYSKIND sysKind) {
    ITypeLib* library = nullptr;
    TLIBATTR* attr = nullptr;
    if (CHECK(SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &library)) && SUCCEEDED(library->GetLibAttr(&attr)))) {
        CHECK(attr->guid == LIBID_KIVOPARSELib && attr->syskind == sysKind && attr->lcid == 0x409);
        library->ReleaseTLibAttr(attr), library->Release();
    }
}

}  // namespace

// client MODULE FAULTS-MODULE [OTHER-MODULE]: MODULE is registered and of this
// process's width, FAULTS-MODULE its test build; OTHER-MODULE, of the other
// width, is read as data.
// client /codepage CASES: the code-page cases only, with the registered module.
// client /regfree HOST-MANIFEST: the control through its side-by-side manifest.
int wmain(int argc, wchar_t** argv) {
    const bool codePage = argc == 3 && argv[1] == std::wstring(L"/codepage");
    const bool registrationFree = argc == 3 && argv[1] == std::wstring(L"/regfree");
    if ((codePage || registrationFree) && SUCCEEDED(OleInitialize(nullptr))) {
        const int failures = codePage ? CheckCodePage(argv[2]) : CheckRegistrationFree(argv[2]);
        OleUninitialize();
        return failures;
    }
    if (argc > 2 && SUCCEEDED(OleInitialize(nullptr))) {
        CheckMethods();
        CheckEdges();
        if (IDispatch* control = CreateControl()) {
            CheckTypeInfo(control);
            CheckDrawing(control);
            CheckPropertyPage(control);
            CheckConnectionPoints(control);
            CheckPersistence(control);
            control->Release();
        }
        CheckSiting();
        CheckMisuse();
        CheckOutOfMemory(argv[2]);
        CoFreeUnusedLibraries();
        CheckSelfRegistration(argv[1]);
        const SYSKIND own = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        CheckTypeLibData(argv[1], own);
        if (argc > 3) CheckTypeLibData(argv[3], own == SYS_WIN64 ? SYS_WIN32 : SYS_WIN64);
        OleUninitialize();
    } else {
        std::printf("usage: client MODULE FAULTS-MODULE [OTHER-MODULE]\n");
        return 100;
    }
    std::printf(gFailures ? "%d checks failed\n" : "all checks passed\n", gFailures);
    return gFailures;
}
