// The guide to the bar behind "/help.asp" (the options menu's "Guide").
#include "server/web/html.h"
#include "server/web/pages.h"

namespace navlet::web {

std::string HelpPage() {
    constexpr std::string_view BODY = R"(<h1>The Navlet bar</h1>
<h2>What it shows</h2>
<p>The bar sits at the bottom of your browser window. The list on the right shows the
Navlet people who are on the same site as you right now; the line at the bottom counts
them ("Navlet people online here"), and also carries news, invitations and notices with
their buttons. In the middle are the chat tabs, on the left the banner area.</p>
<h2>Signing in</h2>
<p>First <a href="/newuser.asp">sign up</a> for a nickname. Then type the nickname and the
password into the login box of the bar ("Username", "Password") and press "sign in". The
small connection light shows its state: yellow while connecting, grey
when you are signed in, green when there is news, red when the connection is lost. Click
it to connect or disconnect. With "Autologin" in the options menu the bar signs in by
itself whenever the browser opens.</p>
<h2>Chatting</h2>
<p>The first tab is the public chat of the site you are on: type a line into the box under
the tabs and press Enter, and everybody on the site reads it. When you go to another site
you meet the people there instead.</p>
<h2>Private chats</h2>
<p>Right-click somebody in the list and choose "Invite in a new private chat": a new tab
opens for the two of you. "Invite in this private chat" brings another person into the
tab you are in. Closing a tab leaves that chat.</p>
<h2>Search</h2>
<p>"Search user..." in the options menu opens the search box: type a nickname, and
optionally a short message, and press "search". If the person is online they are told you
are looking for them, and they can follow you with one click; if not, your message waits
for their next sign-in.</p>
<h2>Friends</h2>
<p>"Add to friendlist" in the list's menu keeps a person among your friends; the friends
panel shows them whenever you sign in. Right-click a friend to see the profile, search for
them or delete them.</p>
<h2>The options menu</h2>
<p>The Navlet button and the Navlet logo open it: "Navlet Home Page", "Autologin",
"Modify Profile" (your gender, language and password), "Search user...", "Filter by
Language" (only public lines of people speaking the chosen languages reach you), "Guide"
(this page) and "About Navlet...".</p>)";
    return HtmlDocument("Navlet - guide", BODY, TPageFrame::Full);
}

} // namespace navlet::web
