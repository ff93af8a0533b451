// The privacy policy behind "/privacy.asp": what the service keeps, why, for
// how long, who sees it and how an account is deleted. The extension's
// consent panel and the stores' listings link here.
#include "server/web/html.h"
#include "server/web/pages.h"

namespace navlet::web {
namespace {

constexpr std::string_view BODY = R"(<h1>Privacy</h1>
<p>Navlet shows you who else is on the site you are visiting and lets you chat with them. To
do that the bar has to tell this service where you are. This page says what the service
receives, what it keeps, for how long, who sees it, and how to delete your account.</p>

<h2>What the bar sends, and why</h2>
<ul>
<li><b>The site of the tab you are looking at</b>, so that the service can list you among the
people on the same site and give the site its public chat. The browser extension sends the
site's name only (for example <code>www.example.com</code>) unless you choose "Share: the
page" in its options; then it sends the page's address without its query or fragment
(<code>www.example.com/news/today</code>, never <code>?token=...</code> or <code>#...</code>).
The desktop bars send the page in the same way. The service cuts any query, fragment or
user name from an address it receives before it uses it.</li>
<li><b>Nothing at all</b> on pages the bar never reports: new tabs, the browser's own pages,
local files, this computer's and the local network's addresses, well-known sign-in sites and
the sites you add to the never-reported list. There the bar pauses; you stay signed in and
your private chats go on.</li>
<li><b>Your nick and password</b> when you sign in, to check that the account is yours.</li>
<li><b>The chat lines you write</b>, to deliver them to the site's public chat or to the
person you chat with privately.</li>
</ul>
<p>The browser extension sends nothing before you agree on its first panel, and you can take
your agreement back in its options at any time.</p>

<h2>What is kept, and for how long</h2>
<ul>
<li><b>Your account</b> (nick, a salted hash of your password, gender, language, the date you
signed up), your friends list and the people you ignore or block: until you delete the
account.</li>
<li><b>Public chat lines</b>: a site keeps its last 20 public lines in the service's memory
(shared between the service's machines), so that somebody arriving sees what was just said;
newer lines push them out. Your own bar shows the last 30 lines of each chat on your own
computer and forgets them when it closes.</li>
<li><b>Private chat lines</b> are delivered and not kept.</li>
<li><b>Kept calls</b> (a call or invitation to somebody who was not online): until they are
delivered at that person's next sign-in, and at most 30 days.</li>
<li><b>Where you are</b>: only while you are signed in on that site. When you leave it, sign
out or close the bar, it is forgotten.</li>
<li><b>The service's log</b> holds technical events (connections, sign-ins, errors). It never
holds a password, a chat line or a page's path.</li>
</ul>

<h2>Who sees what</h2>
<ul>
<li>People on the same site see your nick in its list while you are there, and your public
lines.</li>
<li>Anybody can see your profile: nick, gender and language.</li>
<li>Your friends see when you are online.</li>
<li>When you call somebody, they see your nick, your message and the site (or page) you
called from, so that they can join you.</li>
<li>The home page lists the busiest sites with the number of people on each, never who they
are.</li>
<li>Nobody else: the service sells or hands nothing to anybody.</li>
</ul>

<h2>Encryption</h2>
<p>The browser extension reaches the service encrypted (https and wss). Only an address you
set yourself with http://, or a service on your own computer, is reached in clear.</p>

<h2>Deleting your account</h2>
<p>Open your profile (the bar's "profile" button, or <code>/viewprofile.asp</code>), choose
"modify", and use "Delete my account" at the bottom with your password. The account, your
friends list and your place on other people's lists, your ignore and block marks, and the
calls kept for you or made by you are removed at once on every machine of the service, and
your open sessions end. The nick is free again afterwards.</p>
)";

} // namespace

std::string PrivacyPage() {
    return HtmlDocument("Navlet - privacy", std::string(BODY), TPageFrame::Full);
}

} // namespace navlet::web
