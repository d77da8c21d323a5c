// A host's view of KIVOPARSE.OCX, run under Wine after regsvr32:
//   client.exe registered KIVOPARSE.OCX [OTHER.OCX...]   everything below
//   client.exe unregistered                             no key is left
// Each failed check prints its line; the exit code is the number of failures.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>
#include <vector>

// The identifiers of the type library, defined here for the client.
#include <initguid.h>
#include "control/win/KIVOParse.h"

namespace {

int gFailures = 0;

#define CHECK(condition) Check((condition), __LINE__, #condition)
void Check(bool ok, int line, const char* what) {
    if (!ok) {
        std::printf("FAILED line %d: %s\n", line, what);
        ++gFailures;
    }
}

using Strings = std::vector<std::wstring>;

const wchar_t kControlProgId[] = L"KIVOPARSE.KIVOParseCtrl.1";
const wchar_t kPageProgId[] = L"KIVOPARSE.KIVOParsePropPage.1";

std::wstring Guid(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring RegValue(const std::wstring& key, const wchar_t* name, bool* found = nullptr) {
    wchar_t value[512] = {};
    DWORD size = sizeof(value);
    LONG status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    if (found) *found = status == ERROR_SUCCESS;
    return status == ERROR_SUCCESS ? value : L"<missing>";
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

CLSID PageClsid() {
    CLSID clsid = GUID_NULL;
    CLSIDFromProgID(kPageProgId, &clsid);
    return clsid;
}

// ---- Calls through IDispatch, arguments in call order.

VARIANT Bstr(const std::wstring& text) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT StringArray(const Strings& items, VARTYPE elementType = VT_BSTR, LONG lower = 0) {
    SAFEARRAYBOUND bound = {static_cast<ULONG>(items.size()), lower};
    SAFEARRAY* array = SafeArrayCreate(elementType, 1, &bound);
    for (LONG n = 0; n < static_cast<LONG>(items.size()); ++n) {
        LONG index = n + lower;
        VARIANT item = Bstr(items[static_cast<size_t>(n)]);
        SafeArrayPutElement(array, &index, elementType == VT_BSTR ? static_cast<void*>(V_BSTR(&item)) : &item);
        VariantClear(&item);
    }
    VARIANT v;
    V_VT(&v) = VT_ARRAY | elementType;
    V_ARRAY(&v) = array;
    return v;
}

HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args, VARIANT* result, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (result) VariantInit(result);
    UINT argError = 0;
    return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &argError);
}

std::wstring CallText(IDispatch* control, DISPID id, std::vector<VARIANT> args = {}) {
    VARIANT result;
    HRESULT hr = Call(control, id, args, &result);
    for (VARIANT& arg : args) VariantClear(&arg);
    std::wstring text = SUCCEEDED(hr) && V_VT(&result) == VT_BSTR ? V_BSTR(&result) : L"<not a string>";
    VariantClear(&result);
    return text;
}

// -2 stands for "not a long".
LONG CallLong(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
    VARIANT result;
    HRESULT hr = Call(control, id, args, &result);
    LONG value = SUCCEEDED(hr) && V_VT(&result) == VT_I4 ? V_I4(&result) : -2;
    VariantClear(&result);
    return value;
}

// GetImages or GetHrefs, checked for the array's form on the way.
Strings CallList(IDispatch* control, DISPID id) {
    VARIANT result;
    Strings items;
    CHECK(SUCCEEDED(Call(control, id, {}, &result)));
    CHECK(V_VT(&result) == (VT_ARRAY | VT_BSTR));
    if (V_VT(&result) != (VT_ARRAY | VT_BSTR)) return {L"<not an array>"};
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(V_ARRAY(&result), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(&result), 1, &upper);
    CHECK(SafeArrayGetDim(V_ARRAY(&result)) == 1 && lower == 0);
    for (LONG n = 0; n <= upper; ++n) {
        BSTR item = nullptr;
        SafeArrayGetElement(V_ARRAY(&result), &n, &item);
        items.emplace_back(item ? item : L"");
        SysFreeString(item);
    }
    VariantClear(&result);
    return items;
}

enum { kGetHTML = 1, kParseHTML, kSetLogFile, kGetImages, kGetHrefs, kFixImages, kFixHrefs, kSetDocumentBase };

IDispatch* CreateControl() {
    CLSID clsid = GUID_NULL;
    IDispatch* control = nullptr;
    CHECK(SUCCEEDED(CLSIDFromProgID(kControlProgId, &clsid)) && clsid == CLSID_KIVOParse);
    CHECK(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&control))));
    return control;
}

template <class T>
T* Query(IUnknown* object, REFIID riid) {
    T* result = nullptr;
    CHECK(object && SUCCEEDED(object->QueryInterface(riid, reinterpret_cast<void**>(&result))));
    return result;
}

// ---- Registration

struct RegCase {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;  // empty: the key only has to exist
};

std::vector<RegCase> RegisteredKeys() {
    const std::wstring control = L"CLSID\\" + Guid(CLSID_KIVOParse);
    const std::wstring page = L"CLSID\\" + Guid(PageClsid());
    const std::wstring lib = L"TypeLib\\" + Guid(LIBID_KIVOPARSELib) + L"\\1.0";
    return {
        {kControlProgId, nullptr, L"KIVOParse Control"},
        {std::wstring(kControlProgId) + L"\\CLSID", nullptr, Guid(CLSID_KIVOParse)},
        {control, nullptr, L"KIVOParse Control"},
        {control + L"\\ProgID", nullptr, kControlProgId},
        {control + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {control + L"\\MiscStatus\\1", nullptr, L"131473"},
        {control + L"\\TypeLib", nullptr, Guid(LIBID_KIVOPARSELib)},
        {control + L"\\Version", nullptr, L"1.0"},
        {control + L"\\Control", nullptr, L""},
        {control + L"\\ToolboxBitmap32", nullptr, L""},
        {kPageProgId, nullptr, L"KIVOParse Property Page"},
        {page, nullptr, L"KIVOParse Property Page"},
        {page + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {lib, nullptr, L"KIVOParse ActiveX Control module"},
        {lib + L"\\409\\win64", nullptr, L""},
    };
}

void CheckRegistered() {
    for (const RegCase& entry : RegisteredKeys()) {
        bool found = false;
        const std::wstring value = RegValue(entry.key, entry.name, &found);
        if (!found || (!entry.value.empty() && value != entry.value)) {
            std::printf("  key %ls: %ls\n", entry.key.c_str(), value.c_str());
            CHECK(!"registered as expected");
        }
    }
    CHECK(RegValue(L"CLSID\\" + Guid(CLSID_KIVOParse) + L"\\InprocServer32", nullptr).find(L"KIVOPARSE.OCX") !=
          std::wstring::npos);
}

void CheckUnregistered() {
    const std::wstring keys[] = {kControlProgId, kPageProgId, L"CLSID\\" + Guid(CLSID_KIVOParse),
                                 L"TypeLib\\" + Guid(LIBID_KIVOPARSELib)};
    for (const std::wstring& key : keys) {
        if (KeyExists(key)) std::printf("  key %ls is still there\n", key.c_str());
        CHECK(!KeyExists(key));
    }
}

// ---- Type information

void CheckTypeInfo(IDispatch* control) {
    struct Method {
        const wchar_t* name;
        Strings params;
        VARTYPE result;
    };
    const Method methods[] = {
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
    CHECK(SUCCEEDED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)));
    if (!info) return;
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    CHECK(attr->guid == DIID__DKIVOParse && attr->typekind == TKIND_DISPATCH && attr->cFuncs == 8);
    CHECK(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
    info->ReleaseTypeAttr(attr);
    for (DISPID id = 1; id <= 8; ++id) {
        const Method& method = methods[id - 1];
        // Looking the method and its parameters up by name gives its DISPID
        // and the parameters' positions.
        std::vector<LPOLESTR> names = {const_cast<LPOLESTR>(method.name)};
        for (const std::wstring& param : method.params) names.push_back(const_cast<LPOLESTR>(param.c_str()));
        std::vector<DISPID> ids(names.size(), -1);
        CHECK(SUCCEEDED(control->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                               LOCALE_USER_DEFAULT, ids.data())));
        CHECK(ids[0] == id);
        for (size_t n = 1; n < ids.size(); ++n) CHECK(ids[n] == static_cast<DISPID>(n - 1));
        FUNCDESC* func = nullptr;
        CHECK(SUCCEEDED(info->GetFuncDesc(static_cast<UINT>(id - 1), &func)));
        if (!func) continue;
        CHECK(func->memid == id && func->invkind == INVOKE_FUNC && func->elemdescFunc.tdesc.vt == method.result);
        BSTR got[4] = {};
        UINT count = 0;
        info->GetNames(id, got, 4, &count);
        CHECK(count == method.params.size() + 1 && std::wstring(got[0]) == method.name);
        for (UINT n = 1; n < count && n <= method.params.size(); ++n) CHECK(method.params[n - 1] == got[n]);
        for (UINT n = 0; n < count; ++n) SysFreeString(got[n]);
        info->ReleaseFuncDesc(func);
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Parse");
    DISPID id = 0;
    CHECK(control->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id) == DISP_E_UNKNOWNNAME);

    ITypeLib* library = nullptr;
    UINT index = 0;
    CHECK(SUCCEEDED(info->GetContainingTypeLib(&library, &index)));
    TLIBATTR* libAttr = nullptr;
    library->GetLibAttr(&libAttr);
    CHECK(libAttr->guid == LIBID_KIVOPARSELib && libAttr->lcid == 0x409 && libAttr->wMajorVerNum == 1 &&
          libAttr->wMinorVerNum == 0 && (libAttr->wLibFlags & LIBFLAG_FCONTROL));
    library->ReleaseTLibAttr(libAttr);
    struct Doc {
        REFGUID guid;
        const wchar_t* name;
        const wchar_t* help;
    };
    const Doc docs[] = {{GUID_NULL, L"KIVOPARSELib", L"KIVOParse ActiveX Control module"},
                        {DIID__DKIVOParse, L"_DKIVOParse", L"Dispatch interface for KIVOParse Control"},
                        {DIID__DKIVOParseEvents, L"_DKIVOParseEvents", L"Event interface for KIVOParse Control"},
                        {CLSID_KIVOParse, L"KIVOParse", L"KIVOParse Control"}};
    for (const Doc& doc : docs) {
        ITypeInfo* item = nullptr;
        INT at = -1;
        if (doc.guid != GUID_NULL && SUCCEEDED(library->GetTypeInfoOfGuid(doc.guid, &item))) {
            item->GetContainingTypeLib(nullptr, reinterpret_cast<UINT*>(&at));
        }
        BSTR name = nullptr, help = nullptr, file = nullptr;
        DWORD context = 1;
        CHECK(SUCCEEDED(library->GetDocumentation(at, &name, &help, &context, &file)));
        CHECK(name && help && std::wstring(name) == doc.name && std::wstring(help) == doc.help && context == 0);
        CHECK(file && std::wstring(file).find(L"KIVOParse.hlp") != std::wstring::npos);
        SysFreeString(name);
        SysFreeString(help);
        SysFreeString(file);
        if (item) item->Release();
    }
    ITypeInfo* events = nullptr;
    CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(DIID__DKIVOParseEvents, &events)));
    if (events) {
        events->GetTypeAttr(&attr);
        CHECK(attr->typekind == TKIND_DISPATCH && attr->cFuncs == 0);
        events->ReleaseTypeAttr(attr);
        events->Release();
    }
    library->Release();
    info->Release();
}

void CheckClassInfo(IDispatch* control) {
    IProvideClassInfo2* classInfo = Query<IProvideClassInfo2>(control, IID_IProvideClassInfo2);
    if (!classInfo) return;
    ITypeInfo* info = nullptr;
    CHECK(SUCCEEDED(classInfo->GetClassInfo(&info)));
    if (info) {
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        CHECK(attr->guid == CLSID_KIVOParse && attr->typekind == TKIND_COCLASS && attr->cImplTypes == 2);
        CHECK((attr->wTypeFlags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL)) == (TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL));
        info->ReleaseTypeAttr(attr);
        INT flags = 0;
        info->GetImplTypeFlags(1, &flags);
        CHECK(flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
        info->Release();
    }
    GUID source = GUID_NULL;
    CHECK(SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)) && source == DIID__DKIVOParseEvents);
    classInfo->Release();
}

// ---- The eight methods

struct ParseCase {
    std::wstring base;
    std::wstring html;
    std::wstring written;
    Strings images;
    Strings hrefs;
};

// The forms a host passes a list in: the reference to a variable holding
// the array (the interface's own), the array itself, an array of VARIANTs.
enum class Form { Reference, Value, Variants };

HRESULT Fix(IDispatch* control, DISPID id, const Strings& src, const Strings& dest, Form form, LONG* result) {
    VARIANT lists[2] = {StringArray(src, form == Form::Variants ? VT_VARIANT : VT_BSTR),
                        StringArray(dest, form == Form::Variants ? VT_VARIANT : VT_BSTR)};
    VARIANT refs[2];
    for (int n = 0; n < 2; ++n) {
        V_VT(&refs[n]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&refs[n]) = &lists[n];
    }
    VARIANT out;
    HRESULT hr = form == Form::Reference ? Call(control, id, {refs[0], refs[1]}, &out)
                                         : Call(control, id, {lists[0], lists[1]}, &out);
    *result = V_VT(&out) == VT_I4 ? V_I4(&out) : -2;
    VariantClear(&lists[0]);
    VariantClear(&lists[1]);
    return hr;
}

Strings Renamed(const Strings& items, const wchar_t* prefix) {
    Strings renamed;
    for (size_t n = 0; n < items.size(); ++n) renamed.push_back(prefix + std::to_wstring(n));
    return renamed;
}

void CheckParseCases() {
    const ParseCase cases[] = {
        {L"C:\\web\\", L"<img src=C:\\web\\a.gif><a href=x.htm>x</a>", L"<IMG src=\"a.gif\"><A href=\"x.htm\">x</A>",
         {L"a.gif"}, {L"x.htm"}},
        {L"", L"<P class=a>x</P>", L"<P class=\"a\">x</P>", {}, {}},
        {L"", L"<img src=A.gif><img src=a.GIF><a href=p.htm>1</a><a href=P.HTM>2</a>",
         L"<IMG src=\"A.gif\"><IMG src=\"a.GIF\"><A href=\"p.htm\">1</A><A href=\"P.HTM\">2</A>", {L"A.gif"},
         {L"p.htm"}},
        // Text stops at its first NUL on the way in.
        {L"", std::wstring(L"<b>x</b>\0<i>y</i>", 17), L"<B>x</B>", {}, {}},
        // Through the ANSI code page and back.
        {L"", L"<a href=caf\u00e9.htm>\u00e9</a>", L"<A href=\"caf\u00e9.htm\">\u00e9</A>", {}, {L"caf\u00e9.htm"}},
    };
    for (const ParseCase& c : cases) {
        for (Form form : {Form::Reference, Form::Value, Form::Variants}) {
            IDispatch* control = CreateControl();
            if (!control) return;
            VARIANT none;
            CHECK(SUCCEEDED(Call(control, kSetDocumentBase, {Bstr(c.base)}, &none)) && V_VT(&none) == VT_EMPTY);
            CHECK(CallLong(control, kParseHTML, {Bstr(c.html)}) == 0);
            const std::wstring written = CallText(control, kGetHTML);
            if (written != c.written) std::printf("  GetHTML gave %ls\n", written.c_str());
            CHECK(written == c.written);
            CHECK(CallList(control, kGetImages) == c.images);
            CHECK(CallList(control, kGetHrefs) == c.hrefs);
            LONG result = -2;
            CHECK(SUCCEEDED(Fix(control, kFixImages, c.images, Renamed(c.images, L"i"), form, &result)) && result == 0);
            CHECK(SUCCEEDED(Fix(control, kFixHrefs, c.hrefs, Renamed(c.hrefs, L"h"), form, &result)) && result == 0);
            CHECK(CallList(control, kGetImages) == Renamed(c.images, L"i"));
            CHECK(CallList(control, kGetHrefs) == Renamed(c.hrefs, L"h"));
            CHECK(SUCCEEDED(Fix(control, kFixHrefs, {L"a"}, {}, form, &result)) && result == -1);
            control->Release();
        }
    }
}

void CheckBeforeParseAndErrors() {
    IDispatch* control = CreateControl();
    if (!control) return;
    CHECK(CallText(control, kGetHTML) == L"");
    CHECK(CallList(control, kGetImages).empty());
    CHECK(CallList(control, kGetHrefs).empty());
    LONG result = -2;
    CHECK(SUCCEEDED(Fix(control, kFixImages, {L"a"}, {L"b"}, Form::Reference, &result)) && result == 0);
    CHECK(SUCCEEDED(Fix(control, kFixImages, {L"a"}, {}, Form::Reference, &result)) && result == -1);

    // The dispatch layer's own refusals.
    VARIANT out;
    CHECK(Call(control, kParseHTML, {}, &out) == DISP_E_BADPARAMCOUNT);
    CHECK(Call(control, 9, {}, &out) == DISP_E_MEMBERNOTFOUND);
    CHECK(Call(control, kGetHTML, {}, &out, DISPATCH_PROPERTYPUT) == DISP_E_MEMBERNOTFOUND);
    CHECK(Call(control, kGetHTML, {}, nullptr) == S_OK);
    CHECK(Call(control, kGetHTML, {}, &out, DISPATCH_PROPERTYGET) == S_OK && V_VT(&out) == VT_BSTR);
    VariantClear(&out);
    VARIANT arg = Bstr(L"x");
    DISPID named = 0;
    DISPPARAMS params = {&arg, &named, 1, 1};
    CHECK(control->Invoke(kParseHTML, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr) ==
          DISP_E_NONAMEDARGS);
    VariantClear(&arg);

    // Lists in forms the control does not read are refused, never read.
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    VARIANT twoDims;
    V_VT(&twoDims) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&twoDims) = SafeArrayCreate(VT_BSTR, 2, bounds);
    VARIANT empty;
    VariantInit(&empty);
    VARIANT refused[] = {Bstr(L"a.gif"), empty, StringArray({L"a"}, VT_BSTR, 1), twoDims};
    for (VARIANT& bad : refused) {
        VARIANT good = StringArray({L"a"});
        UINT argError = 9;
        VARIANT args[2] = {good, bad};  // reversed: pSrc is bad
        DISPPARAMS both = {args, nullptr, 2, 0};
        CHECK(control->Invoke(kFixImages, IID_NULL, 0, DISPATCH_METHOD, &both, &out, nullptr, &argError) ==
              DISP_E_TYPEMISMATCH);
        CHECK(argError == 1);
        VariantClear(&good);
        VariantClear(&bad);
    }
    control->Release();
}

void CheckLog() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"kivoparse-client.log";
    DeleteFileW(path.c_str());
    IDispatch* control = CreateControl();
    if (!control) return;
    VARIANT none;
    CHECK(SUCCEEDED(Call(control, kSetLogFile, {Bstr(path)}, &none)) && V_VT(&none) == VT_EMPTY);
    CallLong(control, kParseHTML, {Bstr(L"<p>")});
    control->Release();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char bytes[256] = {};
    DWORD read = 0;
    ReadFile(file, bytes, sizeof(bytes) - 1, &read, nullptr);
    CloseHandle(file);
    DeleteFileW(path.c_str());
    // Text mode: each line ends in CR LF.
    CHECK(std::string(bytes).rfind("STARTSTATE: KP_BETWEEN_TAGS", 0) == 0);
    CHECK(std::string(bytes).find("\r\n") != std::string::npos);
}

// ---- Drawing, property page, connection points, persistence

void CheckDrawing(IDispatch* control) {
    IViewObject2* view = Query<IViewObject2>(control, IID_IViewObject2);
    if (!view) return;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 50, -30, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* pixels = static_cast<DWORD*>(bits);
    for (int n = 0; n < 50 * 30; ++n) pixels[n] = 0xFF0000;  // red
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(GRAY_BRUSH));
    RECTL bounds = {5, 5, 45, 25};
    CHECK(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) == S_OK);
    GdiFlush();
    auto at = [&](int x, int y) { return pixels[y * 50 + x] & 0xFFFFFF; };
    CHECK(at(1, 1) == 0xFF0000);   // outside the bounds
    CHECK(at(6, 6) == 0xFFFFFF);   // a corner of the bounds, outside the ellipse
    CHECK(at(25, 5) == 0x000000);  // the ellipse's outline, with the current pen
    CHECK(at(25, 15) == 0x808080); // its inside, with the current brush
    CHECK(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) == DV_E_DVASPECT);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    view->Release();
}

BOOL CALLBACK FindPageText(HWND window, LPARAM found) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    if (std::wstring(text).rfind(L"TODO: Place controls to manipulate properties of KIVOParse Control", 0) == 0) {
        *reinterpret_cast<bool*>(found) = true;
    }
    return TRUE;
}

bool gPageShown = false;

// Runs inside the property frame's modal loop: looks for the page's text,
// then closes the frame.
void CALLBACK CloseFrame(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), [](HWND top, LPARAM) -> BOOL {
        if (!IsWindowVisible(top)) return TRUE;
        EnumChildWindows(top, FindPageText, reinterpret_cast<LPARAM>(&gPageShown));
        if (gPageShown) PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }, 0);
}

void CheckPropertyPage(IDispatch* control) {
    ISpecifyPropertyPages* specify = Query<ISpecifyPropertyPages>(control, IID_ISpecifyPropertyPages);
    if (!specify) return;
    CAUUID pages = {};
    CHECK(SUCCEEDED(specify->GetPages(&pages)) && pages.cElems == 1 && pages.pElems[0] == PageClsid());
    CoTaskMemFree(pages.pElems);
    specify->Release();

    IPropertyPage* page = nullptr;
    CHECK(SUCCEEDED(CoCreateInstance(PageClsid(), nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     reinterpret_cast<void**>(&page))));
    if (!page) return;
    PROPPAGEINFO info = {};
    CHECK(SUCCEEDED(page->GetPageInfo(&info)) && info.pszTitle && std::wstring(info.pszTitle) == L"General");
    CoTaskMemFree(info.pszTitle);
    HWND parent = CreateWindowExW(0, L"STATIC", L"sheet", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                  nullptr, nullptr);
    IUnknown* objects[] = {control};
    CHECK(SUCCEEDED(page->SetObjects(1, objects)));
    RECT place = {0, 0, 300, 100};
    CHECK(SUCCEEDED(page->Activate(parent, &place, TRUE)));
    bool found = false;
    EnumChildWindows(parent, FindPageText, reinterpret_cast<LPARAM>(&found));
    CHECK(found);
    CHECK(page->IsPageDirty() == S_FALSE && page->Apply() == S_OK);
    CHECK(SUCCEEDED(page->Deactivate()));
    page->SetObjects(0, nullptr);
    page->Release();
    DestroyWindow(parent);

    // The properties verb opens the page in a property frame.
    IOleObject* object = Query<IOleObject>(control, IID_IOleObject);
    if (!object) return;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseFrame);
    CHECK(SUCCEEDED(object->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr)));
    KillTimer(nullptr, timer);
    CHECK(gPageShown);
    DWORD status = 0;
    CHECK(SUCCEEDED(object->GetMiscStatus(DVASPECT_CONTENT, &status)) && status == 0x20191);
    LPOLESTR name = nullptr;
    CHECK(SUCCEEDED(object->GetUserType(USERCLASSTYPE_FULL, &name)) && std::wstring(name) == L"KIVOParse Control");
    CoTaskMemFree(name);
    object->Release();
}

class CSink final : public IDispatch {
public:
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
        ++mCalls;
        return S_OK;
    }
};

void CheckConnectionPoints(IDispatch* control) {
    IConnectionPointContainer* container = Query<IConnectionPointContainer>(control, IID_IConnectionPointContainer);
    if (!container) return;
    IConnectionPoint* point = nullptr;
    CHECK(container->FindConnectionPoint(IID_IPropertyNotifySink, &point) == CONNECT_E_NOCONNECTION);
    CHECK(SUCCEEDED(container->FindConnectionPoint(DIID__DKIVOParseEvents, &point)));
    IEnumConnectionPoints* points = nullptr;
    CHECK(SUCCEEDED(container->EnumConnectionPoints(&points)));
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    CHECK(points->Next(2, listed, &fetched) == S_FALSE && fetched == 1 && listed[0] == point);
    if (listed[0]) listed[0]->Release();
    IEnumConnectionPoints* clone = nullptr;
    CHECK(points->Reset() == S_OK && points->Clone(&clone) == S_OK && clone->Skip(1) == S_OK && clone->Skip(1) == S_FALSE);
    clone->Release();
    points->Release();
    IID iid = GUID_NULL;
    CHECK(SUCCEEDED(point->GetConnectionInterface(&iid)) && iid == DIID__DKIVOParseEvents);

    CSink sink;
    DWORD cookie = 0;
    CHECK(SUCCEEDED(point->Advise(&sink, &cookie)) && cookie != 0);
    IEnumConnections* connections = nullptr;
    CHECK(SUCCEEDED(point->EnumConnections(&connections)));
    CONNECTDATA data[2] = {};
    CHECK(connections->Next(2, data, &fetched) == S_FALSE && fetched == 1 && data[0].dwCookie == cookie);
    if (data[0].pUnk) data[0].pUnk->Release();
    connections->Release();
    CallLong(control, kParseHTML, {Bstr(L"<p>x</p>")});
    CHECK(point->Unadvise(cookie) == S_OK && point->Unadvise(cookie) == CONNECT_E_NOCONNECTION);
    CHECK(sink.mCalls == 0);
    point->Release();
    container->Release();
}

void CheckPersistence(IDispatch* control) {
    IPersistStreamInit* persist = Query<IPersistStreamInit>(control, IID_IPersistStreamInit);
    if (!persist) return;
    CLSID clsid = GUID_NULL;
    CHECK(SUCCEEDED(persist->GetClassID(&clsid)) && clsid == CLSID_KIVOParse);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    CHECK(persist->Save(stream, TRUE) == S_OK);
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    CHECK(stat.cbSize.QuadPart == 4);
    const LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    BYTE version[4] = {};
    stream->Read(version, 4, nullptr);
    CHECK(version[0] == 0 && version[1] == 0 && version[2] == 1 && version[3] == 0);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CHECK(persist->Load(stream) == S_OK);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    const BYTE newer[4] = {0, 0, 2, 0};
    stream->Write(newer, 4, nullptr);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CHECK(FAILED(persist->Load(stream)));
    stream->Release();
    persist->Release();
    IOleControl* oleControl = Query<IOleControl>(control, IID_IOleControl);
    CONTROLINFO info = {sizeof(CONTROLINFO), nullptr, 1, 1};
    CHECK(oleControl && SUCCEEDED(oleControl->GetControlInfo(&info)) && info.cAccel == 0);
    if (oleControl) oleControl->Release();
    IPersistPropertyBag* bag = Query<IPersistPropertyBag>(control, IID_IPersistPropertyBag);
    if (bag) bag->Release();
}

// ---- Self-registration through the exports, with the exact HRESULTs.
// A volatile key where registration must write a lasting one makes that
// step fail.

void CheckSelfRegistration(const wchar_t* module) {
    HMODULE library = LoadLibraryW(module);
    CHECK(library != nullptr);
    if (!library) return;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(3))));
    auto unregisterServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(4))));
    auto canUnload = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
    CHECK(registerServer == reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer"))));
    CHECK(canUnload && canUnload() == S_OK);
    const std::wstring libKey = L"TypeLib\\" + Guid(LIBID_KIVOPARSELib);
    const std::wstring classKey = L"CLSID\\" + Guid(CLSID_KIVOParse);
    struct Case {
        const wchar_t* volatileKey;
        bool unregisterFirst;
        HRESULT expected;
    };
    const Case cases[] = {
        {nullptr, false, S_OK},
        {nullptr, true, S_OK},
        {libKey.c_str(), true, SELFREG_E_TYPELIB},
        {classKey.c_str(), true, SELFREG_E_CLASS},
        {nullptr, true, S_OK},
    };
    for (const Case& c : cases) {
        if (c.unregisterFirst) unregisterServer();
        HKEY key = nullptr;
        if (c.volatileKey) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, c.volatileKey);
            RegCreateKeyExW(HKEY_CLASSES_ROOT, c.volatileKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
        }
        const HRESULT hr = registerServer();
        if (hr != c.expected) std::printf("  DllRegisterServer gave 0x%08lx\n", static_cast<unsigned long>(hr));
        CHECK(hr == c.expected);
        // A failed type library leaves the classes untouched.
        if (c.expected == SELFREG_E_TYPELIB) CHECK(!KeyExists(kControlProgId));
        if (key) {
            RegCloseKey(key);
            RegDeleteTreeW(HKEY_CLASSES_ROOT, c.volatileKey);
            RegDeleteKeyW(HKEY_CLASSES_ROOT, c.volatileKey);
        }
    }
    CheckRegistered();
    CHECK(unregisterServer() == S_OK);
    CHECK(unregisterServer() == SELFREG_E_TYPELIB);
    CHECK(registerServer() == S_OK);
    FreeLibrary(library);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"unregistered") {
        CheckUnregistered();
    } else if (mode == L"registered" && argc > 2) {
        if (FAILED(OleInitialize(nullptr))) return 1;
        CheckRegistered();
        CheckParseCases();
        CheckBeforeParseAndErrors();
        CheckLog();
        if (IDispatch* control = CreateControl()) {
            CheckTypeInfo(control);
            CheckClassInfo(control);
            CheckDrawing(control);
            CheckPropertyPage(control);
            CheckConnectionPoints(control);
            CheckPersistence(control);
            control->Release();
        }
        CoFreeUnusedLibraries();
        CheckSelfRegistration(argv[2]);
        OleUninitialize();
    } else {
        std::printf("usage: client registered MODULE | client unregistered\n");
        return 100;
    }
    std::printf(gFailures ? "%d checks failed\n" : "all checks passed\n", gFailures);
    return gFailures;
}
