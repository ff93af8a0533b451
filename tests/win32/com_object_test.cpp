// The COM helpers' QueryInterface table on an object that inherits IPersist
// twice (through IPersistStream and IPersistFile): each id answers the
// interface through the base its row names, with one identity and counted
// references; anything else is refused without a reference taken.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>

#include "client/win32/com/com_object.h"

namespace navlet::win32 {
namespace {

// An id of our own that the probe answers with IObjectWithSite, as the
// module answers its event interface's id with IDispatch.
constexpr IID PROBE_ALIAS = {
    0x5e0a7c2f, 0x6b3d, 0x4f19, {0x9a, 0x42, 0xc8, 0xd1, 0x7e, 0x05, 0xb3, 0xa6}};

class TProbe final : public TComObject<TProbe, IPersistStream, IPersistFile, IObjectWithSite> {
  public:
    static const TInterfaceEntry* Interfaces() {
        return InterfaceTable<TProbe>(TInterfaces{
            Answers<&IID_IPersistStream, IPersistStream>,
            Answers<&IID_IPersist, IPersist, IPersistFile>,
            Answers<&IID_IPersistFile, IPersistFile>,
            Answers<&IID_IObjectWithSite, IObjectWithSite>,
            Answers<&PROBE_ALIAS, IObjectWithSite>,
        });
    }

    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSite(IUnknown*) override { return S_OK; }
    STDMETHODIMP GetSite(REFIID, void**) override { return E_NOTIMPL; }

  private:
    ~TProbe() override = default;
};

TEST(ComInterfaceTable, EachIdAnswersThroughTheBaseItsRowNames) {
    TComPtr<TProbe> probe = TComPtr<TProbe>::Attach(new TProbe);
    const auto asked = [&](const IID& iid) {
        TComPtr<IUnknown> part;
        EXPECT_EQ(probe->QueryInterface(iid, part.PutVoid()), S_OK);
        return static_cast<void*>(part.Get());
    };
    TProbe* p = probe.Get();
    EXPECT_EQ(asked(IID_IPersistStream), static_cast<IPersistStream*>(p));
    EXPECT_EQ(asked(IID_IPersistFile), static_cast<IPersistFile*>(p));
    // Two IPersist parts: the row's choice, not the first base's.
    EXPECT_EQ(asked(IID_IPersist), static_cast<IPersist*>(static_cast<IPersistFile*>(p)));
    EXPECT_NE(asked(IID_IPersist), static_cast<IPersist*>(static_cast<IPersistStream*>(p)));
    EXPECT_EQ(asked(IID_IObjectWithSite), static_cast<IObjectWithSite*>(p));
    EXPECT_EQ(asked(PROBE_ALIAS), static_cast<IObjectWithSite*>(p));
}

TEST(ComInterfaceTable, EveryPartAnswersTheFirstRowAsItsIdentity) {
    TComPtr<TProbe> probe = TComPtr<TProbe>::Attach(new TProbe);
    for (const IID* iid : {&IID_IPersistStream, &IID_IPersist, &IID_IPersistFile,
                           &IID_IObjectWithSite, &PROBE_ALIAS}) {
        TComPtr<IUnknown> part;
        ASSERT_EQ(probe->QueryInterface(*iid, part.PutVoid()), S_OK);
        TComPtr<IUnknown> identity;
        ASSERT_EQ(part->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
        EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<IPersistStream*>(probe.Get()));
    }
}

TEST(ComInterfaceTable, RefusalsTakeNoReferenceAndAnswersCountOne) {
    const long locksBefore = ModuleLockCount();
    auto* probe = new TProbe;
    EXPECT_EQ(ModuleLockCount(), locksBefore + 1);

    void* out = probe; // a stale value the refusal must clear
    EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(probe->QueryInterface(IID_IPersistFile, nullptr), E_POINTER);
    EXPECT_EQ(probe->AddRef(), 2u);

    ASSERT_EQ(probe->QueryInterface(IID_IObjectWithSite, &out), S_OK);
    EXPECT_EQ(static_cast<IObjectWithSite*>(out)->Release(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(ModuleLockCount(), locksBefore);
}

} // namespace
} // namespace navlet::win32
