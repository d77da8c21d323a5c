#pragma once
// Self-registration: the type library, and the control and page classes
// with their ProgIDs, under HKEY_CLASSES_ROOT.
#include <windows.h>

namespace kivoparse::win {

HRESULT RegisterKIVOParseTypeLib();
HRESULT UnregisterKIVOParseTypeLib();
// Writes (or removes) every key of both classes; keys already gone count
// as removed.
HRESULT RegisterKIVOParseClasses();
HRESULT UnregisterKIVOParseClasses();

}  // namespace kivoparse::win
