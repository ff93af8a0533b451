// The browser kit under node: the socket's notifications from the page's
// WebSocket events, the settings store and its write-through, the text
// conversion, the clock's zone rules, the scheduler's ticks and the modal
// steps, which wait without blocking while timers still tick.
#include <gtest/gtest.h>

#include <emscripten.h>
#include <emscripten/val.h>

#include "client/web/kit/bar_text.h"
#include "client/web/kit/web_browser.h"
#include "client/web/kit/web_kit.h"
#include "client/web/kit/web_socket.h"

namespace navlet::web {
namespace {

using emscripten::val;

val Sockets() {
    return val::module_property("sockets");
}

val LastSocket() {
    val list = Sockets();
    return list[list["length"].as<int>() - 1];
}

// The page's event handlers, as the browser would call them.
void PageOpens(val ws) {
    ws.set("readyState", 1);
    ws.call<void>("onopen");
}

void PageDelivers(val ws, const std::vector<uint8_t>& bytes) {
    val data = val::global("Uint8Array").new_(val::array(bytes))["buffer"];
    val event = val::object();
    event.set("data", data);
    ws.call<void>("onmessage", event);
}

void PageCloses(val ws) {
    ws.set("readyState", 3);
    ws.call<void>("onclose");
}

// clang-format off
EM_JS(void, set_menu_choice, (int id), { Module.menuChoice = id; });
EM_JS(void, push_frame_answer, (int framable, const char* link), {
    Module.frameAnswers.push({framable: !!framable, link: UTF8ToString(link)});
});
EM_JS(void, click_banner, (int x, int y, int onPanel), { Module.click(x, y, !!onPanel); });
// clang-format on

// Lets the page's queued timers run.
void RunPage(int ms) {
    emscripten_sleep(ms);
}

struct TSocketLog {
    std::vector<std::string> events;
    std::vector<uint8_t> read;
    int readChunk = 1 << 20;

    void Attach(TClientSocket& s) {
        s.OnConnecting = [this](TClientSocket&) { events.push_back("connecting"); };
        s.OnConnect = [this](TClientSocket&) { events.push_back("connect"); };
        s.OnDisconnect = [this](TClientSocket&) { events.push_back("disconnect"); };
        s.OnRead = [this](TClientSocket& socket) {
            events.push_back("read");
            std::vector<uint8_t> buffer(static_cast<size_t>(readChunk));
            const int n = socket.Receive(buffer.data(), readChunk);
            read.insert(read.end(), buffer.begin(), buffer.begin() + n);
        };
        s.OnError = [this](TClientSocket&, TErrorEvent e, int& code) {
            events.push_back("error " + std::to_string(int(e)) + " " + std::to_string(code));
        };
    }
};

TEST(TWebClientSocketTest, NotifiesConnectReadsEveryByteInOrderAndDisconnectsWhenThePeerCloses) {
    TWebClientSocket socket(SessionUrl("127.0.0.1:8080", TTransport::Plain));
    TSocketLog log;
    log.Attach(socket);
    socket.Open();
    EXPECT_EQ(LastSocket()["url"].as<std::string>(), "ws://127.0.0.1:8080/session");
    EXPECT_FALSE(socket.Connected());
    PageOpens(LastSocket());
    EXPECT_TRUE(socket.Connected());

    const uint8_t request[] = {1, 2, 3};
    EXPECT_EQ(socket.Send(request, 3), 3);
    EXPECT_EQ(LastSocket()["sent"][0]["length"].as<int>(), 3);

    // A reader that takes two bytes at a time hears again while bytes wait.
    log.readChunk = 2;
    PageDelivers(LastSocket(), {10, 11, 12});
    PageDelivers(LastSocket(), {13, 14});
    RunPage(20);
    EXPECT_EQ(log.read, (std::vector<uint8_t>{10, 11, 12, 13, 14}));

    // Bytes that came before the close are read before the disconnect.
    PageDelivers(LastSocket(), {15});
    PageCloses(LastSocket());
    EXPECT_EQ(log.read.back(), 15);
    EXPECT_EQ(log.events.front(), "connecting");
    EXPECT_EQ(log.events[1], "connect");
    EXPECT_EQ(log.events.back(), "disconnect");
    EXPECT_FALSE(socket.Active());
}

TEST(TWebClientSocketTest, AnEndpointThatNeverOpensIsAConnectErrorAndAClosedSocketHearsNoMore) {
    TWebClientSocket socket(SessionUrl("127.0.0.1:9", TTransport::Plain));
    TSocketLog log;
    log.Attach(socket);
    socket.Open();
    val first = LastSocket();
    PageCloses(first);
    ASSERT_GE(log.events.size(), 3u);
    EXPECT_EQ(log.events[1], "error " + std::to_string(int(TErrorEvent::eeConnect)) + " 10061");
    EXPECT_EQ(log.events.back(), "disconnect");

    // A new attempt; the old page socket's late events are not this one's.
    socket.Open();
    const size_t before = log.events.size();
    PageOpens(first);
    PageDelivers(first, {1});
    EXPECT_EQ(log.events.size(), before);
    EXPECT_FALSE(socket.Connected());
    socket.Close();
    EXPECT_TRUE(LastSocket()["closed"].as<bool>());
}

TEST(TWebClientSocketTest, APeerThatFloodsTheUnreadBufferIsCutOffAsAReceiveError) {
    TWebClientSocket socket(SessionUrl("127.0.0.1:8080", TTransport::Plain));
    TSocketLog log;
    log.Attach(socket);
    socket.OnRead = [](TClientSocket&) {}; // reads nothing
    socket.Open();
    PageOpens(LastSocket());
    const std::vector<uint8_t> block(64 * 1024, 7);
    for (size_t sent = 0; sent <= TWebClientSocket::RECEIVE_LIMIT && socket.Active();
         sent += block.size())
        PageDelivers(LastSocket(), block);
    EXPECT_FALSE(socket.Active());
    EXPECT_EQ(log.events[2], "error " + std::to_string(int(TErrorEvent::eeReceive)) + " 10055");
}

TEST(TWebModuleFactsTest, TheServiceIsReachedOverTlsUnlessTheHostSaysPlain) {
    THostFacts facts;
    TWebModuleFacts module(facts);
    // Nothing handed in: the service's own host, encrypted.
    EXPECT_EQ(module.ServiceHostName(), "www.navlet.net");
    EXPECT_EQ(module.ServiceWebScheme(), "https://");
    EXPECT_EQ(SessionUrl(module.ServiceHostName(), TTransport::Tls),
              "wss://www.navlet.net/session");

    facts.serviceHost = "127.0.0.1";
    facts.secure = false;
    EXPECT_EQ(module.ServiceHostName(), "127.0.0.1");
    EXPECT_EQ(module.ServiceWebScheme(), "http://");
}

TEST(TWebRegistryTest, ValuesKeepTheirTypesAndCaseInsensitiveNamesAndAreWrittenThrough) {
    TWebRegistry registry;
    EXPECT_EQ(registry.OpenKey(THive::CurrentUser, "Software\\Navlet", TKeyOpen::Existing),
              nullptr);
    auto key = registry.OpenKey(THive::CurrentUser, "\\Software\\Navlet\\", TKeyOpen::Create);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->WriteString("nck", "demo"), TRegResult::Ok);
    EXPECT_EQ(key->WriteInteger("autologin", -2), TRegResult::Ok);
    const uint8_t barSize[8] = {120, 0};
    EXPECT_EQ(key->WriteBinary("BarSize", barSize), TRegResult::Ok);

    std::string nick;
    int32_t autologin = 0;
    EXPECT_EQ(key->ReadString("NCK", nick), TRegResult::Ok);
    EXPECT_EQ(nick, "demo");
    EXPECT_EQ(key->ReadInteger("AutoLogin", autologin), TRegResult::Ok);
    EXPECT_EQ(autologin, -2);
    EXPECT_EQ(key->ReadInteger("nck", autologin), TRegResult::WrongType);
    uint8_t small[4];
    size_t size = 0;
    EXPECT_EQ(key->ReadBinary("barsize", small, size), TRegResult::TooLong);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(key->ReadString("missing", nick), TRegResult::Missing);

    val stored = val::module_property("stored");
    val item = stored["HKCU\\Software\\Navlet\\nck"];
    EXPECT_EQ(item["type"].as<int>(), int(TWebRegistry::TType::String));
    EXPECT_EQ(item["data"].as<std::string>(), "demo");
    EXPECT_EQ(stored["HKCU\\Software\\Navlet\\autologin"]["data"]["length"].as<int>(), 4);
    EXPECT_EQ(stored["HKCU\\Software\\Navlet\\BarSize"]["type"].as<int>(),
              int(TWebRegistry::TType::Binary));
}

TEST(TWebRegistryTest, StoredItemsLoadBeforeTheBarAndBrokenOnesAreDropped) {
    TWebRegistry registry;
    // The scrambled password keeps every byte, zeros and high bytes included.
    const std::string scrambled("\x01\x00\xff\x80", 4);
    registry.Load(THive::CurrentUser, "Software\\Navlet", "pwd", TWebRegistry::TType::String,
                  scrambled);
    registry.Load(THive::CurrentUser, "Software\\Navlet", "lang", TWebRegistry::TType::Integer,
                  "\x01\x02");
    registry.Load(THive::CurrentUser, "Software\\Navlet", "odd", TWebRegistry::TType(9), "x");
    auto key = registry.OpenKey(THive::CurrentUser, "software\\navlet", TKeyOpen::Existing);
    ASSERT_NE(key, nullptr);
    std::string pwd;
    int32_t lang = 0;
    EXPECT_EQ(key->ReadString("pwd", pwd), TRegResult::Ok);
    EXPECT_EQ(pwd, scrambled);
    EXPECT_EQ(key->ReadInteger("lang", lang), TRegResult::Missing);
    EXPECT_EQ(key->ReadString("odd", pwd), TRegResult::Missing);
    EXPECT_EQ(registry.OpenKey(THive::ClassesRoot, "software\\navlet", TKeyOpen::Existing),
              nullptr);
}

TEST(TBarTextTest, EveryCharacterPassesAndOnlyWholeOnesReachThePage) {
    const std::string text = "ł€😀 café";
    EXPECT_EQ(PageText(text), text);
    EXPECT_EQ(BarText(text), text);
    EXPECT_EQ(PageText("a\xc5"), "a");     // cut mid-character at the end
    EXPECT_EQ(PageText("\xc3\x28"), "?("); // a broken sequence
    const TTypedText typed = TypedBarText("a\xf0\x9f\x98\x80\xc5\x81\xe2\x82\xac");
    EXPECT_EQ(typed.text, "a😀Ł€");
    EXPECT_EQ(typed.refused, 0);
}

TEST(TWebClockTest, LocalTimeFollowsTheZoneRulesOfEachDate) {
    // The test runs with TZ=Europe/Berlin: an hour ahead in winter, two in summer.
    TWebClock clock;
    const double winterNoon = 46023.5; // 2026-01-01 12:00 UTC
    const double summerNoon = 46204.5; // 2026-07-01 12:00 UTC
    EXPECT_NEAR(clock.UtcToLocal(winterNoon) - winterNoon, 1.0 / 24, 1e-9);
    EXPECT_NEAR(clock.UtcToLocal(summerNoon) - summerNoon, 2.0 / 24, 1e-9);
    EXPECT_NEAR(clock.LocalNow() - clock.UtcToLocal(clock.UtcNow()), 0, 1e-6);
    EXPECT_NE(clock.ShortDate(46204.99).find("26"), std::string::npos);
}

TEST(TWebSchedulerTest, TicksUntilStoppedAndATickMayStopItsOwnTimer) {
    TWebScheduler scheduler;
    int ticks = 0;
    TTimerHandle own = 0;
    own = scheduler.Start(5, [&] {
        if (++ticks == 3)
            scheduler.Stop(own);
    });
    int other = 0;
    const TTimerHandle second = scheduler.Start(5, [&] { ++other; });
    RunPage(60);
    EXPECT_EQ(ticks, 3);
    EXPECT_GT(other, 3);
    scheduler.Stop(second);
    scheduler.Stop(second); // a stopped handle is safe
    const int seen = other;
    RunPage(20);
    EXPECT_EQ(other, seen);
    EXPECT_EQ(scheduler.ActiveCount(), 0u);
}

TEST(TWebModalTest, AMenuWaitsWhileTimersTickAndASecondMenuMeanwhileIsRefused) {
    TWebScheduler scheduler;
    TWebMenuTracker menus;
    TPopupMenu menu;
    menu.Append(TBarMenuItem("About Navlet...", 206));
    int ticks = 0;
    int16_t inner = 0;
    const TTimerHandle timer = scheduler.Start(2, [&] {
        if (++ticks == 1)
            inner = menus.ShowPopupMenu(menu, 0, 0, nullptr);
    });
    set_menu_choice(206);
    EXPECT_EQ(menus.ShowPopupMenu(menu, 3, 4, nullptr), 206);
    EXPECT_GT(ticks, 1);
    EXPECT_EQ(inner, MENU_NOT_SHOWN);
    EXPECT_EQ(val::module_property("menusShown").as<int>(), 1);
    EXPECT_FALSE(ModalOpen());
    scheduler.Stop(timer);
    // A control the panel does not show has no place for a menu.
    struct TUnshown : TComponent {
    } unshown;
    EXPECT_EQ(menus.ShowPopupMenu(menu, 0, 0, &unshown), MENU_NOT_SHOWN);
}

TEST(TWebBannerBrowserTest, APageThatCannotBeFramedReportsItsErrorThenItsEnd) {
    TWebBannerBrowser browser;
    std::vector<std::string> events;
    browser.OnNavigateError = [&] { events.push_back("error"); };
    browser.OnDocumentComplete = [&] { events.push_back("complete"); };
    push_frame_answer(0, "");
    browser.Navigate("http://127.0.0.1:8080/banner.asp?idBanner=1");
    RunPage(10);
    EXPECT_EQ(events, (std::vector<std::string>{"error", "complete"}));
}

TEST(TWebBannerBrowserTest, AClickOnTheLoadedBannerOpensItsLinkAndNothingElseDoes) {
    val opened = val::module_property("openedTabs");
    TWebBannerBrowser browser;
    val frame = browser.Element();
    // Sandboxed without the panel's top, windows or forms; no referrer.
    EXPECT_EQ(frame["attributes"]["sandbox"].as<std::string>(), "allow-scripts");
    EXPECT_EQ(frame["attributes"]["referrerpolicy"].as<std::string>(), "no-referrer");
    int completed = 0;
    browser.OnDocumentComplete = [&] { ++completed; };

    push_frame_answer(1, "http://ads.example/offer");
    browser.Navigate("http://127.0.0.1:8080/banner.asp?idBanner=2");
    RunPage(10);
    frame.call<void>("onload");
    ASSERT_EQ(completed, 1);
    browser.SetInputEnabled(false);
    EXPECT_EQ(frame["parentElement"]["style"]["cursor"].as<std::string>(), "pointer");
    click_banner(50, 10, /*onPanel=*/0);  // a menu's shade over the banner
    click_banner(150, 10, /*onPanel=*/1); // the panel beside the banner
    EXPECT_EQ(opened["length"].as<int>(), 0);
    click_banner(50, 10, /*onPanel=*/1);
    ASSERT_EQ(opened["length"].as<int>(), 1);
    EXPECT_EQ(opened[0].as<std::string>(), "http://ads.example/offer");

    // The next page has no link: a click opens nothing.
    push_frame_answer(1, "");
    browser.Navigate("http://127.0.0.1:8080/banner.asp?idBanner=3");
    RunPage(10);
    frame.call<void>("onload");
    EXPECT_EQ(frame["parentElement"]["style"]["cursor"].as<std::string>(), "");
    click_banner(50, 10, /*onPanel=*/1);
    EXPECT_EQ(opened["length"].as<int>(), 1);
}

} // namespace
} // namespace navlet::web
