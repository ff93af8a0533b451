// The guide to the bar behind "/help.asp" (the options menu's "Guide").
#include "server/web/html.h"
#include "server/web/pages.h"

namespace navlet::web {
namespace {

// A drawing of the bar in boxes, in the bar's own proportions: chat tabs on
// the left, the banner area in the middle, the ticker and the people list on
// the right.
constexpr std::string_view BAR_DRAWING = R"(<div class="drawing"><div class="bar" role="img"
 aria-label="The bar: chat tabs on the left, the banner area in the middle, the ticker line and the people list on the right">
<div class="col left"><div class="tabs">Public chat | private chats</div>
<div class="fill">chat lines</div><div class="strip">Write here to send text messages in the chat
<span class="btn">send</span></div></div>
<div class="col mid"><div class="banner">Banner area: news, sign-in, search, friends, profiles</div>
<div class="fill">Navlet logo</div></div>
<div class="col right"><div class="strip"><span class="btn">S</span><span class="btn">F</span><span
 class="btn">O</span> ticker: "3 Navlet people online here" <span class="end"><span
 class="btn">_</span><span class="btn">&#9679;</span></span></div>
<div class="fill">people on this site</div></div>
</div></div>)";

constexpr std::string_view BODY = R"(<h1>The Navlet bar</h1>
<h2>What it shows</h2>
<p>The bar sits at the bottom of your browser window, in three parts from left to right:</p>
<ul>
<li><b>On the left, the chats.</b> The tabs hold the public chat of the site you are on
and your private chats; under them is the line where you type ("Write here to send text
messages in the chat") with its "send" button. When the bar is very low the typing line
is hidden.</li>
<li><b>In the middle, the banner area.</b> It shows the service's banners and news, the
sign-in box while you are signed out, the search box, your friends and the profiles you
open. The Navlet logo lies under it; click it for the options menu.</li>
<li><b>On the right, the ticker and the people.</b> The thin line at the top is the
ticker: it counts the Navlet people on this site ("Navlet people online here") and also
carries news, invitations and notices with their buttons. At its left are three small
buttons: search, friends and options; at its right the minimise button and the
connection light. Below the ticker is the list of the Navlet people who are on the same
site as you right now.</li>
</ul>
)";

constexpr std::string_view PANEL = R"(<h2>In the browser's side panel</h2>
<p>With the Navlet extension the same bar lives in the side panel of Chromium or the
sidebar of Firefox, one for each browser window, and follows the tab you are looking at. It
stands as a column: the banner area at the top (sign-in, search, friends and profiles
open there too), under it the ticker with its buttons, then the people on the site, and
the chats with the line where you type at the bottom. A wide panel puts the chats beside
the people. The minimise button folds the banner area away and keeps the chats and the
people; press it again to bring the banner area back.</p>
)";

constexpr std::string_view REST = R"(<h2>Signing in</h2>
<p>First <a href="/newuser.asp" target="_blank" rel="noopener">sign up</a> for a nickname. Then type the nickname and the
password into the sign-in box in the middle of the bar ("Username", "Password") and press
"sign in". The small connection light at the right end of the ticker shows its state:
yellow while connecting, grey when you are signed in, green when there is news, red when
the connection is lost. Click it to connect or disconnect. With "Autologin" in the options
menu the bar signs in by itself whenever the browser opens.</p>
<h2>Chatting</h2>
<p>The first tab is the public chat of the site you are on: type a line into the box under
the tabs and press Enter, and everybody on the site reads it. When you go to another site
you meet the people there instead.</p>
<h2>Private chats</h2>
<p>Right-click somebody in the list and choose "Invite in a new private chat": a new tab
opens for the two of you. "Invite in this private chat" brings another person into the
tab you are in. Closing a tab leaves that chat.</p>
<h2>Search</h2>
<p>The search button (or "Search user..." in the options menu) opens the search box in the
banner area: type a nickname, and optionally a short message, and press "search". If the
person is online they are told you are looking for them, and they can follow you with one
click; if not, your message waits for their next sign-in.</p>
<h2>Friends</h2>
<p>"Add to friendlist" in the list's menu keeps a person among your friends; the friends
button shows them in the banner area. Right-click a friend to see the profile, search for
them or delete them.</p>
<h2>Making the bar small</h2>
<p>The minimise button at the right end of the ticker folds the bar down to a thin strip
that still shows the ticker; press it again to bring the bar back to its height. The bar remembers a
minimised state when the browser closes.</p>
<h2>The options menu</h2>
<p>The options button and the Navlet logo open it: "Navlet Home Page", "Autologin",
"Modify Profile" (your gender, language and password), "Search user...", "Filter by
Language" (only public lines of people speaking the chosen languages reach you), "Guide"
(this page) and "About Navlet...".</p>)";

// The bar's own pictures, side by side at about one height: the browser
// window with the horizontal bar at its foot (1024 x 720) and the side
// panel (300 x 600).
std::string Screenshots() {
    const bool bar = !BarScreenshotPng().empty();
    const bool panel = !PanelScreenshotPng().empty();
    if (!bar && !panel)
        return {};
    std::string out = "<p>This is how it looks:</p>\n<div class=\"shots\">";
    if (bar)
        out += "<figure><div class=\"picture\" role=\"img\" aria-label=\"The bar, signed in, "
               "with a public chat, at the foot of the browser window\" "
               "style=\"aspect-ratio:1024/720;background:url(" +
               std::string(BAR_SCREENSHOT_PATH) +
               ") center/100% auto no-repeat\"></div><figcaption>At the foot of the "
               "browser window, on Linux and Windows</figcaption></figure>";
    if (panel)
        out += "<figure class=\"panel\"><img src=\"" + std::string(PANEL_SCREENSHOT_PATH) +
               "\" width=\"300\" height=\"600\" alt=\"The bar in a side panel, signed in: the "
               "banner area, the ticker, the people and the public chat\"><figcaption>In the "
               "browser's side panel</figcaption></figure>";
    out += "</div>\n";
    return out;
}

} // namespace

std::string HelpPage() {
    std::string body(BODY);
    body += BAR_DRAWING;
    body += Screenshots();
    body += PANEL;
    body += REST;
    return HtmlDocument("Navlet - guide", body, TPageFrame::Full);
}

} // namespace navlet::web
