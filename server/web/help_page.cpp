// The guide to the bar behind "/help.asp" (the options menu's "Guide").
#include "server/web/html.h"
#include "server/web/pages.h"

namespace navlet::web {
namespace {

// A drawing of the bar in boxes, in the bar's own proportions: chat tabs on
// the left, the banner area in the middle, the ticker and the people list on
// the right.
constexpr std::string_view BAR_DRAWING = R"(<div class="bar" role="img"
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
</div>)";

constexpr std::string_view DRAWING_STYLE = R"(<style>
.bar{display:flex;height:160px;border:1px solid #888;font-size:11px;margin:12px 0}
.col{display:flex;flex-direction:column;border-right:1px solid #888}
.left{flex:0 0 250px}.mid{flex:0 0 290px}.right{flex:1;border-right:0}
.tabs,.strip{height:16px;background:#a6caf0;padding:0 4px;white-space:nowrap;overflow:hidden}
.banner{height:114px;background:#0000c0;color:#fff;padding:4px}
.fill{flex:1;padding:4px;color:#555}.btn{border:1px solid #555;padding:0 3px;margin-right:2px}
.end{float:right}</style>)";

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

constexpr std::string_view REST = R"(<h2>Signing in</h2>
<p>First <a href="/newuser.asp">sign up</a> for a nickname. Then type the nickname and the
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

// The bar's own picture: the foot of the 1024 x 720 screenshot, where the
// bar is, scaled to the page's width.
std::string Screenshot() {
    if (BarScreenshotPng().empty())
        return {};
    return "<p>This is how it looks:</p>\n<div role=\"img\" aria-label=\"The bar, signed in, "
           "with a public chat\" style=\"width:100%;aspect-ratio:1024/104;background:url(" +
           std::string(BAR_SCREENSHOT_PATH) +
           ") left bottom/100% auto no-repeat;margin:12px 0\"></div>\n";
}

} // namespace

std::string HelpPage() {
    std::string body(DRAWING_STYLE);
    body += BODY;
    body += BAR_DRAWING;
    body += Screenshot();
    body += REST;
    return HtmlDocument("Navlet - guide", body, TPageFrame::Full);
}

} // namespace navlet::web
