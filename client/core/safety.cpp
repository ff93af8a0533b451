// Safe among strangers: reporting a user to the operators from the users
// menu and a private chat's member menu, being invisible, and friends told
// when they share a site.
#include <iterator>

#include "client/core/navlet.h"
#include "client/core/peer_text.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

constexpr const char* REASON_CAPTIONS[REPORT_REASON_COUNT] = {"Spam", "Harassment",
                                                              "Illegal content", "Other"};

} // namespace

void TNavlet::ReportUser(UserId user, const std::string& nick, bool chatMenu) {
    if (user == 0 || user == myUserId || !loggedIn)
        return;
    TReportForm form;
    form.caption = "Report " + nick;
    form.prompt = "Why do you report " + nick + "?";
    form.reasons.assign(std::begin(REASON_CAPTIONS), std::end(REASON_CAPTIONS));
    form.textLabel = "In a few words (optional):";
    form.textMaxLength = REPORT_TEXT_FIELD - 1;
    form.alsoIgnoreCaption = "Also ignore this user";
    form.alsoIgnore = reportAlsoIgnores;
    if (kit.dialogs.ShowReportBox(form) != MODAL_RESULT_OK)
        return;
    if (form.reason < 0 || form.reason >= REPORT_REASON_COUNT)
        return;
    reportAlsoIgnores = form.alsoIgnore;
    // The session may have ended while the box was open.
    if (!loggedIn)
        return;
    // The server quotes what the user said where this bar saw it; its
    // ticker line thanks. An older server drops the request unanswered.
    TPacket packet;
    ClearPacket(packet);
    SendReport(packet, *ClientSocket, user, uint8_t(form.reason), ReportText(form.text));
    if (form.alsoIgnore && MarkOf(user) == MARK_NONE)
        ChangeMark(user, nick, TMarkAction::Ignore, chatMenu);
}

std::string TNavlet::ReportText(std::string_view typed) const {
    // One line, whatever was pasted: the operator reads it as one.
    const std::string line = kit.textMetrics.TextCode() == TTextCode::Utf8
                                 ? BlankedUtf8(typed)
                                 : Blanked(std::string(typed));
    return TextForServer(line, REPORT_TEXT_FIELD - 1);
}

void TNavlet::FriendHereReceived(const TFriendHereMsg& m) {
    if (m.user == 0 || m.user == myUserId || m.nick.empty())
        return;
    SetFriendHere(m.user, true);
    if (!friendsToldHere.insert(m.user).second)
        return; // each window of the friend, each arrival: told once a visit
    PostMsg(mkNotice, 0, "Your friend %s is on this site.", m.nick.c_str());
}

TFriendState TNavlet::FriendState(UserId user) const {
    return friendsHere.count(user) ? TFriendState::Here : TFriendState::Online;
}

void TNavlet::SetFriendHere(UserId user, bool here) {
    if (here ? !friendsHere.insert(user).second : friendsHere.erase(user) == 0)
        return;
    for (int i = 0; i < lvFriends.Count(); ++i) {
        const TListItem& entry = lvFriends.Item(i);
        // An offline entry waits for the friend's record, which reads the set.
        if (UserIdOfEntry(entry) != user ||
            FriendStateOf(entry.stateIndex) == TFriendState::Offline)
            continue;
        const int32_t image = FriendImage(entry.stateIndex, FriendState(user));
        lvFriends.Update(i, [image](TListItem& item) { item.stateIndex = image; });
    }
}

void TNavlet::ForgetFriendsHere() {
    const std::set<UserId> were = friendsHere;
    for (UserId user : were)
        SetFriendHere(user, false);
}

uint8_t TNavlet::PrivacyFlags() const {
    return uint8_t((invisible ? PRIVACY_INVISIBLE : 0) |
                   (visibleToFriends ? PRIVACY_VISIBLE_TO_FRIENDS : 0) |
                   (tellFriends ? PRIVACY_TELL_FRIENDS : 0));
}

void TNavlet::SendPrivacy() {
    if (!loggedIn)
        return; // the sign-in sends it
    TPacket packet;
    ClearPacket(packet);
    navlet::SendPrivacy(packet, *ClientSocket, PrivacyFlags());
}

} // namespace navlet
