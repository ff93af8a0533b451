// The banner browser under wine: whether or not the prefix has a browser
// engine, a navigation that cannot show the page ends with one error and one
// completed document, so that the bar shows its own banner, and never hangs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"

namespace navlet::win32 {
namespace {

TEST(Win32WebBrowserTest, AFailedBannerReportsErrorThenCompleteOnce) {
    HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 320, 120, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(panel, nullptr);
    std::vector<std::string> events;
    {
        TWin32WebBrowserFactory factory;
        std::unique_ptr<TWebBrowser> made = factory.CreateWebBrowser();
        auto* browser = static_cast<TWin32WebBrowser*>(made.get());
        browser->OnNavigateError = [&] { events.push_back("error"); };
        browser->OnDocumentComplete = [&] { events.push_back("complete"); };
        browser->Place(panel, RECT{-2, -4, 314, 114});
        // Nothing listens on port 1 of the loopback address.
        browser->Navigate("http://127.0.0.1:1/banner.asp?idBanner=3");
        ASSERT_TRUE(
            test::PumpUntil([&] { return !events.empty() && events.back() == "complete"; }, 40000));
        test::PumpFor(200);
        EXPECT_EQ(events, (std::vector<std::string>{"error", "complete"}));
        browser->SetInputEnabled(false);
        // The bar's window goes before the form: the control leaves the panel
        // hidden, not as a window of its own on the desktop.
        browser->Place(nullptr, RECT{});
        DestroyWindow(panel);
        const HWND stray = FindWindowW(L"NavletBannerBrowser", nullptr);
        EXPECT_TRUE(!stray || !IsWindowVisible(stray));
    }
    test::PumpFor(100); // nothing reaches the callbacks after the browser is gone
    EXPECT_EQ(events.size(), 2u);
}

} // namespace
} // namespace navlet::win32
