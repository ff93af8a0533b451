// The module as the system sees it from outside: regsvr32 registration and
// removal read back from the registry, the component category and the type
// library, and the module's conduct when a process loads it.
#include <windows.h>

#include <comcat.h>
#include <oleauto.h>
#include <olectl.h>
#include <shlguid.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/core/registration.h"
#include "tests/win32/process_runner.h"

namespace {

using namespace navlet;
using namespace navlet::wintest;

const CLSID NAVLET_CLSID = {
    0x5E0A7C21, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
const GUID NAVLET_LIBID = {
    0x5E0A7C20, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};

std::string Narrow(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool KeyExists(const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

// A string value under the classes root; "<missing>" when there is none.
std::string ReadString(const std::string& key, const std::string& name) {
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name.empty() ? nullptr : name.c_str(),
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

std::vector<CLSID> CommBands() {
    std::vector<CLSID> found;
    ICatInformation* categories = nullptr;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, reinterpret_cast<void**>(&categories))))
        return found;
    CATID band = CATID_CommBand;
    IEnumCLSID* classes = nullptr;
    if (SUCCEEDED(categories->EnumClassesOfCategories(1, &band, 0, nullptr, &classes)) && classes) {
        CLSID clsid;
        ULONG got = 0;
        while (classes->Next(1, &clsid, &got) == S_OK && got == 1)
            found.push_back(clsid);
        classes->Release();
    }
    categories->Release();
    return found;
}

bool ListedAsCommBand() {
    const std::vector<CLSID> bands = CommBands();
    return std::any_of(bands.begin(), bands.end(),
                       [](const CLSID& c) { return IsEqualCLSID(c, NAVLET_CLSID); });
}

// The class's help string as the registered type library gives it.
std::string TypeLibClassHelp() {
    ITypeLib* lib = nullptr;
    if (FAILED(LoadRegTypeLib(NAVLET_LIBID, 1, 0, LOCALE_NEUTRAL, &lib)))
        return "<no type library>";
    ITypeInfo* info = nullptr;
    std::string help = "<no class>";
    if (SUCCEEDED(lib->GetTypeInfoOfGuid(NAVLET_CLSID, &info))) {
        BSTR doc = nullptr;
        if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr)))
            help = Narrow(std::wstring(doc ? doc : L""));
        SysFreeString(doc);
        info->Release();
    }
    lib->Release();
    return help;
}

DWORD Regsvr32(const std::wstring& options) {
    return RunProcess(L"regsvr32.exe " + options + L" " + Quoted(ModulePath())).exitCode;
}

class ModuleRegistration : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(ModuleRegistration, Regsvr32WritesTheWholeClassTableAndUnregisterRemovesIt) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u);

    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(ModulePath().c_str(), MAX_PATH, full, nullptr);
    const std::string modulePath = Narrow(full);
    for (const TRegEntry& e : ClassRegistrationEntries(modulePath)) {
        SCOPED_TRACE(e.key + " " + e.valueName);
        // The module names itself by its loaded path; compare without letter case.
        std::string got = ReadString(e.key, e.valueName);
        std::string want = e.value;
        std::transform(got.begin(), got.end(), got.begin(), ::tolower);
        std::transform(want.begin(), want.end(), want.begin(), ::tolower);
        EXPECT_EQ(got, want);
    }
    EXPECT_EQ(ReadString(ClassKey() + "\\Verb\\0", ""), "Properties,0,2");
    EXPECT_EQ(ReadString(ClassKey() + "\\MiscStatus\\1", ""), "131473");
    EXPECT_TRUE(KeyExists(CommBandCategoryKey()));
    EXPECT_TRUE(ListedAsCommBand());
    // The class's name is the type library's help string for it.
    EXPECT_EQ(TypeLibClassHelp(), ReadString(ClassKey(), ""));
    EXPECT_TRUE(KeyExists(std::string("TypeLib\\") + LIBID_NAVLET + "\\1.0"));

    ASSERT_EQ(Regsvr32(L"/s /u"), 0u);
    EXPECT_FALSE(KeyExists(ClassKey()));
    EXPECT_FALSE(KeyExists(PROGID_NAVLET));
    EXPECT_FALSE(ListedAsCommBand());
    EXPECT_FALSE(KeyExists(std::string("TypeLib\\") + LIBID_NAVLET));
    // Removing what is already gone is no failure.
    EXPECT_EQ(Regsvr32(L"/s /u"), 0u);
}

// A newer module's version of the type library, under the same id, is not
// this module's to remove: unregistering leaves it and succeeds.
TEST_F(ModuleRegistration, UnregisteringLeavesAnotherVersionOfTheTypeLibraryAlone) {
    const std::string library = std::string("TypeLib\\") + LIBID_NAVLET;
    const std::string newer = library + "\\2.0\\0\\win64";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, newer.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Regsvr32(L"/s /u"), 0u);
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    EXPECT_EQ(Regsvr32(L"/s /u"), 0u);
    EXPECT_TRUE(KeyExists(newer));
    EXPECT_FALSE(KeyExists(library + "\\1.0"));
    EXPECT_FALSE(KeyExists(ClassKey()));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, library.c_str());
}

// The description that the last failed call left in this thread's error info.
std::string LastErrorDescription() {
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) != S_OK || !error)
        return "<no error info>";
    BSTR text = nullptr;
    std::string description = "<no description>";
    if (SUCCEEDED(error->GetDescription(&text)) && text)
        description = Narrow(text);
    SysFreeString(text);
    error->Release();
    return description;
}

// A class key that another program left volatile takes no lasting subkeys
// (the registry's own rule): registration stops at the first one, says where,
// and the class is not offered to browsers half-registered.
TEST_F(ModuleRegistration, AWriteTheRegistryRefusesFailsTheRegistrationWithItsPlace) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ClassKey().c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    HMODULE module = LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(module, nullptr);
    using TSelfRegistration = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<TSelfRegistration>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<TSelfRegistration>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_NE(unregisterServer, nullptr);

    EXPECT_EQ(registerServer(), SELFREG_E_CLASS);
    const std::string description = LastErrorDescription();
    EXPECT_NE(description.find(ClassKey() + "\\InprocServer32"), std::string::npos) << description;
    EXPECT_FALSE(ListedAsCommBand());
    EXPECT_FALSE(KeyExists(std::string("TypeLib\\") + LIBID_NAVLET));

    RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey().c_str());
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(ClassKey()));
    EXPECT_FALSE(KeyExists(PROGID_NAVLET));
    FreeLibrary(module);
}

// The probe, copied to `name` in a fresh directory, loads `module` there
// ("none": nothing).
TProcessResult ProbeAs(const std::wstring& subdirectory, const std::wstring& name,
                       const std::wstring& x87 = L"37f", const std::wstring& mxcsr = L"1f80",
                       const std::wstring& module = ModulePath()) {
    std::wstring dir = MakeTempDirectory(L"navlet-probe");
    if (!subdirectory.empty()) {
        dir += subdirectory + L"\\";
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    const std::wstring probe = dir + name;
    if (!CopyFileW((ProgramDirectory() + L"module_probe.exe").c_str(), probe.c_str(), FALSE))
        return {};
    return RunProcess(Quoted(probe) + L" " + Quoted(module) + L" " + x87 + L" " + mxcsr);
}

TEST(ModuleLoad, RefusedWhereverTheHostPathNamesExplorerInAnyCase) {
    EXPECT_EQ(ProbeAs(L"", L"probe.exe").exitCode, 0u);
    EXPECT_EQ(ProbeAs(L"", L"browser.exe").exitCode, 0u);
    EXPECT_EQ(ProbeAs(L"Explorer.EXE", L"probe.exe").exitCode, 3u);
    EXPECT_EQ(ProbeAs(L"", L"MyEXPLORER.exe").exitCode, 3u);
    EXPECT_EQ(ProbeAs(L"explorer.exe.d", L"probe.exe").exitCode, 3u);
    // Near misses load.
    EXPECT_EQ(ProbeAs(L"explorer", L"probe.exe").exitCode, 0u);
    EXPECT_EQ(ProbeAs(L"", L"explorer-exe.exe").exitCode, 0u);
}

TEST(ModuleLoad, MasksFloatingPointExceptionsAndLeavesTheDenormalMaskAlone) {
    // Without the module the process keeps both words as the probe set them,
    // so what changes below is the module's doing (the 32-bit probe once read
    // no MXCSR at all and reported 0000 for it).
    TProcessResult none = ProbeAs(L"", L"probe.exe", L"365", L"1280", L"none");
    EXPECT_EQ(none.output.substr(0, 26), "none x87=0365 mxcsr=1280\r\n");
    // Overflow, underflow and denormal unmasked before the load.
    TProcessResult clearDenormal = ProbeAs(L"", L"probe.exe", L"365", L"1280");
    EXPECT_EQ(clearDenormal.output.substr(0, 28), "loaded x87=037d mxcsr=1e80\r\n");
    // The same with the denormal exception masked: it stays masked.
    TProcessResult setDenormal = ProbeAs(L"", L"probe.exe", L"367", L"1380");
    EXPECT_EQ(setDenormal.output.substr(0, 28), "loaded x87=037f mxcsr=1f80\r\n");
}

// The loader lock is held while DllMain runs, where COM may not start: the
// module enters its apartment when the first call into it arrives.
TEST(ModuleLoad, ComStartsAtTheFirstCallIntoTheModuleNotInItsEntry) {
    TProcessResult probe = ProbeAs(L"", L"probe.exe");
    EXPECT_NE(probe.output.find("com at load none, after the first call sta"), std::string::npos)
        << probe.output;
}

} // namespace
