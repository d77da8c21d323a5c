// The module: its entry points, the two class factories, self-registration
// and what the objects share.
#include "control/win/Module.h"

#include <atomic>
#include <new>

#include "control/win/CKIVOParseOleCtrl.h"
#include "control/win/CKIVOParsePropPage.h"
#include "control/win/Guard.h"
#include "control/win/Registration.h"
// The identifiers of the type library are defined here, once for the module.
#include <initguid.h>
#include "control/win/KIVOParse.h"

namespace kivoparse::win {

// {1bf491e6-efa1-420d-804a-386d710ea86c}
const CLSID CLSID_KIVOParsePropPage = {0x1bf491e6, 0xefa1, 0x420d, {0x80, 0x4a, 0x38, 0x6d, 0x71, 0x0e, 0xa8, 0x6c}};

namespace {

HINSTANCE gModule = nullptr;
std::atomic<long> gUsers{0};

// One factory object per class, alive as long as the module; it counts
// towards DllCanUnloadNow only through LockServer.
class CClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID riid, void** object);
    explicit constexpr CClassFactory(Creator create) : mCreate(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return mCreate(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

private:
    Creator mCreate;
};

CClassFactory gControlFactory(&CKIVOParseOleCtrl::Create);
CClassFactory gPageFactory(&CKIVOParsePropPage::Create);

}  // namespace

HINSTANCE ModuleInstance() { return gModule; }

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(gModule, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

void LockModule() { ++gUsers; }
void UnlockModule() { --gUsers; }
bool ModuleInUse() { return gUsers > 0; }

// The registry may not know the caller's locale (Wine finds the library
// under its own one only), and a module that was never registered still
// answers from its resources.
HRESULT LoadKIVOParseTypeLib(LCID lcid, ITypeLib** library) {
    if (!library) return E_POINTER;
    *library = nullptr;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_KIVOPARSELib, 1, 0, lcid, library))) return S_OK;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_KIVOPARSELib, 1, 0, 0x409, library))) return S_OK;
    return Guarded([&] { return LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library); });
}

HRESULT LoadKIVOParseTypeInfo(LCID lcid, REFGUID guid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadKIVOParseTypeLib(lcid, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(guid, info);
    library->Release();
    return hr;
}

void DrawPlaceholder(HDC dc, const RECT& bounds) {
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

}  // namespace kivoparse::win

using namespace kivoparse::win;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_KIVOParse) return gControlFactory.QueryInterface(riid, object);
    if (clsid == CLSID_KIVOParsePropPage) return gPageFactory.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
    if (FAILED(RegisterKIVOParseTypeLib())) return SELFREG_E_TYPELIB;
    if (FAILED(RegisterKIVOParseClasses())) return SELFREG_E_CLASS;
    return S_OK;
}

STDAPI DllUnregisterServer() {
    if (FAILED(UnregisterKIVOParseTypeLib())) return SELFREG_E_TYPELIB;
    if (FAILED(UnregisterKIVOParseClasses())) return SELFREG_E_CLASS;
    return S_OK;
}
