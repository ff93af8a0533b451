// The server's answers to a search, and calls from users looking for this one:
// both reach the user as ticker lines.
#include <algorithm>

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
    // One pending line per caller: a repeated call only brings its address up
    // to date.
    auto pending = std::find_if(msgQueue.begin(), msgQueue.end(), [&m](const TMsgLine& line) {
        return line.kind == mkInvite && line.user == m.nick;
    });
    TMsgLine* line = pending == msgQueue.end() ? nullptr : &*pending;
    if (!line) {
        line = &PostMsg(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "%s is looking for you!",
                        m.nick.c_str());
        line->user = m.nick;
    }
    line->link = m.link;
    SignalNews();
    FlashBrowserWindow();
}

void TNavlet::LookingForYouReceived(const TLookingForYouMsg& m) {
    TMsgLine& line = PostMsg(mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE,
                             "%s %s looking for you with this message: \"%s\"", m.nick.c_str(),
                             m.callerOnline ? "is" : "was", m.message.c_str());
    line.user = m.nick;
    line.link = m.link;
    SignalNews();
    FlashBrowserWindow();
}

} // namespace navlet
