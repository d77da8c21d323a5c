#pragma once
// What the module's objects share: the module handle, the count of live
// objects and locks that DllCanUnloadNow reads, the class identifiers, and
// the type library.
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace kivoparse::win {

// The property page has no entry in the type library, so its class
// identifier lives here.
extern const CLSID CLSID_KIVOParsePropPage;

// The control's status bits, as registered and as IOleObject reports them.
constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
// The persisted version: major 1 in the high word, minor 0 in the low word.
constexpr LONG kPersistedVersion = 0x00010000;

HINSTANCE ModuleInstance();
std::wstring ModulePath();
std::wstring LoadResourceString(UINT id);

// Every live object and every IClassFactory::LockServer(TRUE) holds one.
void LockModule();
void UnlockModule();
bool ModuleInUse();

// The registered library in the caller's locale, else in the library's
// own (0x409), else the copy in this module's resources.
HRESULT LoadKIVOParseTypeLib(LCID lcid, ITypeLib** library);
HRESULT LoadKIVOParseTypeInfo(LCID lcid, REFGUID guid, ITypeInfo** info);

// Fills the bounds white and draws the ellipse inscribed in them, with the
// device context's own pen and brush.
void DrawPlaceholder(HDC dc, const RECT& bounds);

}  // namespace kivoparse::win
