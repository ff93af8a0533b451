// A bar on the test kit with its socket connected and helpers that hand it the
// server's messages the way the dispatcher does.
#pragma once

#include <string>
#include <vector>

#include "protocol/requests.h"
#include "tests/core/bar_test_support.h"

namespace navlet::testing {

inline constexpr UserId ME = 7;
inline constexpr uint64_t MY_KEY = 0xABCDEF;

class ChatsTest : public BarTest {
  protected:
    void SetUp() override {
        BarTest::SetUp();
        ConsoleForm.reset();
        privateChatSeq = 0;
        MakeBar();
        bar->ClientSocket->Open();
        Socket().AcceptConnection();
    }
    void TearDown() override {
        ConsoleForm.reset();
        BarTest::TearDown();
    }

    TNavlet& b() { return *bar; }
    TScriptedSocket& Socket() { return tk.sockets.Last(); }

    void Presence(UserId user, const std::string& nick, char gender = 'm', uint64_t key = 0,
                  uint8_t listFlag = 0) {
        b().PresenceRecord(TPresenceMsg{user, listFlag, key, gender, nick});
    }
    void SignIn(const std::string& nick = "me") { Presence(ME, nick, 'm', MY_KEY); }

    void ChatLine(UserId sender, ChatId chat, const std::string& text) {
        b().ChatLineReceived(TChatLineMsg{MakeChatAddress(sender, chat), CHAT_PLAIN, text});
    }
    void Joined(UserId member, ChatId chat) {
        b().MemberJoined(TMemberMsg{MakeChatAddress(member, chat)});
    }

    TChatView& View(int tab) { return *b().PageControl.Page(tab).view; }
    std::vector<std::string> Texts(int tab) {
        std::vector<std::string> texts;
        for (const TChatLine& line : View(tab).Lines())
            texts.push_back(line.Text());
        return texts;
    }
    std::vector<std::string> Captions(const TListView& list) {
        std::vector<std::string> captions;
        for (const TListItem& item : list.Items())
            captions.push_back(item.caption);
        return captions;
    }
    std::vector<int32_t> Images(const TListView& list) {
        std::vector<int32_t> images;
        for (const TListItem& item : list.Items())
            images.push_back(item.stateIndex);
        return images;
    }
    // Whole packets of one type that the bar has sent so far.
    std::vector<TPacket> Sent(uint8_t type) {
        std::vector<TPacket> of;
        for (const TPacket& p : Socket().SentPackets())
            if (p.Type() == type)
                of.push_back(p);
        return of;
    }
    const TMsgLine* QueuedLine(const std::string& text) {
        for (const TMsgLine& line : b().msgQueue)
            if (line.text == text)
                return &line;
        return nullptr;
    }
};

// Signed in as "me" on a site where Alice (21) and bob (22) are too.
class AliceAndBobTest : public ChatsTest {
  protected:
    static constexpr UserId ALICE = 21;
    static constexpr UserId BOB = 22;

    void SetUp() override {
        ChatsTest::SetUp();
        SignIn("me");
        Presence(ALICE, "Alice", 'f');
        Presence(BOB, "bob");
    }
    // Selects `nick` in the site's list, as a click on it does.
    void Select(const std::string& nick) {
        for (int i = 0; i < b().lvUsers.Count(); ++i)
            if (b().lvUsers.Item(i).caption == nick)
                b().lvUsers.SetSelected(i);
    }
};

} // namespace navlet::testing
