// Safe among strangers: reporting a user to the operators from the users
// menu and a private chat's member menu, being invisible, and friends told
// when they share a site.
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

constexpr const char* REASON_CAPTIONS[REPORT_REASON_COUNT] = {"Spam", "Harassment",
                                                              "Illegal content", "Other"};

} // namespace

TBarMenu TNavlet::ReportMenu(uint16_t firstId) const {
    TBarMenu menu("Report this user...");
    for (uint8_t reason = 0; reason < REPORT_REASON_COUNT; ++reason)
        menu.AppendItem({REASON_CAPTIONS[reason], uint16_t(firstId + reason)});
    menu.AppendItem({"", 0}).AppendItem({"Also ignore this user",
                                         uint16_t(firstId + REPORT_REASON_COUNT),
                                         /*itemEnabled=*/true, reportAlsoIgnores});
    return menu;
}

bool TNavlet::ActOnReportChoice(int16_t choice, uint16_t firstId, UserId user,
                                const std::string& nick, bool chatMenu) {
    if (choice < firstId || choice > firstId + REPORT_REASON_COUNT)
        return false;
    if (choice == firstId + REPORT_REASON_COUNT) {
        reportAlsoIgnores = !reportAlsoIgnores;
        return true;
    }
    if (user == 0 || user == myUserId || !loggedIn)
        return true;
    // The server quotes what the user said where this bar saw it; its
    // ticker line thanks. An older server drops the request unanswered.
    TPacket packet;
    ClearPacket(packet);
    SendReport(packet, *ClientSocket, user, uint8_t(choice - firstId), "");
    if (reportAlsoIgnores && MarkOf(user) == MARK_NONE)
        ChangeMark(user, nick, TMarkAction::Ignore, chatMenu);
    return true;
}

void TNavlet::FriendHereReceived(const TFriendHereMsg& m) {
    if (m.user == 0 || m.user == myUserId || m.nick.empty())
        return;
    if (!friendsToldHere.insert(m.user).second)
        return; // each window of the friend, each arrival: told once a visit
    PostMsg(mkNotice, 0, "Your friend %s is on this site.", m.nick.c_str());
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
