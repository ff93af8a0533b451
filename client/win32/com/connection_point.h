// One outgoing interface of an object (its events), as a connection point:
// sinks advise and unadvise with cookies, the owner fires dispatch calls to
// every sink. The owner keeps the point alive and calls Disown when it goes.
// Beside it, the enumerators of points and connections.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

#include "client/win32/com/com_object.h"

namespace navlet::win32 {

inline void Hold(IUnknown* item) {
    if (item)
        item->AddRef();
}
inline void Hold(const CONNECTDATA& item) {
    Hold(item.pUnk);
}
inline void Drop(IUnknown* item) {
    if (item)
        item->Release();
}
inline void Drop(const CONNECTDATA& item) {
    Drop(item.pUnk);
}

// An enumerator over a snapshot of items (connection points, connections):
// it holds a reference to each item, and every item it hands out carries a
// reference of its own for the caller. Changes after it was made are not seen.
template <class Enum, class Item, const IID* EnumId>
class TSnapshotEnum : public TComObject<TSnapshotEnum<Enum, Item, EnumId>, Enum> {
  public:
    explicit TSnapshotEnum(std::vector<Item> snapshot, size_t position = 0)
        : items(std::move(snapshot)), at(position) {
        for (const Item& item : items)
            Hold(item);
    }
    static const TInterfaceEntry* Interfaces() {
        return InterfaceTable<TSnapshotEnum>(TInterfaces{
            Answers<EnumId, Enum>,
        });
    }

    // `fetched` may be null only when one item is asked for.
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && at < items.size(); ++n, ++at) {
            out[n] = items[at];
            Hold(out[n]);
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        if (count > items.size() - at) {
            at = items.size();
            return S_FALSE;
        }
        at += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Enum** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Guarded([&] {
            *out = new TSnapshotEnum(items, at);
            return S_OK;
        });
    }

  private:
    ~TSnapshotEnum() override {
        for (const Item& item : items)
            Drop(item);
    }

    std::vector<Item> items;
    size_t at;
};

using TConnectionPointsEnum =
    TSnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints>;
using TConnectionsEnum = TSnapshotEnum<IEnumConnections, CONNECTDATA, &IID_IEnumConnections>;

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
