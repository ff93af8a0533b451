// The Win32 kit's registry, timers, clock, files and GDI painting, on the
// real platform under wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "client/win32/kit/ansi.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"

namespace navlet::win32 {
namespace {

using test::PumpFor;
using test::PumpUntil;

// A key of its own under HKCU per test, removed afterwards.
class Win32RegistryTest : public ::testing::Test {
  protected:
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, ROOT.c_str()); }
    std::unique_ptr<TRegistryKey> Key() {
        return registry.OpenKey(THive::CurrentUser, "\\" + ROOT + "\\Bar\\", TKeyOpen::Create);
    }

    const std::string ROOT = "Software\\NavletKitTest" + std::to_string(GetCurrentProcessId());
    TWin32Registry registry;
};

TEST_F(Win32RegistryTest, ValuesOfEachTypeRoundTrip) {
    auto key = Key();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->WriteString("Nick", "J\xE9r\xF4me"), TRegResult::Ok);
    EXPECT_EQ(key->WriteString("Empty", ""), TRegResult::Ok);
    EXPECT_EQ(key->WriteInteger("Height", -22), TRegResult::Ok);
    const std::vector<uint8_t> blob = {0, 1, 2, 0xFF, 0};
    EXPECT_EQ(key->WriteBinary("Blob", blob), TRegResult::Ok);

    // Read back through a second handle, names in another case.
    auto again = registry.OpenKey(THive::CurrentUser, ROOT + "\\Bar", TKeyOpen::Existing);
    ASSERT_TRUE(again);
    std::string text;
    EXPECT_EQ(again->ReadString("NICK", text), TRegResult::Ok);
    EXPECT_EQ(text, "J\xE9r\xF4me");
    EXPECT_EQ(again->ReadString("empty", text), TRegResult::Ok);
    EXPECT_EQ(text, "");
    int32_t number = 0;
    EXPECT_EQ(again->ReadInteger("height", number), TRegResult::Ok);
    EXPECT_EQ(number, -22);
    uint8_t buffer[8] = {};
    size_t size = 0;
    EXPECT_EQ(again->ReadBinary("blob", buffer, size), TRegResult::Ok);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + size), blob);
}

TEST_F(Win32RegistryTest, EachFailureComesBackAsItsResult) {
    auto key = Key();
    ASSERT_TRUE(key);
    key->WriteString("Text", "abc");
    key->WriteInteger("Number", 7);
    const std::vector<uint8_t> blob(10, 0xAB);
    key->WriteBinary("Blob", blob);

    std::string text = "kept";
    int32_t number = 5;
    uint8_t small[4] = {};
    size_t size = 0;
    EXPECT_EQ(key->ReadString("Nothing", text), TRegResult::Missing);
    EXPECT_EQ(key->ReadInteger("Nothing", number), TRegResult::Missing);
    EXPECT_EQ(key->ReadBinary("Nothing", small, size), TRegResult::Missing);
    EXPECT_EQ(key->ReadString("Number", text), TRegResult::WrongType);
    EXPECT_EQ(key->ReadInteger("Text", number), TRegResult::WrongType);
    EXPECT_EQ(key->ReadInteger("Blob", number), TRegResult::WrongType);
    EXPECT_EQ(key->ReadBinary("Text", small, size), TRegResult::WrongType);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(number, 5);
    EXPECT_EQ(key->ReadBinary("Blob", small, size), TRegResult::TooLong);
    EXPECT_EQ(size, 10u); // the caller learns the length it needs

    EXPECT_EQ(registry.OpenKey(THive::CurrentUser, ROOT + "\\Missing", TKeyOpen::Existing),
              nullptr);
    EXPECT_NE(registry.OpenKey(THive::CurrentUser, ROOT + "\\Made", TKeyOpen::Create), nullptr);
    EXPECT_NE(registry.OpenKey(THive::CurrentUser, ROOT + "\\Made", TKeyOpen::Existing), nullptr);
}

TEST(Win32SchedulerTest, TimersFireInOrderAndStopInsideTheirOwnTick) {
    TWin32Kit kit;
    std::vector<char> ticks;
    TTimerHandle once = 0;
    kit.scheduler.Start(150, [&] { ticks.push_back('s'); });
    once = kit.scheduler.Start(40, [&] {
        ticks.push_back('f');
        kit.scheduler.Stop(once); // its own tick: no further one
    });
    ASSERT_NE(once, 0u);
    ASSERT_TRUE(PumpUntil([&] { return ticks.size() >= 2; }));
    PumpFor(100);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0], 'f');
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 'f'), 1);
    EXPECT_EQ(kit.scheduler.ActiveCount(), 1u);
}

TEST(Win32SchedulerTest, NoTimerIsLeftAfterTheKitIsGone) {
    int ticks = 0;
    HWND window = nullptr;
    {
        TWin32Kit kit;
        window = kit.window.Handle();
        ASSERT_NE(window, nullptr);
        kit.scheduler.Start(10, [&] { ++ticks; });
        const TTimerHandle stopped = kit.scheduler.Start(10, [&] { ++ticks; });
        kit.scheduler.Stop(stopped);
        kit.scheduler.Stop(stopped); // stopping twice is harmless
        EXPECT_EQ(kit.scheduler.ActiveCount(), 1u);
        ASSERT_TRUE(PumpUntil([&] { return ticks > 0; }));
    }
    EXPECT_FALSE(IsWindow(window));
    const int before = ticks;
    PumpFor(100);
    EXPECT_EQ(ticks, before);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

TEST(Win32ClockTest, DaysCountFromTheEndOf1899) {
    SYSTEMTIME noon{};
    noon.wYear = 1899;
    noon.wMonth = 12;
    noon.wDay = 31;
    noon.wHour = 12;
    EXPECT_DOUBLE_EQ(DaysOfSystemTime(noon), 1.5);
    SYSTEMTIME back{};
    ASSERT_TRUE(SystemTimeOfDays(45000.25, back)); // 15 March 2023, 06:00
    EXPECT_EQ(back.wYear, 2023);
    EXPECT_EQ(back.wMonth, 3);
    EXPECT_EQ(back.wDay, 15);
    EXPECT_EQ(back.wHour, 6);
    EXPECT_EQ(back.wMinute, 0);
    EXPECT_FALSE(SystemTimeOfDays(-200000.0, back));

    TWin32Clock clock;
    const double utc = clock.UtcNow();
    const double local = clock.LocalNow();
    // Now in UTC turned into local time is local now, give or take a second.
    EXPECT_NEAR(clock.UtcToLocal(utc), local, 1.0 / 86400);
    EXPECT_FALSE(clock.ShortDate(45000.25).empty());
}

TEST(Win32HostActionsTest, ALinkStaysOneArgument) {
    EXPECT_EQ(QuotedLinkArgument("http://a.example/?q=1 2"), "\"http://a.example/?q=1 2\"");
    EXPECT_EQ(QuotedLinkArgument("x\" & calc \"y"), "\"x%22 & calc %22y\"");
    EXPECT_EQ(QuotedLinkArgument("c:\\dir\\"), "\"c:\\dir\\\\\"");
}

class Win32FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        const std::string stem =
            std::string(folder) + "navlet-files-" + std::to_string(GetCurrentProcessId());
        path = stem + ".part";
        other = stem + ".dll";
    }
    void TearDown() override {
        DeleteFileA(path.c_str());
        DeleteFileA(other.c_str());
    }
    TWin32Files files;
    std::string path;
    std::string other;
};

TEST_F(Win32FilesTest, OneWriterAtATimeWhileReadersRead) {
    const int32_t writer = files.Create(path);
    ASSERT_NE(writer, NO_FILE);
    const uint8_t tail[] = {'t', 'a', 'i', 'l'};
    const uint8_t head[] = {'h', 'e', 'a', 'd'};
    EXPECT_TRUE(files.WriteAt(writer, 4, tail));
    EXPECT_TRUE(files.WriteAt(writer, 0, head));
    EXPECT_EQ(files.Create(path), NO_FILE); // would empty another's file
    EXPECT_EQ(files.OpenForWriting(path), NO_FILE);
    uint8_t read[8] = {};
    EXPECT_TRUE(files.ReadAt(path, 0, 8, read));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(read), 8), "headtail");
    EXPECT_FALSE(files.ReadAt(path, 6, 4, read)); // runs past the end
    EXPECT_EQ(files.Size(path), 8);
    files.Close(writer);
    files.Close(writer);

    const int32_t reopened = files.OpenForWriting(path);
    ASSERT_NE(reopened, NO_FILE);
    EXPECT_EQ(files.Size(path), 8); // opened unchanged
    files.Close(reopened);
    EXPECT_EQ(files.OpenForWriting(other), NO_FILE);
    EXPECT_FALSE(files.WriteAt(NO_FILE, 0, head));
}

TEST_F(Win32FilesTest, RenameReplacesTheOldFile) {
    files.Close(files.Create(other));
    const int32_t writer = files.Create(path);
    const uint8_t data[] = {1, 2, 3};
    ASSERT_TRUE(files.WriteAt(writer, 0, data));
    files.Close(writer);
    EXPECT_TRUE(files.Rename(path, other));
    EXPECT_FALSE(files.Exists(path));
    EXPECT_EQ(files.Size(other), 3);
    EXPECT_TRUE(files.Delete(other));
    EXPECT_FALSE(files.Delete(other));
    EXPECT_EQ(files.Size(other), -1);
}

TEST(Win32PaintTest, DisplayListLandsInTheDibAsTheCoreDescribesIt) {
    TFontCache fonts;
    TDib dib(800, 16);
    ASSERT_TRUE(dib.Valid());
    TDisplayList image;
    image.Reset(800, 16);
    image.ops.push_back(TFillRect{TRect{0, 0, 800, 16}, Rgb(10, 20, 30)});
    TRoundRect button;
    button.rect = TRect{100, 1, 160, 15};
    button.ellipseWidth = 8;
    button.ellipseHeight = 8;
    button.fill = Rgb(200, 100, 50);
    button.pen = clBlack;
    image.ops.push_back(button);
    TTextOut text;
    text.x = 300;
    text.y = 1;
    text.text = "WWWW";
    text.font = TFont{"Verdana", 7, Rgb(255, 255, 255)};
    text.clipped = true;
    text.clip = TRect{300, 0, 305, 16};
    image.ops.push_back(text);

    TGdiCanvas canvas(dib.Dc(), fonts);
    canvas.PaintDisplayList(image, TRect{0, 0, 800, 16}, TRect{0, 0, 800, 16});
    EXPECT_EQ(dib.Pixel(5, 5), RGB(10, 20, 30)); // red stays red: no byte swap
    EXPECT_EQ(dib.Pixel(130, 8), RGB(200, 100, 50));
    EXPECT_EQ(dib.Pixel(130, 1), RGB(0, 0, 0));    // the outline
    EXPECT_EQ(dib.Pixel(100, 1), RGB(10, 20, 30)); // the rounded corner is outside
    bool inkInClip = false;
    bool inkOutside = false;
    for (int y = 0; y < 16; ++y) {
        for (int x = 295; x < 330; ++x) {
            if (dib.Pixel(x, y) == RGB(10, 20, 30))
                continue;
            (x >= 300 && x < 305 ? inkInClip : inkOutside) = true;
        }
    }
    EXPECT_TRUE(inkInClip);
    EXPECT_FALSE(inkOutside);

    // A source window shifted by 100 puts the button's inside at 30.
    TDib shifted(200, 16);
    TGdiCanvas other(shifted.Dc(), fonts);
    other.PaintDisplayList(image, TRect{100, 0, 300, 16}, TRect{0, 0, 200, 16});
    EXPECT_EQ(shifted.Pixel(30, 8), RGB(200, 100, 50));
}

// The bar's text is Windows-1252 whatever the system's code page: every byte
// 0x80-0x9F reads as the same character as on Linux, and comes back.
TEST(Win32AnsiTest, TheHighRowIsWindows1252BothWaysAndTheRestIsRefused) {
    std::string high;
    for (int b = 0x80; b <= 0x9F; ++b)
        high += char(b);
    const std::wstring wide = win32::WideFromAnsi(high);
    ASSERT_EQ(wide.size(), 32u);
    EXPECT_EQ(wide[0], L'\x20AC');
    EXPECT_EQ(wide[0x99 - 0x80], L'\x2122');
    EXPECT_EQ(win32::AnsiFromWide(wide), high);
    EXPECT_EQ(win32::TypedAnsiFromWide(wide).refused, 0);
    // The platform's own table for code page 1252 agrees on the assigned ones.
    for (int b = 0x80; b <= 0x9F; ++b) {
        const char byte = char(b);
        wchar_t platform = 0;
        MultiByteToWideChar(1252, 0, &byte, 1, &platform, 1);
        EXPECT_EQ(platform, wide[size_t(b - 0x80)]) << b;
    }
    // An emoji (a surrogate pair) and a Polish letter: left out and counted.
    const win32::TAnsiText typed = win32::TypedAnsiFromWide(L"a\xD83D\xDE00"
                                                            L"b\x0141");
    EXPECT_EQ(typed.text, "ab");
    EXPECT_EQ(typed.refused, 2);
    EXPECT_EQ(win32::AnsiFromWide(std::wstring(L"\x0141")), "?");
}

TEST(Win32PaintTest, TextWidthsGrowWithTheText) {
    TFontCache fonts;
    TGdiTextMetrics metrics(fonts);
    const TFont verdana{"Verdana", 7, clBlack};
    const int32_t one = metrics.TextWidth(verdana, "Navlet");
    EXPECT_GT(one, 10);
    EXPECT_EQ(metrics.TextWidth(verdana, "NavletNavlet"), 2 * one);
    EXPECT_EQ(metrics.TextWidth(verdana, ""), 0);
}

// The report box as a user answers it, from a timer while it waits: OK stays
// off until a reason is chosen, the line takes the form's bound, and the
// reason, the words (in Windows-1252) and the check box come back.
struct TReportBoxSeen {
    bool okBeforeReason = true;
    LRESULT limit = 0;
    bool done = false;
};
TReportBoxSeen reportBoxSeen;

BOOL CALLBACK AnswerReportBox(HWND window, LPARAM) {
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    if (reportBoxSeen.done || lstrcmpW(kind, L"#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    reportBoxSeen.done = true;
    HWND ok = GetDlgItem(window, IDOK);
    reportBoxSeen.okBeforeReason = IsWindowEnabled(ok) != FALSE;
    HWND text = FindWindowExW(window, nullptr, L"EDIT", nullptr);
    reportBoxSeen.limit = SendMessageW(text, EM_GETLIMITTEXT, 0, 0);
    SetWindowTextW(text, L"caf\x00E9 spam");
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t caption[64] = {};
        GetWindowTextW(child, caption, 64);
        // The second reason, and "also ignore" unchecked.
        if (lstrcmpW(caption, L"Harassment") == 0 || lstrcmpW(caption, L"Also ignore") == 0)
            SendMessageW(child, BM_CLICK, 0, 0);
    }
    SendMessageW(ok, BM_CLICK, 0, 0);
    return TRUE;
}
void CALLBACK WatchReportBox(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerReportBox, 0);
}

TEST(Win32DialogsTest, TheReportBoxGivesBackTheReasonTheWordsAndTheCheckBox) {
    TWin32Kit kit;
    TReportForm form;
    form.caption = "Report bob";
    form.reasons = {"Spam", "Harassment", "Other"};
    form.textLabel = "In a few words";
    form.textMaxLength = 100;
    form.alsoIgnoreCaption = "Also ignore";
    reportBoxSeen = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, WatchReportBox);
    EXPECT_EQ(kit.dialogs.ShowReportBox(form), MODAL_RESULT_OK);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(reportBoxSeen.done);
    EXPECT_FALSE(reportBoxSeen.okBeforeReason);
    EXPECT_EQ(reportBoxSeen.limit, 100);
    EXPECT_EQ(form.reason, 1);
    EXPECT_EQ(form.text, "caf\xE9 spam");
    EXPECT_FALSE(form.alsoIgnore);
}

} // namespace
} // namespace navlet::win32
