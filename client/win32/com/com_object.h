// The COM plumbing every object of the module is made with, written by hand
// (mingw-w64 has no ATL): reference counting, a QueryInterface table, a class
// factory, and the guard that keeps C++ exceptions inside each entry point.
// Apartment-threaded objects: each is used on the thread that made it, so the
// counts only need to be atomic for the module lock that several bars share.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <atomic>
#include <cstddef>
#include <new>

namespace navlet::win32 {

// The module's lock count: COM objects alive plus LockServer(TRUE) calls.
// DllCanUnloadNow answers S_OK only at 0.
void LockModule();
void UnlockModule();
long ModuleLockCount();

// One row of an object's QueryInterface table: the interface id and where
// that interface's vtable sits inside the object. A table ends with a null id;
// its first row also answers IUnknown.
struct TInterfaceEntry {
    const IID* iid;
    ptrdiff_t offset;
};

// The row for `Interface`, reached through the base `Via` when the object
// inherits it more than once or only indirectly (IOleWindow through IDeskBand).
template <class Class, class Interface, class Via = Interface>
TInterfaceEntry InterfaceEntry(const IID& iid) {
    // Any aligned non-null address serves: only the pointer adjustment is read.
    Class* probe = reinterpret_cast<Class*>(alignof(Class) * 16);
    Interface* part = static_cast<Via*>(probe);
    return {&iid, reinterpret_cast<char*>(part) - reinterpret_cast<char*>(probe)};
}

// One row of a table, as a value of a type of its own: the interface
// `Interface` answers the id `*Iid`, reached through `Via` as in InterfaceEntry.
template <const IID* Iid, class Interface, class Via = Interface> struct TAnswers {};
template <const IID* Iid, class Interface, class Via = Interface>
inline constexpr TAnswers<Iid, Interface, Via> Answers{};

// An object's rows in order, written as a braced list of Answers.
template <class... Rows> struct TInterfaces {
    constexpr explicit TInterfaces(Rows...) {}
};

template <class Class, const IID* Iid, class Interface, class Via>
TInterfaceEntry InterfaceEntryOf(TAnswers<Iid, Interface, Via>) {
    return InterfaceEntry<Class, Interface, Via>(*Iid);
}

// The QueryInterface table of `Class`: its rows in order, built once and
// ended as QueryInterfaceFromTable expects. A class's `Interfaces()` returns
// it, as in `return InterfaceTable<T>(TInterfaces{Answers<&IID_IFoo, IFoo>});`.
template <class Class, class... Rows> const TInterfaceEntry* InterfaceTable(TInterfaces<Rows...>) {
    static_assert(sizeof...(Rows) > 0, "an object answers at least one interface");
    static const TInterfaceEntry table[] = {InterfaceEntryOf<Class>(Rows{})..., {nullptr, 0}};
    return table;
}

// Looks `riid` up in `table`; AddRefs and returns the interface, or
// E_NOINTERFACE (E_POINTER without `out`).
HRESULT QueryInterfaceFromTable(void* object, const TInterfaceEntry* table, REFIID riid,
                                void** out);

// Runs one COM entry point's body: an exception never crosses into the caller,
// it becomes E_OUTOFMEMORY or E_UNEXPECTED.
template <class Body> HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

enum class TModuleLocking { Counted, NotCounted };

// The IUnknown of `Derived`, which lists its interfaces in
// `static const TInterfaceEntry* Interfaces()` (see InterfaceTable). Objects
// start with one reference, which the creator owns. Counted objects hold the
// module lock while they live.
template <class Derived, TModuleLocking Locking, class... Bases>
class TComObjectBase : public Bases... {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        return QueryInterfaceFromTable(static_cast<Derived*>(this), Derived::Interfaces(), riid,
                                       out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs;
        if (left == 0)
            delete this; // the destructor is virtual: the whole object goes
        return left;
    }

  protected:
    TComObjectBase() {
        if constexpr (Locking == TModuleLocking::Counted)
            LockModule();
    }
    virtual ~TComObjectBase() {
        if constexpr (Locking == TModuleLocking::Counted)
            UnlockModule();
    }
    TComObjectBase(const TComObjectBase&) = delete;
    TComObjectBase& operator=(const TComObjectBase&) = delete;

  private:
    std::atomic<ULONG> refs{1};
};

template <class Derived, class... Bases>
using TComObject = TComObjectBase<Derived, TModuleLocking::Counted, Bases...>;

// A counted reference: releases what it holds. Attach takes over one
// reference; `Put()` hands out the slot for a COM out-parameter.
template <class T> class TComPtr {
  public:
    TComPtr() = default;
    TComPtr(const TComPtr& other) : ptr(other.ptr) {
        if (ptr)
            ptr->AddRef();
    }
    TComPtr& operator=(const TComPtr& other) {
        if (other.ptr)
            other.ptr->AddRef();
        Reset();
        ptr = other.ptr;
        return *this;
    }
    ~TComPtr() { Reset(); }

    static TComPtr Attach(T* p) {
        TComPtr r;
        r.ptr = p;
        return r;
    }
    void Reset() {
        if (ptr)
            ptr->Release();
        ptr = nullptr;
    }
    T** Put() {
        Reset();
        return &ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    // Gives the reference to an out-parameter.
    T* Detach() {
        T* p = ptr;
        ptr = nullptr;
        return p;
    }

  private:
    T* ptr = nullptr;
};

// The class factory of `Object`, which must have a constructor without
// arguments. Factories are kept by the module's class table and do not count
// as a module lock; LockServer does.
template <class Object>
class TClassFactory
    : public TComObjectBase<TClassFactory<Object>, TModuleLocking::NotCounted, IClassFactory> {
  public:
    static const TInterfaceEntry* Interfaces() {
        return InterfaceTable<TClassFactory>(TInterfaces{
            Answers<&IID_IClassFactory, IClassFactory>,
        });
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return Guarded([&] {
            Object* object = new Object();
            const HRESULT hr = object->QueryInterface(riid, out);
            object->Release();
            return hr;
        });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }
};

} // namespace navlet::win32
