#pragma once
// No C++ exception may leave the module: one that reached a host through a
// COM call would end the host's process. Every entry point whose body can
// throw (anything that allocates with operator new: strings, lists, the
// parse) runs that body through Guarded; the others only call the system
// and copy plain values. Out of memory becomes E_OUTOFMEMORY, anything else
// E_UNEXPECTED. Invoke reports the second kind with an EXCEPINFO instead
// (see CKIVOParseOleCtrl::Invoke).
#include <windows.h>

#include <new>

namespace kivoparse::win {

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace kivoparse::win
