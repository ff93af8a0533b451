// Protected Mode on the platform: what wine answers through ieframe.dll, and
// the kit's low-integrity key and folder with the answers switched.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "client/win32/kit/ansi.h"
#include "client/win32/kit/protected_mode.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {
namespace {

// Wine cannot say the truth about integrity levels: record what it says, so
// that a wine that learns these calls shows up here.
TEST(ProtectedModeOnThisPlatform, WhatIeFrameAnswers) {
    HMODULE ieframe = LoadLibraryW(L"ieframe.dll");
    ASSERT_TRUE(ieframe);
    const bool hasIsProtected = GetProcAddress(ieframe, "IEIsProtectedModeProcess") != nullptr;
    const bool hasFolder = GetProcAddress(ieframe, "IEGetWriteableFolderPath") != nullptr;
    using TWritableHkcu = HRESULT(WINAPI*)(HKEY*);
    const auto hkcu = reinterpret_cast<TWritableHkcu>(
        reinterpret_cast<void*>(GetProcAddress(ieframe, "IEGetWriteableHKCU")));
    HKEY key = nullptr;
    const HRESULT hr = hkcu ? hkcu(&key) : E_NOTIMPL;
    if (key)
        RegCloseKey(key);
    std::printf("ieframe: IEIsProtectedModeProcess %s, IEGetWriteableFolderPath %s, "
                "IEGetWriteableHKCU %s (hr=0x%08lx)\n",
                hasIsProtected ? "present" : "missing", hasFolder ? "present" : "missing",
                hkcu ? "present" : "missing", ULONG(hr));

    // Whatever it lacks, the kit's answers hold: not protected, and a low key
    // and folder to fall back on. The platform alone says so: nothing in the
    // environment can make the module believe it runs at low integrity.
    SetProtectedModeAnswers(nullptr);
    SetEnvironmentVariableA("NAVLET_PROTECTED_MODE", "1");
    if (!hasIsProtected) {
        EXPECT_FALSE(ProtectedModeAnswers().IsProtectedProcess());
    }
    SetEnvironmentVariableA("NAVLET_PROTECTED_MODE", nullptr);
    HKEY low = ProtectedModeAnswers().OpenWritableCurrentUser();
    EXPECT_TRUE(low);
    if (low)
        RegCloseKey(low);
    const std::wstring folder = ProtectedDownloadFolderW();
    EXPECT_NE(folder.find(L"LocalLow\\Navlet\\"), std::wstring::npos);
}

// Answers of a protected process, over a key and folder of this test's own.
class TSwitchedAnswers final : public TProtectedModeAnswers {
  public:
    bool IsProtectedProcess() override { return true; }
    HKEY OpenWritableCurrentUser() override {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, ROOT.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        return key;
    }
    std::wstring WritableFolder() override { return folder; }

    const std::wstring ROOT = L"Software\\NavletLowTest" + std::to_wstring(GetCurrentProcessId());
    std::wstring folder;
};

class ProtectedModeKitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        answers.folder =
            std::wstring(temp) + L"navlet-low-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(answers.folder.c_str(), nullptr);
        SetProtectedModeAnswers(&answers);
    }
    void TearDown() override {
        SetProtectedModeAnswers(nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, answers.ROOT.c_str());
        RemoveDirectoryW((answers.folder + L"Navlet").c_str());
        RemoveDirectoryW(answers.folder.c_str());
    }
    TSwitchedAnswers answers;
};

TEST_F(ProtectedModeKitTest, TheLowHiveIsTheKeyThePlatformHandsOut) {
    TWin32Registry registry;
    auto key = registry.OpenKey(THive::CurrentUserLow, "Software\\Navlet", TKeyOpen::Create);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->WriteString("nck", "alice"), TRegResult::Ok);
    char value[16] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER,
                           (std::string("Software\\NavletLowTest") +
                            std::to_string(GetCurrentProcessId()) + "\\Software\\Navlet")
                               .c_str(),
                           "nck", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, "alice");
    EXPECT_FALSE(registry.OpenKey(THive::CurrentUserLow, "Software\\Other", TKeyOpen::Existing));
}

TEST_F(ProtectedModeKitTest, AProtectedBarDownloadsIntoItsOwnFolderThere) {
    TWin32ModuleFacts facts;
    EXPECT_TRUE(facts.ProtectedMode());
    const std::string folder = facts.WritableFolder();
    EXPECT_EQ(folder, AnsiFromWide(answers.folder) + "Navlet\\");
    EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              DWORD(FILE_ATTRIBUTE_DIRECTORY)); // made for the download
}

} // namespace
} // namespace navlet::win32
