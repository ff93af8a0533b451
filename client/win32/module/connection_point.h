// One outgoing interface of an object (its events), as a connection point:
// sinks advise and unadvise with cookies, the owner fires dispatch calls to
// every sink. The owner keeps the point alive and calls Disown when it goes.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

#include "client/win32/module/com_object.h"

namespace navlet::win32 {

class TConnectionPoint : public TComObject<TConnectionPoint, IConnectionPoint> {
  public:
    TConnectionPoint(IConnectionPointContainer& owner, const IID& events);
    static const TInterfaceEntry* Interfaces();

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    // The sink must answer the events interface or IDispatch.
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    const IID& EventsId() const { return events; }
    size_t SinkCount() const { return sinks.size(); }
    // Calls `dispid` on every sink with `args` (in the dispatch order, last
    // argument first). A sink may unadvise from inside its call.
    void Fire(DISPID dispid, std::vector<VARIANT> args);
    // The owner is going away: sinks are released, the container is forgotten.
    void Disown();

  private:
    ~TConnectionPoint() override;

    IConnectionPointContainer* owner; // not counted: the owner holds this point
    IID events;
    std::vector<std::pair<DWORD, IDispatch*>> sinks;
    DWORD nextCookie = 1;
};

} // namespace navlet::win32
