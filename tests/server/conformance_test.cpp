// What the bar sees of the service, over loopback: sign-in, presence per site,
// chats, search and calls, friends across a restart, and the update download.
#include <fstream>
#include <thread>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Conformance : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        AddAccount("Alice", "apw", 'f', 3);
        AddAccount("bob", "bpw", 'm', 3);
        AddAccount("carol", "cpw", 'f', 6);
        AddAccount("dave", "dpw", 'm', 3);
    }
};

std::vector<uint8_t> Types(const std::deque<TPacket>& packets) {
    std::vector<uint8_t> out;
    for (const TPacket& p : packets)
        out.push_back(p.Type());
    return out;
}

TEST_F(Conformance, LoginIgnoresCaseAndSendsTheCanonicalNickWithAFreshKey) {
    StartServer();
    TTestClient a;
    ASSERT_TRUE(a.Connect(Port()));
    ASSERT_TRUE(a.Login("ALICE", "apw", "Example.com/index.html"));
    EXPECT_EQ(a.Self().nick, "Alice");
    EXPECT_EQ(a.Self().gender, 'f');
    EXPECT_EQ(a.Self().listFlag, 0);
    EXPECT_LT(a.ChatKey(), uint64_t(1) << 56);
    TPacket p;
    ASSERT_TRUE(a.WaitFor(MSG_BANNER, p));
    EXPECT_EQ(ReadBanner(p).bannerId, 0); // no banner folder: the default banner

    TTestClient again;
    ASSERT_TRUE(again.Connect(Port()));
    ASSERT_TRUE(again.Login("alice", "apw", "example.com"));
    EXPECT_NE(again.ChatKey(), a.ChatKey());
    EXPECT_EQ(again.Id(), a.Self().user);
    // A second browser window: both sessions stay.
    for (const TPacket& got : a.Drain())
        EXPECT_NE(got.Type(), MSG_END_SESSION);
}

// What the bar shows before the end of a session the server decides.
void ExpectReasonThenEnd(TTestClient& c, std::string_view reason) {
    TPacket p;
    ASSERT_TRUE(c.WaitFor(MSG_CHAT_LINE, p));
    TChatLineMsg line = ReadChatLine(p);
    EXPECT_EQ(line.address.User(), 0u);
    EXPECT_EQ(line.address.Chat(), 0x200u); // a ticker notice
    EXPECT_EQ(line.text, reason);
    ASSERT_TRUE(c.Next(p));
    EXPECT_EQ(p.Type(), MSG_END_SESSION);
    EXPECT_TRUE(c.WaitClosed());
}

TEST_F(Conformance, RefusedLoginEndsTheSession) {
    StartServer();
    for (auto [nick, pw] : {std::pair{"alice", "wrong"}, {"nobody", "x"}, {"", "apw"}}) {
        TTestClient c;
        ASSERT_TRUE(c.Connect(Port()));
        ASSERT_TRUE(c.SendLogin(nick, pw, "example.com"));
        SCOPED_TRACE(nick);
        ExpectReasonThenEnd(c, "Wrong nick or password.");
    }
}

TEST_F(Conformance, TwoUsersOnOneSiteSeeEachOtherAndChat) {
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com/a"));
    a.Drain();
    ASSERT_TRUE(b.Connect(Port()));
    ASSERT_TRUE(b.SendLogin("bob", "bpw", "EXAMPLE.com/b"));
    auto welcome = b.Drain();
    // Own record first, then the site's users, then the banner.
    ASSERT_EQ(Types(welcome), (std::vector<uint8_t>{MSG_PRESENCE, MSG_PRESENCE, MSG_BANNER}));
    EXPECT_NE(ReadPresence(welcome[0]).chatKey, 0u);
    TPresenceMsg other = ReadPresence(welcome[1]);
    EXPECT_EQ(other.nick, "Alice");
    EXPECT_EQ(other.chatKey, 0u);
    EXPECT_EQ(other.listFlag, 0);
    UserId bobId = ReadPresence(welcome[0]).user;

    TPacket p;
    ASSERT_TRUE(a.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).nick, "bob");
    EXPECT_EQ(ReadPresence(p).chatKey, 0u);

    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildChatText(p, MakeChatAddress(bobId, 0), "hello all"), REQ_CHAT_TEXT));
    ASSERT_TRUE(a.WaitFor(MSG_CHAT_LINE, p));
    TChatLineMsg line = ReadChatLine(p);
    EXPECT_EQ(line.address.User(), bobId);
    EXPECT_EQ(line.address.Chat(), 0u);
    EXPECT_EQ(line.text, "hello all");
    EXPECT_TRUE(b.Drain().empty()); // no echo to the sender

    // A newcomer gets the site's recent lines as dated lines.
    TTestClient c;
    ASSERT_TRUE(c.Connect(Port()) && c.Login("carol", "cpw", "example.com"));
    ASSERT_TRUE(c.WaitFor(MSG_DATED_LINE, p));
    TDatedLineMsg dated = ReadDatedLine(p);
    EXPECT_EQ(dated.nick, "bob");
    EXPECT_EQ(dated.text, "hello all");
    EXPECT_GT(dated.stamp, 40000.0);
}

TEST_F(Conformance, AUtf8BarAndAnOlderBarOnOneSiteEachReadTheirOwnCode) {
    StartServer();
    TTestClient a, b;
    a.UseTextCode(TTextCode::Utf8);
    ASSERT_TRUE(a.Connect(Port()) && a.SendLogin("alice", "apw", "example.com"));
    TPacket p;
    ASSERT_TRUE(a.WaitFor(MSG_PRESENCE, p, 5000));
    EXPECT_EQ(p.Subtype(), TEXT_UTF8); // the server agrees
    const UserId aliceId = ReadPresence(p).user;
    ASSERT_TRUE(b.Connect(Port()) && b.SendLogin("bob", "bpw", "example.com"));
    ASSERT_TRUE(b.WaitFor(MSG_PRESENCE, p, 5000));
    EXPECT_EQ(p.Subtype(), 0);
    const UserId bobId = ReadPresence(p).user;
    a.Drain();
    b.Drain();

    ClearPacket(p);
    ASSERT_TRUE(b.Send(p,
                       BuildChatText(p, MakeChatAddress(bobId, 0),
                                     "Gr\xFC\xDF"
                                     "e \x80"),
                       REQ_CHAT_TEXT));
    ASSERT_TRUE(a.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "Grüße €");

    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildChatText(p, MakeChatAddress(aliceId, 0), "ł 😀 €"), REQ_CHAT_TEXT));
    ASSERT_TRUE(b.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "? ? \x80");
}

TEST_F(Conformance, PublicLinesFollowTheReceiversLanguageMask) {
    StartServer();
    TTestClient a, b;
    // bob writes in language 3 (bit 2); alice reads only language 6.
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com", 1u << 5));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    a.Drain();
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildChatText(p, MakeChatAddress(b.Id(), 0), "one"), REQ_CHAT_TEXT));
    EXPECT_TRUE(a.Drain().empty());
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildLanguageFilter(p, 1u << 2), REQ_LANGUAGE_FILTER));
    a.Drain();
    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildChatText(p, MakeChatAddress(b.Id(), 0), "two"), REQ_CHAT_TEXT));
    ASSERT_TRUE(a.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "two");
}

TEST_F(Conformance, PrivateChatWithAThirdAndALeaverForAnotherHost) {
    StartServer();
    TTestClient a, b, c;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com/x"));
    ASSERT_TRUE(c.Connect(Port()) && c.Login("carol", "cpw", "example.com/y"));
    a.Drain(), b.Drain(), c.Drain();
    ChatId chat = a.ChatKey() << 8 | 1;
    TPacket p;

    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildInvite(p, MakeChatAddress(b.Id(), chat)), REQ_INVITE));
    ASSERT_TRUE(b.WaitFor(MSG_MEMBER_JOINED, p));
    EXPECT_EQ(ReadMember(p).address, MakeChatAddress(a.Id(), chat)); // the inviter first
    ASSERT_TRUE(a.WaitFor(MSG_MEMBER_JOINED, p));
    EXPECT_EQ(ReadMember(p).address, MakeChatAddress(b.Id(), chat));

    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildInvite(p, MakeChatAddress(c.Id(), chat)), REQ_INVITE));
    auto joined = c.Drain();
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(ReadMember(joined[0]).address.User(), a.Id());
    EXPECT_EQ(ReadMember(joined[1]).address.User(), b.Id());
    ASSERT_TRUE(b.WaitFor(MSG_MEMBER_JOINED, p));
    EXPECT_EQ(ReadMember(p).address.User(), c.Id());
    a.Drain();

    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildChatText(p, MakeChatAddress(b.Id(), chat), "psst"), REQ_CHAT_TEXT));
    for (TTestClient* member : {&a, &c}) {
        ASSERT_TRUE(member->WaitFor(MSG_CHAT_LINE, p));
        EXPECT_EQ(ReadChatLine(p).address, MakeChatAddress(b.Id(), chat));
        EXPECT_EQ(ReadChatLine(p).text, "psst");
    }

    // carol moves to another host: the others hear "user left", she gets the new site.
    ClearPacket(p);
    ASSERT_TRUE(c.Send(p, BuildSiteReport(p, "other.org/page"), REQ_SITE_REPORT));
    for (TTestClient* stayer : {&a, &b}) {
        ASSERT_TRUE(stayer->WaitFor(MSG_USER_LEFT, p));
        EXPECT_EQ(ReadUserLeft(p).user, c.Id());
    }
    auto moved = c.Drain();
    ASSERT_EQ(Types(moved), (std::vector<uint8_t>{MSG_PRESENCE, MSG_BANNER}));
    EXPECT_EQ(ReadPresence(moved[0]).user, c.Id());
    EXPECT_NE(ReadPresence(moved[0]).chatKey, 0u);

    // She is out of the chat: her lines there are refused, bob's no longer reach her.
    ClearPacket(p);
    ASSERT_TRUE(
        c.Send(p, BuildChatText(p, MakeChatAddress(c.Id(), chat), "still?"), REQ_CHAT_TEXT));
    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildChatText(p, MakeChatAddress(b.Id(), chat), "bye"), REQ_CHAT_TEXT));
    ASSERT_TRUE(a.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "bye");
    EXPECT_TRUE(c.Drain().empty());

    // A move within one host changes nothing for the others.
    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildSiteReport(p, "example.com/other/page"), REQ_SITE_REPORT));
    EXPECT_TRUE(a.Drain().empty());
    EXPECT_TRUE(b.Drain().empty());

    // bob leaves the chat: alice hears it.
    ClearPacket(p);
    ASSERT_TRUE(b.Send(p, BuildLeaveChat(p, MakeChatAddress(b.Id(), chat)), REQ_LEAVE_CHAT));
    ASSERT_TRUE(a.WaitFor(MSG_MEMBER_LEFT, p));
    EXPECT_EQ(ReadMember(p).address, MakeChatAddress(b.Id(), chat));
}

TEST_F(Conformance, InvitationsThatDoNotAddUpAreRefused) {
    StartServer();
    TTestClient a, b, c;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(c.Connect(Port()) && c.Login("carol", "cpw", "elsewhere.net"));
    a.Drain(), b.Drain(), c.Drain();
    TPacket p;
    // A chat under somebody else's key; chat number 0 under one's own key.
    ClearPacket(p);
    ASSERT_TRUE(
        a.Send(p, BuildInvite(p, MakeChatAddress(b.Id(), b.ChatKey() << 8 | 1)), REQ_INVITE));
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildInvite(p, MakeChatAddress(b.Id(), a.ChatKey() << 8)), REQ_INVITE));
    EXPECT_TRUE(b.Drain().empty());
    EXPECT_TRUE(c.Drain().empty());
    EXPECT_TRUE(a.Drain().empty());
}

TEST_F(Conformance, SearchAnswersNotOnlineAndCallsAnOnlineUser) {
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com/here"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "other.org"));
    a.Drain(), b.Drain();
    TPacket p;
    for (const char* nick : {"nosuchuser", "dave"}) { // unknown; known but offline
        ClearPacket(p);
        ASSERT_TRUE(a.Send(p, BuildFindUser(p, nick), REQ_FIND_USER));
        ASSERT_TRUE(a.WaitFor(MSG_SEARCH_ANSWER, p));
        EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE) << nick;
    }
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildFindUser(p, "BOB"), REQ_FIND_USER));
    ASSERT_TRUE(a.WaitFor(MSG_SEARCH_ANSWER, p));
    TSearchAnswerMsg answer = ReadSearchAnswer(p);
    EXPECT_NE(answer.result, SEARCH_NOT_ONLINE);
    EXPECT_NE(answer.result, SEARCH_LOOKING_FOR_YOU);
    EXPECT_EQ(answer.nick, "bob");
    ASSERT_TRUE(b.WaitFor(MSG_SEARCH_ANSWER, p));
    TSearchAnswerMsg call = ReadSearchAnswer(p);
    EXPECT_EQ(call.result, SEARCH_LOOKING_FOR_YOU);
    EXPECT_EQ(call.nick, "Alice");
    EXPECT_EQ(call.link, "example.com/here");

    ClearPacket(p);
    ASSERT_TRUE(
        a.Send(p, BuildFindUserWithMessage(p, "bob", "come here"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(b.WaitFor(MSG_LOOKING_FOR_YOU, p));
    TLookingForYouMsg withMessage = ReadLookingForYou(p);
    EXPECT_TRUE(withMessage.callerOnline);
    EXPECT_EQ(withMessage.message, "come here");
    EXPECT_EQ(withMessage.link, "example.com/here");
}

TEST_F(Conformance, AKeptCallArrivesAtTheNextLoginWithWasOrIs) {
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com/call"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(
        a.Send(p, BuildFindUserWithMessage(p, "dave", "ring me"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(a.WaitFor(MSG_SEARCH_ANSWER, p));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    ClearPacket(p);
    ASSERT_TRUE(
        b.Send(p, BuildFindUserWithMessage(p, "dave", "me too"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(b.WaitFor(MSG_SEARCH_ANSWER, p));
    a.Close(); // alice has gone, bob stays
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    TTestClient d;
    ASSERT_TRUE(d.Connect(Port()));
    ASSERT_TRUE(d.SendLogin("dave", "dpw", "news.net"));
    std::vector<TLookingForYouMsg> calls;
    for (const TPacket& m : d.Drain(300))
        if (m.Type() == MSG_LOOKING_FOR_YOU)
            calls.push_back(ReadLookingForYou(m));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].nick, "Alice");
    EXPECT_FALSE(calls[0].callerOnline); // "was"
    EXPECT_EQ(calls[0].message, "ring me");
    EXPECT_EQ(calls[0].link, "example.com/call");
    EXPECT_EQ(calls[1].nick, "bob");
    EXPECT_TRUE(calls[1].callerOnline); // "is"

    // Delivered once only.
    d.Close();
    TTestClient again;
    ASSERT_TRUE(again.Connect(Port()));
    ASSERT_TRUE(again.SendLogin("dave", "dpw", "news.net"));
    for (const TPacket& m : again.Drain(300))
        EXPECT_NE(m.Type(), MSG_LOOKING_FOR_YOU);
}

TEST_F(Conformance, FriendsSurviveAServerRestart) {
    StartServer();
    UserId bobId = 0, carolId = 0;
    {
        TTestClient a, b, c;
        ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
        ASSERT_TRUE(c.Connect(Port()) && c.Login("carol", "cpw", "example.com"));
        bobId = b.Id(), carolId = c.Id();
        ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
        TPacket p;
        for (UserId id : {bobId, carolId}) {
            ClearPacket(p);
            ASSERT_TRUE(a.Send(p, BuildFriendChange(p, id, FRIEND_ADD), REQ_FRIEND_CHANGE));
        }
        ClearPacket(p);
        ASSERT_TRUE(a.Send(p, BuildFriendChange(p, carolId, FRIEND_REMOVE), REQ_FRIEND_CHANGE));
        a.Drain();
    }
    StopServer();
    StartServer();
    TTestClient a;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    std::vector<TPresenceMsg> friends;
    for (const TPacket& m : a.Drain())
        if (m.Type() == MSG_PRESENCE && ReadPresence(m).listFlag != 0)
            friends.push_back(ReadPresence(m));
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0].user, bobId);
    EXPECT_EQ(friends[0].nick, "bob");
    EXPECT_EQ(friends[0].gender, 'm');
}

TEST_F(Conformance, FriendsHearOnceWhenAFriendComesOnlineAndGoesOffline) {
    StartServer();
    auto friendStates = [](TTestClient& client) {
        std::vector<uint8_t> flags;
        for (const TPacket& m : client.Drain())
            if (m.Type() == MSG_PRESENCE && ReadPresence(m).listFlag != 0)
                flags.push_back(ReadPresence(m).listFlag);
        return flags;
    };
    UserId bobId = 0;
    {
        TTestClient b;
        ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
        bobId = b.Id();
    }
    TTestClient a1, a2;
    ASSERT_TRUE(a1.Connect(Port()) && a1.Login("alice", "apw", "example.com"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(a1.Send(p, BuildFriendChange(p, bobId, FRIEND_ADD), REQ_FRIEND_CHANGE));
    a1.Drain();
    // The friend is stored before the second window reads the list. On two
    // nodes a1's node writes it and another may read first: a window that
    // lists bob shows that it landed.
    bool stored = false;
    for (int i = 0; i < 20 && !stored; ++i) {
        TTestClient probe;
        ASSERT_TRUE(probe.Connect(Port()) && probe.Login("alice", "apw", "other.org"));
        stored = !friendStates(probe).empty();
    }
    ASSERT_TRUE(stored);
    a1.Drain();
    ASSERT_TRUE(a2.Connect(Port()) && a2.Login("alice", "apw", "other.org"));
    EXPECT_EQ(friendStates(a2), std::vector<uint8_t>{LIST_FRIEND_OFFLINE}); // its sign-in list
    a1.Drain();

    // Both of alice's windows hear bob come online once, not for his second window.
    TTestClient b1, b2;
    ASSERT_TRUE(b1.Connect(Port()) && b1.Login("bob", "bpw", "example.com"));
    EXPECT_EQ(friendStates(a1), std::vector<uint8_t>{LIST_FRIEND_ONLINE});
    EXPECT_EQ(friendStates(a2), std::vector<uint8_t>{LIST_FRIEND_ONLINE});
    ASSERT_TRUE(b2.Connect(Port()) && b2.Login("bob", "bpw", "example.com"));
    EXPECT_TRUE(friendStates(a1).empty());
    b1.Close();
    EXPECT_TRUE(friendStates(a1).empty());
    b2.Close();
    EXPECT_EQ(friendStates(a1), std::vector<uint8_t>{LIST_FRIEND_OFFLINE});
    EXPECT_EQ(friendStates(a2), std::vector<uint8_t>{LIST_FRIEND_OFFLINE});

    // A friend removed is no longer told of.
    ClearPacket(p);
    ASSERT_TRUE(a1.Send(p, BuildFriendChange(p, bobId, FRIEND_REMOVE), REQ_FRIEND_CHANGE));
    a1.Drain();
    TTestClient b3;
    ASSERT_TRUE(b3.Connect(Port()) && b3.Login("bob", "bpw", "example.com"));
    EXPECT_TRUE(friendStates(a1).empty());
    // Bob lists nobody, so alice's coming and going tells him nothing.
    a1.Close();
    a2.Close();
    EXPECT_TRUE(friendStates(b3).empty());
}

// The update folder holds the 1.4.0.0 fixture module and one without a
// version resource; the bar under test runs 1.3.0.0.
class UpdateDownload : public Conformance {
  protected:
    static constexpr int32_t OFFERED = 0x01040000;
    static constexpr int32_t RUNNING = 0x01030000;
    void SetUp() override {
        Conformance::SetUp();
        std::filesystem::create_directories(config.updatesDir);
        std::filesystem::copy_file(NAVLET_FIXTURE_MODULE_PE,
                                   config.updatesDir + "/Navlet_Client.ocx");
        std::filesystem::copy_file(NAVLET_FIXTURE_PLAIN_PE, config.updatesDir + "/stray.dll");
        std::ifstream in(NAVLET_FIXTURE_MODULE_PE, std::ios::binary);
        module.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_GT(module.size(), size_t(MAX_UPDATE_CHUNK));
    }
    std::vector<uint8_t> module;
};

TEST_F(UpdateDownload, ChunkByChunkTheFileIsByteIdentical) {
    StartServer();
    TTestClient a;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    a.Drain();
    TPacket p;
    // The bar's first request carries its own version; the offer starts at 0.
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildUpdateRequest(p, 0, RUNNING), REQ_UPDATE));
    ASSERT_TRUE(a.WaitFor(MSG_UPDATE_CHUNK, p));
    TUpdateChunkMsg offer = ReadUpdateChunk(p);
    EXPECT_EQ(offer.version, OFFERED);
    EXPECT_EQ(offer.offset, 0);
    std::vector<uint8_t> file;
    size_t rounds = module.size() / MAX_UPDATE_CHUNK + 2;
    for (size_t round = 0; round < rounds; ++round) {
        ClearPacket(p);
        ASSERT_TRUE(a.Send(p, BuildUpdateRequest(p, int32_t(file.size()), OFFERED), REQ_UPDATE));
        ASSERT_TRUE(a.WaitFor(MSG_UPDATE_CHUNK, p));
        TUpdateChunkMsg chunk = ReadUpdateChunk(p);
        ASSERT_TRUE(chunk.IsWellFormed());
        if (chunk.IsEndMark()) {
            EXPECT_EQ(chunk.offset, int32_t(module.size()));
            break;
        }
        ASSERT_EQ(chunk.offset, int32_t(file.size()));
        ASSERT_LE(chunk.count, MAX_UPDATE_CHUNK);
        ASSERT_GT(chunk.count, 0);
        file.insert(file.end(), chunk.data, chunk.data + chunk.count);
    }
    EXPECT_EQ(file, module);

    // A current bar, and a bar asking for a version not offered: nothing newer.
    for (int32_t version : {OFFERED, 0x01050000}) {
        TTestClient fresh;
        ASSERT_TRUE(fresh.Connect(Port()) && fresh.Login("bob", "bpw", "example.com"));
        fresh.Drain();
        ClearPacket(p);
        ASSERT_TRUE(fresh.Send(p, BuildUpdateRequest(p, 0, version), REQ_UPDATE));
        ASSERT_TRUE(fresh.WaitFor(MSG_UPDATE_CHUNK, p));
        EXPECT_EQ(ReadUpdateChunk(p).version, -1);
    }
}

TEST_F(UpdateDownload, AModulePutIntoTheFolderIsOfferedWithoutARestart) {
    std::filesystem::remove(config.updatesDir + "/Navlet_Client.ocx");
    config.rescanMs = 50;
    StartServer();
    TTestClient a;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    a.Drain();
    auto offered = [&] {
        TPacket p;
        ClearPacket(p);
        EXPECT_TRUE(a.Send(p, BuildUpdateRequest(p, 0, RUNNING), REQ_UPDATE));
        EXPECT_TRUE(a.WaitFor(MSG_UPDATE_CHUNK, p));
        return ReadUpdateChunk(p).version;
    };
    EXPECT_EQ(offered(), -1);
    std::filesystem::copy_file(NAVLET_FIXTURE_MODULE_PE, config.updatesDir + "/Navlet_Client.ocx");
    int32_t version = -1;
    for (int i = 0; i < 200 && version != OFFERED; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        version = offered();
    }
    EXPECT_EQ(version, OFFERED);
}

} // namespace
} // namespace navlet::test
