#include "client/win32/com/com_object.h"

namespace navlet::win32 {

namespace {

std::atomic<long> moduleLocks{0};

} // namespace

void LockModule() {
    ++moduleLocks;
}

void UnlockModule() {
    --moduleLocks;
}

long ModuleLockCount() {
    return moduleLocks;
}

HRESULT QueryInterfaceFromTable(void* object, const TInterfaceEntry* table, REFIID riid,
                                void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    for (const TInterfaceEntry* e = table; e->iid; ++e) {
        if (IsEqualIID(riid, *e->iid) || (e == table && IsEqualIID(riid, IID_IUnknown))) {
            auto* unknown = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + e->offset);
            unknown->AddRef();
            *out = unknown;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

} // namespace navlet::win32
