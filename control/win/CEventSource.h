#pragma once
// The control's one connection point, for _DKIVOParseEvents. The control
// fires no events, but a host may connect to it, list its connections and
// disconnect as from any other source. It lives inside the control and
// shares the control's reference count.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace kivoparse::win {

class CEventSource final : public IConnectionPoint {
public:
    explicit CEventSource(IConnectionPointContainer* container) : mContainer(container) {}
    CEventSource(const CEventSource&) = delete;
    CEventSource& operator=(const CEventSource&) = delete;
    ~CEventSource();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return mContainer->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return mContainer->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer* mContainer;
    // Each sink is held (its pUnk is the sink's IDispatch) until Unadvise.
    std::vector<CONNECTDATA> mConnections;
    DWORD mNextCookie = 1;
};

}  // namespace kivoparse::win
