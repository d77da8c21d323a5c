#include "control/win/Registration.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "control/win/Guard.h"
#include "control/win/KIVOParse.h"
#include "control/win/Module.h"
#include "control/win/resource.h"

namespace kivoparse::win {

namespace {

const wchar_t kControlProgId[] = L"KIVOPARSE.KIVOParseCtrl.1";
const wchar_t kPageProgId[] = L"KIVOPARSE.KIVOParsePropPage.1";

struct CRegValue {
    std::wstring key;
    const wchar_t* name;  // null: the key's default value
    std::wstring value;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    return StringFromGUID2(guid, text, 40) ? std::wstring(text) : std::wstring();
}

// The keys of one class: its CLSID entry, in-process server with apartment
// threading and ProgID, and the ProgID's entry pointing back.
std::vector<CRegValue> ClassValues(REFCLSID clsid, const wchar_t* progId, UINT typeNameId) {
    const std::wstring classKey = L"CLSID\\" + GuidText(clsid);
    const std::wstring typeName = LoadResourceString(typeNameId);
    const std::wstring path = ModulePath();
    return {
        {classKey, nullptr, typeName},
        {classKey + L"\\InprocServer32", nullptr, path},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, progId},
        {progId, nullptr, typeName},
        {std::wstring(progId) + L"\\CLSID", nullptr, GuidText(clsid)},
    };
}

// What a container reads to offer the class as a control.
std::vector<CRegValue> ControlValues() {
    std::vector<CRegValue> values = ClassValues(CLSID_KIVOParse, kControlProgId, IDS_KIVOPARSE);
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_KIVOParse);
    values.push_back({classKey + L"\\Control", nullptr, L""});
    values.push_back({classKey + L"\\MiscStatus", nullptr, L"0"});
    values.push_back({classKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(kMiscStatus)});
    values.push_back({classKey + L"\\TypeLib", nullptr, GuidText(LIBID_KIVOPARSELib)});
    values.push_back({classKey + L"\\Version", nullptr, L"1.0"});
    values.push_back({classKey + L"\\ToolboxBitmap32", nullptr, ModulePath() + L", " + std::to_wstring(IDB_KIVOPARSE)});
    return values;
}

HRESULT WriteValues(const std::vector<CRegValue>& values) {
    for (const CRegValue& entry : values) {
        HKEY key = nullptr;
        LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            const auto bytes = static_cast<DWORD>((entry.value.size() + 1) * sizeof(wchar_t));
            status =
                RegSetValueExW(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()), bytes);
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT DeleteTree(const std::wstring& key) {
    LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        status = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

// On 32-bit Windows there is one view, where the class was just removed.
bool RegisteredForOtherWidth(const std::wstring& classKey) {
#ifdef _WIN64
    constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
    constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif
    HKEY key = nullptr;
    const std::wstring server = classKey + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_READ | kOtherView, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

// Out of memory fails the step it happens in, as any other failure does.
HRESULT RegisterKIVOParseTypeLib() {
    return Guarded([] {
        std::wstring path = ModulePath();
        ITypeLib* library = nullptr;
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
        hr = RegisterTypeLib(library, path.data(), nullptr);
        library->Release();
        return hr;
    });
}

// The library is registered in its own locale, 0x409, and is removed from
// there.
HRESULT UnregisterKIVOParseTypeLib() {
#ifdef _WIN64
    constexpr SYSKIND kSysKind = SYS_WIN64;
#else
    constexpr SYSKIND kSysKind = SYS_WIN32;
#endif
    return UnRegisterTypeLib(LIBID_KIVOPARSELib, 1, 0, 0x409, kSysKind);
}

HRESULT RegisterKIVOParseClasses() {
    return Guarded([] {
        HRESULT hr = WriteValues(ControlValues());
        if (SUCCEEDED(hr)) hr = WriteValues(ClassValues(CLSID_KIVOParsePropPage, kPageProgId, IDS_KIVOPARSE_PPG));
        return hr;
    });
}

// Class keys are kept apart for 32-bit and 64-bit programs; ProgIDs are in
// the part of the registry both share. A ProgID therefore stays while the
// module of the other width still registers the class.
HRESULT UnregisterKIVOParseClasses() {
    return Guarded([] {
        const struct {
            const CLSID& clsid;
            const wchar_t* progId;
        } classes[] = {{CLSID_KIVOParse, kControlProgId}, {CLSID_KIVOParsePropPage, kPageProgId}};
        HRESULT result = S_OK;
        for (const auto& entry : classes) {
            const std::wstring classKey = L"CLSID\\" + GuidText(entry.clsid);
            HRESULT hr = DeleteTree(classKey);
            if (SUCCEEDED(hr) && !RegisteredForOtherWidth(classKey)) hr = DeleteTree(entry.progId);
            if (FAILED(hr)) result = hr;
        }
        return result;
    });
}

}  // namespace kivoparse::win
