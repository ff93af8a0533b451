#include "client/win32/com/connection_point.h"

namespace navlet::win32 {

TConnectionPoint::TConnectionPoint(IConnectionPointContainer& container, const IID& iid)
    : owner(&container), events(iid) {}

TConnectionPoint::~TConnectionPoint() {
    Disown();
}

const TInterfaceEntry* TConnectionPoint::Interfaces() {
    return InterfaceTable<TConnectionPoint>(TInterfaces{
        Answers<&IID_IConnectionPoint, IConnectionPoint>,
    });
}

STDMETHODIMP TConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = events;
    return S_OK;
}

STDMETHODIMP TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out)
        return E_POINTER;
    *out = owner;
    if (!owner)
        return E_UNEXPECTED;
    owner->AddRef();
    return S_OK;
}

STDMETHODIMP TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    return Guarded([&] {
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(events, reinterpret_cast<void**>(&dispatch))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        try {
            sinks.emplace_back(nextCookie, dispatch);
        } catch (...) {
            dispatch->Release();
            throw;
        }
        *cookie = nextCookie++;
        return S_OK;
    });
}

STDMETHODIMP TConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = sinks.begin(); it != sinks.end(); ++it) {
        if (it->first != cookie)
            continue;
        IDispatch* sink = it->second;
        sinks.erase(it);
        sink->Release();
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP TConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
        std::vector<CONNECTDATA> connections;
        connections.reserve(sinks.size());
        for (auto& [cookie, sink] : sinks)
            connections.push_back({sink, cookie});
        *out = new TConnectionsEnum(std::move(connections));
        return S_OK;
    });
}

void TConnectionPoint::Fire(DISPID dispid, std::vector<VARIANT> args) {
    // A sink may unadvise, or advise another, while it is called.
    std::vector<IDispatch*> targets;
    targets.reserve(sinks.size());
    for (auto& [cookie, sink] : sinks) {
        sink->AddRef();
        targets.push_back(sink);
    }
    DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
    for (IDispatch* sink : targets) {
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                     nullptr, nullptr);
        sink->Release();
    }
}

void TConnectionPoint::Disown() {
    owner = nullptr;
    auto gone = std::move(sinks);
    sinks.clear();
    for (auto& [cookie, sink] : gone)
        sink->Release();
}

} // namespace navlet::win32
