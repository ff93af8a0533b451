// The server's answers to a search, and calls from users looking for this one:
// both reach the user as ticker lines.
#include "client/core/navlet.h"

namespace navlet {

void TNavlet::SearchAnswerReceived(const TSearchAnswerMsg& m) {
    if (m.result == SEARCH_NOT_ONLINE) {
        PostMsg(mkNotice, 0, "the user %s doesn't exist or is not online", m.nick.c_str());
        return;
    }
    if (m.result != SEARCH_LOOKING_FOR_YOU) {
        PostMsg(mkNotice, 0,
                "%s is online. An invitation has been sent. Please wait for an answer.",
                m.nick.c_str());
        return;
    }
    // One pending line per caller: a repeated call brings it up to date.
    ShowCall(m.nick, m.nick + " is looking for you!", m.link, TCallWords::None);
    SignalNews();
    FlashBrowserWindow();
}

void TNavlet::LookingForYouReceived(const TLookingForYouMsg& m) {
    ShowCall(m.nick,
             m.nick + (m.callerOnline ? " is" : " was") + " looking for you with this message: \"" +
                 m.message + "\"",
             m.link, TCallWords::Some);
    SignalNews();
    FlashBrowserWindow();
}

} // namespace navlet
