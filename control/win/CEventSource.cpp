#include "control/win/CEventSource.h"

#include "control/win/CEnum.h"
#include "control/win/Guard.h"
#include "control/win/KIVOParse.h"
#include "control/win/Unknown.h"

namespace kivoparse::win {

CEventSource::~CEventSource() {
    for (const CONNECTDATA& connection : mConnections) connection.pUnk->Release();
}

HRESULT CEventSource::QueryInterface(REFIID riid, void** object) {
    return QueryOne<IConnectionPoint>(this, IID_IConnectionPoint, riid, object);
}

HRESULT CEventSource::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = DIID__DKIVOParseEvents;
    return S_OK;
}

HRESULT CEventSource::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = mContainer;
    mContainer->AddRef();
    return S_OK;
}

// A sink of a dispinterface is reached through IDispatch; one that has
// neither the event interface nor IDispatch cannot receive anything.
HRESULT CEventSource::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IUnknown* events = nullptr;
    if (FAILED(sink->QueryInterface(DIID__DKIVOParseEvents, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    const HRESULT hr = Guarded([&] {
        mConnections.push_back(CONNECTDATA{events, mNextCookie});
        return S_OK;
    });
    if (FAILED(hr)) {
        events->Release();
        return hr;
    }
    *cookie = mNextCookie++;
    return S_OK;
}

HRESULT CEventSource::Unadvise(DWORD cookie) {
    for (auto it = mConnections.begin(); it != mConnections.end(); ++it) {
        if (it->dwCookie == cookie) {
            IUnknown* sink = it->pUnk;
            mConnections.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT CEventSource::EnumConnections(IEnumConnections** connections) {
    return CEnum<IEnumConnections, CONNECTDATA>::Create(mContainer, mConnections, 0, connections);
}

}  // namespace kivoparse::win
