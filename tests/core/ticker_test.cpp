#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/core/bar_test_support.h"

namespace navlet::testing {
namespace {

// With 5 pixels per character, "hi" ends at x = 11; the buttons then lie at
// accept (13,1)-(103,15), ignore (106,1)-(141,15) and OK after them.
class TickerTest : public BarTest {
  protected:
    void SetUp() override {
        BarTest::SetUp();
        MakeBar();
    }
    TNavlet& b() { return *bar; }
    std::string Front() { return b().msgQueue.front().text; }
    uint8_t Hit(int x, int y) { return b().msgHitMap->At(x, y); }
    // A status line of `pixels` width (plus the 1-pixel left margin).
    std::string WideText(int pixels) { return std::string(size_t(pixels / 5), 'w'); }
    int StripWidth() { return b().msg_img.Width(); }
};

TEST_F(TickerTest, AFittingLineIsHeldForThreeAndAHalfSeconds) {
    EXPECT_EQ(b().msgPhase, 2);
    EXPECT_EQ(b().msgScrollMax, 0);
    EXPECT_EQ(b().msg_timer.Interval(), 3500u);
    const int paints = b().msg_img.InvalidateCount();
    tk.time.Advance(3499);
    EXPECT_EQ(b().msg_img.InvalidateCount(), paints);
    tk.time.Advance(1);
    // The only line came round again.
    EXPECT_EQ(b().msg_img.InvalidateCount(), paints + 1);
    EXPECT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(Front(), "Navlet ver. 1.4.0.0");
    EXPECT_EQ(b().msgPhase, 2);
}

TEST_F(TickerTest, AWideLineStandsThenScrollsAPixelPerTickThenHolds) {
    b().PostMsg(mkStatus, 0, "%s", WideText(300).c_str());
    const int scrollMax = 301 - StripWidth();
    ASSERT_EQ(b().msgScrollMax, scrollMax);
    EXPECT_EQ(b().msgPhase, 1);
    EXPECT_EQ(b().msg_timer.Interval(), 2000u);

    tk.time.Advance(1999);
    EXPECT_EQ(b().msgSrcRect.left, 0);
    tk.time.Advance(1);
    EXPECT_EQ(b().msgSrcRect.left, 1);
    EXPECT_EQ(b().msgSrcRect.Width(), StripWidth());
    EXPECT_EQ(b().msg_timer.Interval(), 50u);
    tk.time.Advance(50 * uint64_t(scrollMax - 1));
    EXPECT_EQ(b().msgSrcRect.left, scrollMax);
    EXPECT_EQ(b().msgPhase, 1);

    const int paints = b().msg_img.InvalidateCount();
    tk.time.Advance(50);
    EXPECT_EQ(b().msgPhase, 2);
    EXPECT_EQ(b().msg_timer.Interval(), 3500u);
    EXPECT_EQ(b().msg_img.InvalidateCount(), paints); // the last scroll step painted

    tk.time.Advance(3499);
    EXPECT_EQ(b().msgSrcRect.left, scrollMax);
    tk.time.Advance(1);
    EXPECT_EQ(b().msgSrcRect.left, 0); // shown again from its start
    EXPECT_EQ(b().msg_timer.Interval(), 2000u);
}

TEST_F(TickerTest, ANoticeIsShownOnceThenDropped) {
    b().PostMsg(mkNotice, 0, "note %d", 1);
    ASSERT_EQ(b().msgQueue.size(), 2u);
    EXPECT_EQ(Front(), "Navlet ver. 1.4.0.0");
    tk.time.Advance(3500);
    EXPECT_EQ(Front(), "note 1");
    tk.time.Advance(3500);
    ASSERT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(Front(), "Navlet ver. 1.4.0.0");
    tk.time.Advance(3500 * 4);
    EXPECT_EQ(b().msgQueue.size(), 1u);
}

TEST_F(TickerTest, ANewStatusLineReplacesTheOldOne) {
    b().PostMsg(mkStatus, 0, "Connecting...");
    ASSERT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(Front(), "Connecting...");
    // Rendered at once.
    auto& texts = b().msgImage->ops;
    EXPECT_EQ(std::get<TTextOut>(texts[MSG_LINE_HEIGHT]).text, "Connecting...");

    b().PostMsg(mkNotice, 0, "n");
    tk.time.Advance(3500); // the notice is at the front, the status line behind it
    b().PostMsg(mkStatus, 0, "Disconnected");
    ASSERT_EQ(b().msgQueue.size(), 2u);
    EXPECT_EQ(b().msgQueue.front().text, "n");
    EXPECT_EQ(b().msgQueue.back().text, "Disconnected");
}

TEST_F(TickerTest, PostingRestartsTheHoldOfTheFrontLine) {
    tk.time.Advance(3000);
    b().PostMsg(mkNotice, 0, "n");
    tk.time.Advance(3499);
    EXPECT_EQ(Front(), "Navlet ver. 1.4.0.0");
    tk.time.Advance(1);
    EXPECT_EQ(Front(), "n");
}

TEST_F(TickerTest, AnInvitationReturnsUntilAButtonIsClicked) {
    b().PostMsg(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "%s", "hi");
    for (int round = 0; round < 5; ++round)
        tk.time.Advance(3500);
    EXPECT_EQ(b().msgQueue.size(), 2u);
    while (b().msgQueue.front().kind != mkInvite)
        tk.time.Advance(3500);
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 120, 8); // "ignore"
    ASSERT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(Front(), "Navlet ver. 1.4.0.0");
    EXPECT_TRUE(tk.host.openedWindows.empty());
    EXPECT_TRUE(b().msg_timer.Enabled());
}

class InvitationTest : public TickerTest {
  protected:
    void SetUp() override {
        TickerTest::SetUp();
        b().PostMsg(mkStatus, 0, "hi"); // "hi" is the widest part's start for both kinds
        b().msgQueue.clear();
    }
    void ShowFront(int32_t kind, int32_t buttons, const std::string& link) {
        TMsgLine& line = b().PostMsg(kind, buttons, "hi");
        line.link = link;
    }
};

TEST_F(InvitationTest, AcceptOpensTheLinkInANewWindowAndRemovesTheLine) {
    ShowFront(mkInvite, 3, "www.site.test/chat?x=1");
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
    EXPECT_EQ(tk.host.openedWindows, std::vector<std::string>{"http://www.site.test/chat?x=1"});
    EXPECT_TRUE(b().msgQueue.empty());
}

TEST_F(InvitationTest, AcceptWithAnEmptyLinkStillStartsTheBrowser) {
    ShowFront(mkInvite, 3, "");
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
    EXPECT_EQ(tk.host.openedWindows, std::vector<std::string>{""});
    EXPECT_TRUE(b().msgQueue.empty());
}

TEST_F(InvitationTest, AFailedStartIsReportedAsANotice) {
    tk.host.openResult = 2;
    ShowFront(mkInvite, 3, "http://site.test/");
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
    ASSERT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(b().msgQueue.front().kind, mkNotice);
    EXPECT_EQ(Front(), "error #2 opening a new browser window");
}

TEST_F(InvitationTest, OnlyWebAddressesAreHandedToTheBrowser) {
    // Schemes of files, scripts and applications, a port that is no port
    // ("file:0" once passed for host "file" with port 0 and opened a file
    // tab), and links whose host part is no host name or address.
    for (const char* link : {"file:///etc/passwd",
                             "javascript:alert(1)",
                             "cmd:/c calc",
                             "file:0/etc/passwd",
                             "ms-settings:0/x",
                             "x:99999/y",
                             "mailto:a@site.test",
                             "data:text/html,<b>x</b>",
                             "//site.test/x",
                             "user@site.test/",
                             "http://user:pw@site.test/",
                             "site.test:80x/",
                             "-bad.test/",
                             "bad..test/",
                             "[::1/x",
                             "http:///x",
                             "ftp://site.test/",
                             "site.test/a b",
                             "site.test/a\r\nb",
                             "site.test/\x7f"}) {
        ShowFront(mkInvite, 3, link);
        b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
        EXPECT_TRUE(b().msgQueue.empty()) << link;
    }
    EXPECT_TRUE(tk.host.openedWindows.empty());
    // http and https stay as they are; anything else that passes is opened
    // as an http address, whatever it looked like.
    for (const char* link : {"HTTPS://site.test/", "site.test:8080/x", "ms-x:1/y",
                             "[::1]:8080/chat", "127.0.0.1/x?a=1#b", "caf\xe9.test"}) {
        ShowFront(mkInvite, 3, link);
        b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
    }
    EXPECT_EQ(tk.host.openedWindows,
              (std::vector<std::string>{"HTTPS://site.test/", "http://site.test:8080/x",
                                        "http://ms-x:1/y", "http://[::1]:8080/chat",
                                        "http://127.0.0.1/x?a=1#b", "http://caf\xe9.test"}));
}

TEST_F(InvitationTest, AServerLineOnlyGoesAwayAndANoticeIgnoresClicks) {
    ShowFront(mkServer, MSG_BTN_ACCEPT | MSG_BTN_OK, "http://site.test/");
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 8);
    EXPECT_TRUE(b().msgQueue.empty());
    EXPECT_TRUE(tk.host.openedWindows.empty());

    ShowFront(mkNotice, MSG_BTN_OK, "");
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 20, 8);
    EXPECT_EQ(b().msgQueue.size(), 1u);
}

TEST_F(InvitationTest, RightAndMiddleClicksAndOutlinesDoNothing) {
    ShowFront(mkInvite, 3, "site.test");
    b().msg_imgMouseDown(TMouseButton::mbRight, 0, 50, 8);
    b().msg_imgMouseDown(TMouseButton::mbMiddle, 0, 50, 8);
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 13, 8);   // left outline
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 1);   // top outline
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 104, 8);  // between the buttons
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 5, 8);    // the text
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 50, 400); // outside the strip
    EXPECT_EQ(b().msgQueue.size(), 1u);
    EXPECT_TRUE(tk.host.openedWindows.empty());
}

TEST_F(InvitationTest, TheHitMapHoldsFilledInsidesAndZeroOutlines) {
    ShowFront(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE | MSG_BTN_OK, "");
    // accept: columns 13..102, rows 1..14
    EXPECT_EQ(Hit(50, 8), 1);
    EXPECT_EQ(Hit(14, 2), 1);
    EXPECT_EQ(Hit(101, 13), 1);
    for (auto [x, y] : {std::pair{13, 8}, {102, 8}, {50, 1}, {50, 14}, {13, 1}, {14, 1}})
        EXPECT_EQ(Hit(x, y), 0) << x << "," << y;
    EXPECT_EQ(Hit(50, 0), 0);
    EXPECT_EQ(Hit(50, 15), 0);
    EXPECT_EQ(Hit(12, 8), 0);
    EXPECT_EQ(Hit(103, 8), 0);
    // ignore: columns 106..140; OK: columns 144..158
    EXPECT_EQ(Hit(120, 8), 2);
    EXPECT_EQ(Hit(150, 8), 4);
    EXPECT_EQ(Hit(-1, 8), 0);
    EXPECT_EQ(Hit(800, 8), 0);
    // The corners are cut, and the pixel next to a cut corner is outline.
    EXPECT_EQ(Hit(13, 1), 0);
    EXPECT_EQ(Hit(14, 2), 1);
}

TEST_F(InvitationTest, TheCursorIsAHandOnlyOverAButtonsInside) {
    ShowFront(mkInvite, 3, "");
    b().msg_imgMouseMove(0, 50, 8);
    EXPECT_EQ(b().msg_img.Cursor(), TCursor::crHandPoint);
    b().msg_imgMouseMove(0, 13, 8);
    EXPECT_EQ(b().msg_img.Cursor(), TCursor::crDefault);
    b().msg_imgMouseMove(0, 120, 8);
    EXPECT_EQ(b().msg_img.Cursor(), TCursor::crHandPoint);
    b().msg_imgMouseMove(0, 5, 8);
    EXPECT_EQ(b().msg_img.Cursor(), TCursor::crDefault);
}

TEST_F(InvitationTest, HitTestingFollowsTheScroll) {
    // A long text pushes the buttons past the strip; scroll until one shows.
    TMsgLine& line = b().PostMsg(mkInvite, MSG_BTN_ACCEPT, "%s", WideText(300).c_str());
    line.link = "site.test";
    const int buttonX = 301 + 2 + 20; // inside "accept invitation"
    tk.time.Advance(2000 + 50 * uint64_t(b().msgScrollMax - 1));
    const int offset = b().msgSrcRect.left;
    ASSERT_GT(offset, buttonX - StripWidth());
    b().msg_imgMouseMove(0, buttonX - offset, 8);
    EXPECT_EQ(b().msg_img.Cursor(), TCursor::crHandPoint);
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, buttonX - offset, 8);
    EXPECT_EQ(tk.host.openedWindows.size(), 1u);
}

TEST_F(TickerTest, AResizeStartsTheScrollAgain) {
    b().PostMsg(mkStatus, 0, "%s", WideText(400).c_str());
    tk.time.Advance(2000 + 50 * 9);
    ASSERT_EQ(b().msgSrcRect.left, 10);
    const int32_t scrollMax = b().msgScrollMax;
    b().msg_img.SetBounds(53, 0, 250, 16);
    b().msg_pnlResize();
    EXPECT_EQ(b().msgSrcRect, (TRect{0, 0, 250, 16}));
    EXPECT_EQ(b().msgDstRect, (TRect{0, 0, 250, 16}));
    EXPECT_EQ(b().msgScrollMax, scrollMax);
    tk.time.Advance(50);
    EXPECT_EQ(b().msgSrcRect.left, 1);
}

TEST_F(TickerTest, TheLineIsDrawnOverTheBannersLeftEdge) {
    b().PostMsg(mkInvite, MSG_BTN_OK, "ab");
    b().msgQueue.pop_back(); // the invitation alone: nothing shows beside its button
    b().msgPhase = 0;
    b().msg_timerTimer();
    const TDisplayList& image = *b().msgImage;
    EXPECT_EQ(image.width, 800);
    EXPECT_EQ(image.height, 16);
    ASSERT_EQ(image.ops.size(), size_t(MSG_LINE_HEIGHT) + 3);
    for (int y = 0; y < MSG_LINE_HEIGHT; ++y) {
        const auto& row = std::get<TFillRect>(image.ops[size_t(y)]);
        EXPECT_EQ(row.rect, (TRect{0, y, 800, y + 1}));
        EXPECT_EQ(row.color, defBannerPixels[size_t(y)]);
    }
    const auto& text = std::get<TTextOut>(image.ops[16]);
    EXPECT_EQ(text.x, 1);
    EXPECT_EQ(text.y, 1);
    EXPECT_EQ(text.font, (TFont{"Verdana", 7, clWindowText}));
    EXPECT_FALSE(text.opaque);
    const auto& button = std::get<TRoundRect>(image.ops[17]);
    EXPECT_EQ(button.rect, (TRect{13, 1, 28, 15})); // "OK" is 10 wide
    EXPECT_EQ(button.ellipseWidth, 5);
    EXPECT_EQ(button.fill, clBtnFace);
    EXPECT_EQ(button.pen, clBlack);
    const auto& label = std::get<TTextOut>(image.ops[18]);
    EXPECT_EQ(label.text, "OK");
    EXPECT_EQ(label.x, 15);
    EXPECT_TRUE(label.opaque && label.clipped);
    EXPECT_EQ(label.clip, (TRect{15, 3, 26, 14}));
}

TEST_F(TickerTest, WhileSignedInTheStatusLineShowsTheCountOrTheServersText) {
    auto shown = [&] {
        b().PostMsg(mkStatus, 0, "You're connected");
        return std::get<TTextOut>(b().msgImage->ops[16]).text;
    };
    b().loggedIn = true;
    EXPECT_EQ(shown(), "You're connected");
    b().lvUsers.Add({"marta", 1, 42});
    EXPECT_EQ(shown(), "Navlet people online here: 1");
    b().serverStatus = "maintenance at noon";
    EXPECT_EQ(shown(), "maintenance at noon");
    b().loggedIn = false;
    EXPECT_EQ(shown(), "You're connected");
    // The queued line keeps its own text.
    EXPECT_EQ(Front(), "You're connected");
}

TEST_F(TickerTest, PaintingCopiesTheScrolledPartOneToOne) {
    b().PostMsg(mkStatus, 0, "%s", WideText(300).c_str());
    tk.time.Advance(2000 + 50 * 4);
    b().msg_paint(tk.canvas);
    ASSERT_EQ(tk.canvas.paints.size(), 1u);
    EXPECT_EQ(tk.canvas.paints[0].src, (TRect{5, 0, StripWidth() + 5, 16}));
    EXPECT_EQ(tk.canvas.paints[0].dst, (TRect{0, 0, StripWidth(), 16}));
    EXPECT_EQ(tk.canvas.paints[0].image.ops.size(), b().msgImage->ops.size());
}

TEST_F(TickerTest, TextIsBoundedAndScrollingStopsAtTheImagesEnd) {
    const std::string huge(5000, 'z');
    b().PostMsg(mkStatus, 0, "%s", huge.c_str());
    EXPECT_EQ(Front().size(), MSG_TEXT_MAX);
    EXPECT_EQ(b().msgScrollMax, MSG_LINE_WIDTH - StripWidth());
    // A caller's empty format gives an empty line.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-zero-length"
    b().PostMsg(mkNotice, 0, "");
#pragma GCC diagnostic pop
    EXPECT_EQ(b().msgQueue.back().text, "");
}

// Every way text reaches the ticker cuts a UTF-8 host's text before a
// character the bound would split, wherever inside it the bound falls; a
// Windows-1252 host's bytes are each a whole letter.
TEST_F(TickerTest, TextIsCutAtACharacterBoundary) {
    using Post = std::function<std::string(const std::string&)>;
    const std::vector<std::pair<const char*, Post>> ways = {
        {"posted",
         [this](const std::string& t) { return b().PostMsg(mkNotice, 0, "%s", t.c_str()).text; }},
        {"hint",
         [this](const std::string& t) {
             b().ShowHint(t);
             return Front();
         }},
        {"call",
         [this](const std::string& t) {
             b().ShowCall("bob", t, "", TNavlet::TCallWords::None);
             return Front();
         }},
    };
    tk.metrics.code = TTextCode::Utf8;
    for (const auto& [way, post] : ways)
        for (const std::string letter : {"ł", "€", "😀"})
            for (size_t before = 1; before <= letter.size(); ++before) {
                // `before` of the letter's bytes lie inside the bound.
                const std::string kept(MSG_TEXT_MAX - before, 'a');
                const std::string shown = post(kept + letter + "z");
                const std::string wanted = before == letter.size() ? kept + letter : kept;
                EXPECT_EQ(shown, wanted) << way << " " << letter << " " << before;
            }
    tk.metrics.code = TTextCode::Cp1252;
    // 0xA9 ("©") would be a UTF-8 continuation byte.
    const std::string text = std::string(MSG_TEXT_MAX - 1, 'a') + "\xA9\xA9";
    for (const auto& [way, post] : ways)
        EXPECT_EQ(post(text), text.substr(0, MSG_TEXT_MAX)) << way;
}

// The text drawn after the buttons of the front line, if any.
std::string Beside(const TDisplayList& image) {
    std::string last;
    int textOps = 0;
    for (const TDrawOp& op : image.ops)
        if (const auto* out = std::get_if<TTextOut>(&op); out && !out->opaque) {
            ++textOps;
            last = out->text;
        }
    return textOps > 1 ? last : std::string();
}

TEST_F(InvitationTest, ALineWithButtonsHoldsTheTickerWithTheCountBesideIt) {
    b().loggedIn = true;
    b().lvUsers.Add({"marta", 1, 42});
    b().PostMsg(mkStatus, 0, "You're connected");
    ShowFront(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "site.test");
    b().PostMsg(mkNotice, 0, "note");
    // Round and round for a minute: the status line never takes a turn, so
    // a click always finds the buttons except while the notice shows once.
    int callTurns = 0;
    for (int tick = 0; tick < 60; ++tick) {
        tk.time.Advance(1000);
        const TMsgLine& front = b().msgQueue.front();
        EXPECT_NE(front.kind, mkStatus);
        if (front.kind != mkInvite)
            continue;
        ++callTurns;
        EXPECT_EQ(Beside(*b().msgImage), "Navlet people online here: 1");
    }
    EXPECT_GE(callTurns, 55);
    // Scrolling stops where the buttons end, not at the end of the count.
    EXPECT_EQ(b().msgScrollMax, std::max(0, 141 - StripWidth()));
    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, 120 - b().msgSrcRect.left, 8);
    ASSERT_EQ(b().msgQueue.size(), 1u);
    EXPECT_EQ(b().msgQueue.front().kind, mkStatus);
}

TEST_F(InvitationTest, ACallOnShowThatGoesWithTheSiteLeavesNoButtonsBehind) {
    b().PostMsg(mkStatus, 0, "You're connected");
    ShowFront(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "site.test");
    ASSERT_NE(Hit(20, 8), 0);
    b().ResetPresence();
    EXPECT_EQ(Front(), "You're connected");
    EXPECT_EQ(Hit(20, 8), 0);
    EXPECT_EQ(std::get<TTextOut>(b().msgImage->ops[16]).text, "You're connected");
}

TEST_F(TickerTest, TheShownCountFollowsTheListAtOnce) {
    b().loggedIn = true;
    b().lvUsers.Add({"marta", 1, 42});
    b().PostMsg(mkStatus, 0, "You're connected");
    tk.time.Advance(1000);
    TPresenceMsg bob;
    bob.user = 43;
    bob.nick = "bob";
    b().PresenceRecord(bob);
    EXPECT_EQ(std::get<TTextOut>(b().msgImage->ops[16]).text, "Navlet people online here: 2");
    b().UserLeftSite(TUserLeftMsg{43});
    EXPECT_EQ(std::get<TTextOut>(b().msgImage->ops[16]).text, "Navlet people online here: 1");
    // A line that does not show the count is left alone.
    b().PostMsg(mkNotice, 0, "note");
    tk.time.Advance(3500);
    ASSERT_EQ(Front(), "note");
    const int paints = b().msg_img.InvalidateCount();
    b().PresenceRecord(bob);
    EXPECT_EQ(b().msg_img.InvalidateCount(), paints);
}

} // namespace
} // namespace navlet::testing
