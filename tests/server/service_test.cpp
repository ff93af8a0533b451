// The service's rules without sockets: a fake sink per client, a manual clock.
#include "tests/server/quiet_link.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

TEST(LanguageMask, BitsOfTheThirteenAndBit31ForTheRest) {
    EXPECT_TRUE(ReadsLanguage(1u << 0, 1));
    EXPECT_TRUE(ReadsLanguage(1u << 12, 13));
    EXPECT_FALSE(ReadsLanguage(1u << 12, 12));
    EXPECT_TRUE(ReadsLanguage(1u << 31, 0));
    EXPECT_FALSE(ReadsLanguage(0x1FFF, 0));
    EXPECT_FALSE(ReadsLanguage(0, 3));
}

TEST_F(ServiceTest, AConnectionThatGoesWhileItsPasswordIsCheckedIsForgotten) {
    Make({});
    ASSERT_EQ(store->AddAccount("alice", "pw", 'f', 1), TAddAccountResult::Added);
    TFakeSink sink;
    {
        TClient client(sink);
        TLoginRequest login{"alice", "pw", "1.4.0.0", "example.com", 0, 0};
        service->Login(client, login);
        service->Disconnect(client);
    }
    verifier.RunAll(); // must not touch the gone client
    EXPECT_TRUE(sink.got.empty());
    EXPECT_EQ(service->SignedInCount(), 0u);
}

TEST_F(ServiceTest, BannersRotatePerSiteAtTheInterval) {
    Make(TBannerSet::FromIds({7, 3, 5}));
    TFakeSink s1, s2;
    TClient c1(s1), c2(s2);
    SignIn(c1, "one", "a.example");
    SignIn(c2, "two", "b.example");
    auto first1 = s1.Take(MSG_BANNER), first2 = s2.Take(MSG_BANNER);
    ASSERT_EQ(first1.size(), 1u);
    ASSERT_EQ(first2.size(), 1u);
    int32_t id1 = ReadBanner(first1[0]).bannerId, id2 = ReadBanner(first2[0]).bannerId;
    EXPECT_NE(id1, id2); // new sites start at different banners
    service->Tick();
    EXPECT_TRUE(s1.Take(MSG_BANNER).empty()); // not yet
    clock.Advance(1000);
    service->Tick();
    auto next = s1.Take(MSG_BANNER);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_NE(ReadBanner(next[0]).bannerId, id1);
    EXPECT_TRUE(TBannerSet::FromIds({3, 5, 7}).Has(ReadBanner(next[0]).bannerId));
    service->Disconnect(c1);
    service->Disconnect(c2);
}

TEST_F(ServiceTest, UpdateAnswersFollowTheBarsDownload) {
    std::vector<uint8_t> module(MAX_UPDATE_CHUNK + 10, 0xAB);
    Make({}, TUpdateSet::FromBytes(0x01050000, module));
    TFakeSink sink;
    TClient client(sink);
    SignIn(client, "alice", "example.com");
    sink.got.clear();
    auto ask = [&](int32_t offset, int32_t version) {
        TPacket p;
        ClearPacket(p);
        int length = BuildUpdateRequest(p, offset, version);
        p.bytes[OFF_TYPE] = REQ_UPDATE;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        service->Handle(client, p);
        auto got = sink.Take(MSG_UPDATE_CHUNK);
        EXPECT_EQ(got.size(), 1u);
        return ReadUpdateChunk(got.at(0));
    };
    // Asking for the offered version before it was offered: nothing newer.
    EXPECT_EQ(ask(0, 0x01050000).version, -1);
    TUpdateChunkMsg offer = ask(0, 0x01040000);
    EXPECT_EQ(offer.offset, 0);
    EXPECT_EQ(offer.count, MAX_UPDATE_CHUNK);
    TUpdateChunkMsg last = ask(MAX_UPDATE_CHUNK, 0x01050000);
    EXPECT_EQ(last.offset, MAX_UPDATE_CHUNK);
    EXPECT_EQ(last.count, 10);
    TUpdateChunkMsg end = ask(MAX_UPDATE_CHUNK + 10, 0x01050000);
    EXPECT_TRUE(end.IsEndMark());
    EXPECT_EQ(end.offset, int32_t(module.size()));
    EXPECT_TRUE(ask(1 << 30, 0x01050000).IsEndMark());
    EXPECT_EQ(ask(-5, 0x01050000).version, -1);
    EXPECT_EQ(ask(0, 0x01060000).version, -1);
    service->Disconnect(client);
}

// The operator replaces the module with another file of the same version
// while a bar downloads: the bar gets the rest of the file it began, never a
// head of one and a tail of the other; a download begun later gets the new.
TEST_F(ServiceTest, ADownloadIsServedFromOneFileToItsEnd) {
    Make({}, TUpdateSet::FromBytes(0x01050000, std::vector<uint8_t>(MAX_UPDATE_CHUNK + 10, 0xAB)));
    TFakeSink sink;
    TClient client(sink);
    SignIn(client, "alice", "example.com");
    auto ask = [&](int32_t offset, int32_t version) {
        TPacket p;
        ClearPacket(p);
        int length = BuildUpdateRequest(p, offset, version);
        p.bytes[OFF_TYPE] = REQ_UPDATE;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        service->Handle(client, p);
        auto got = sink.Take(MSG_UPDATE_CHUNK);
        EXPECT_EQ(got.size(), 1u);
        TUpdateChunkMsg chunk = ReadUpdateChunk(got.at(0));
        return std::pair(chunk, chunk.count > 0 ? chunk.data[0] : 0);
    };
    EXPECT_EQ(ask(0, 0x01040000).second, 0xAB);
    service->ReplaceUpdates(
        TUpdateSet::FromBytes(0x01050000, std::vector<uint8_t>(MAX_UPDATE_CHUNK + 99, 0xCD)));
    auto [tail, byte] = ask(MAX_UPDATE_CHUNK, 0x01050000);
    EXPECT_EQ(tail.count, 10);
    EXPECT_EQ(byte, 0xAB);
    EXPECT_EQ(ask(MAX_UPDATE_CHUNK + 10, 0x01050000).first.offset, MAX_UPDATE_CHUNK + 10);
    // The bar starts over (a new session, an older module): the new file.
    EXPECT_EQ(ask(0, 0x01040000).second, 0xCD);
    EXPECT_EQ(ask(MAX_UPDATE_CHUNK, 0x01050000).first.count, 99);
    service->Disconnect(client);
}

// Accounts met once (signed in and gone, or just signed up) leave the
// service's memory a while after their last session; those online stay.
TEST_F(ServiceTest, AccountsWithoutASessionLeaveTheCache) {
    Make({});
    TFakeSink staySink;
    TClient stays(staySink);
    SignIn(stays, "stayer", "example.com");
    for (int i = 0; i < 40; ++i) {
        TFakeSink sink;
        TClient client(sink);
        SignIn(client, "passer" + std::to_string(i), "example.com");
        service->Disconnect(client);
    }
    for (int i = 0; i < 40; ++i) {
        TAccount made;
        ASSERT_EQ(store->AddAccount("newbie" + std::to_string(i), "pw", 'x', 1, &made),
                  TAddAccountResult::Added);
        service->AccountStored(made); // as the web site's sign-up tells it
    }
    clock.Advance(5 * 60 * 1000);
    service->Tick();
    EXPECT_LE(service->CachedAccounts(), 1u);
    // Whoever left can come back, and the one online is still known.
    TFakeSink backSink;
    TClient back(backSink);
    SignIn(back, "passer3", "example.com");
    EXPECT_EQ(service->OnlineUsers("example.com").size(), 2u);
    service->Disconnect(back);
    service->Disconnect(stays);
}

TEST_F(ServiceTest, ChatRateIsPerUserAndRefills) {
    Make({});
    TFakeSink sa, sb;
    TClient a(sa), b(sb);
    SignIn(a, "alice", "example.com");
    SignIn(b, "bob", "example.com");
    sb.got.clear();
    auto say = [&] {
        TPacket p;
        ClearPacket(p);
        int length = BuildChatText(p, MakeChatAddress(a.Id(), 0), "hi");
        p.bytes[OFF_TYPE] = REQ_CHAT_TEXT;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        service->Handle(a, p);
    };
    for (int i = 0; i < 30; ++i)
        say();
    EXPECT_EQ(sb.Take(MSG_CHAT_LINE).size(), 10u); // the burst
    clock.Advance(1000);
    for (int i = 0; i < 30; ++i)
        say();
    EXPECT_EQ(sb.Take(MSG_CHAT_LINE).size(), 2u); // two per second
    service->Disconnect(a);
    service->Disconnect(b);
}

// A peer's CR LF would start a row of its own on the other bars, without
// the sender's nick: every control character of a peer's text goes out as
// a blank, in public and private lines, calls and the operator's notices,
// and so does the copy a site keeps for newcomers.
TEST_F(ServiceTest, ControlCharactersOfAPeersTextGoOutAsBlanks) {
    Make({});
    TFakeSink sa, sb;
    TClient a(sa), b(sb);
    SignIn(a, "alice", "example.com");
    SignIn(b, "bob", "example.com");
    sb.got.clear();
    auto send = [&](int length, uint8_t type, TPacket& p) {
        p.bytes[OFF_TYPE] = type;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        service->Handle(a, p);
    };
    const std::string forged = "a\r\nevil2 [00:00] forged\trow\x7f\x01";
    const std::string blanked = "a  evil2 [00:00] forged row  ";
    TPacket p;
    ClearPacket(p);
    send(BuildChatText(p, MakeChatAddress(a.Id(), 0), forged), REQ_CHAT_TEXT, p);
    auto lines = sb.Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, blanked);

    const ChatId chat = (a.chatKey << 8) | 1;
    ClearPacket(p);
    send(BuildInvite(p, MakeChatAddress(b.Id(), chat)), REQ_INVITE, p);
    ClearPacket(p);
    send(BuildChatText(p, MakeChatAddress(a.Id(), chat), forged), REQ_CHAT_TEXT, p);
    lines = sb.Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, blanked);

    ClearPacket(p);
    send(BuildFindUserWithMessage(p, "bob", "call\nme"), REQ_FIND_USER_WITH_MESSAGE, p);
    auto calls = sb.Take(MSG_LOOKING_FOR_YOU);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(ReadLookingForYou(calls[0]).message, "call me");

    EXPECT_EQ(service->Notice(TTarget{TTarget::User, "bob"}, TNoticeKind::Ticker, 0, "x\r\ny"), 1);
    lines = sb.Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, "x  y");

    // Untouched: what is not a control character, bytes past 0x7F included.
    ClearPacket(p);
    send(BuildChatText(p, MakeChatAddress(a.Id(), 0), "caf\xe9 ~ \x80"), REQ_CHAT_TEXT, p);
    lines = sb.Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, "caf\xe9 ~ \x80");

    TFakeSink sc;
    TClient c(sc);
    SignIn(c, "carol", "example.com");
    auto replayed = sc.Take(MSG_DATED_LINE);
    ASSERT_EQ(replayed.size(), 2u);
    EXPECT_EQ(ReadDatedLine(replayed[0]).text, blanked);
    for (TClient* client : {&a, &b, &c})
        service->Disconnect(*client);
}

} // namespace
} // namespace navlet::server

namespace navlet::server {
namespace {

// Redis away (a node alone's answers) unless a test says otherwise.
struct TRecordingLink final : TQuietLink {
    TRecordingLink() { status = {}; }
    std::vector<std::string> calls;
    void Entered(const std::string& host, const TAccount& a, uint8_t) override {
        calls.push_back("in " + host + " " + a.nick);
    }
    void Left(const std::string& host, uint64_t id) override {
        calls.push_back("out " + host + " " + std::to_string(id));
    }
    void PublicLine(const std::string& host, uint64_t, int, const std::string& nick,
                    const std::string& text) override {
        calls.push_back("line " + host + " " + nick + " " + text);
    }
    std::vector<TNodeSessions> where; // what WhereIs answers
    void WhereIs(uint64_t, std::function<void(std::vector<TNodeSessions>)> done) override {
        done(where);
    }
    std::vector<std::pair<std::string, cluster::TNodeMessage>> sent; // by ToNode
    bool listening = true;                                           // the nodes sent to
    void ToNode(const std::string& node, const cluster::TNodeMessage& message,
                std::function<void(bool)> delivered) override {
        sent.emplace_back(node, message);
        if (delivered)
            delivered(listening);
    }
};

TAccount Remote(uint64_t id, const std::string& nick) {
    return TAccount{id, nick, 'x', 6, ""};
}

// An account on a site through several nodes is one person there: one
// record when it first shows, one "user left" when its last node lets go.
TEST_F(ServiceTest, RemoteUsersAreOnePersonWithTheSitesOwn) {
    Make({});
    TRecordingLink link;
    service->SetClusterLink(link);
    TFakeSink aliceSink, carolSink;
    TClient alice(aliceSink), carol(carolSink);
    SignIn(alice, "alice", "example.com/a");
    EXPECT_EQ(link.calls, std::vector<std::string>{"in example.com alice"});
    aliceSink.got.clear();

    service->RemoteEntered("example.com", "n2", Remote(900, "bob"));
    service->RemoteEntered("example.com", "n3", Remote(900, "bob"));
    service->RemoteEntered("nowhere.org", "n2", Remote(901, "nobody"));
    auto records = aliceSink.Take(MSG_PRESENCE);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(ReadPresence(records[0]).nick, "bob");

    // A newcomer's welcome lists the remote user; the remote line passes
    // the language filter of each receiver.
    SignIn(carol, "carol", "example.com");
    auto welcome = carolSink.Take(MSG_PRESENCE);
    ASSERT_EQ(welcome.size(), 3u); // own, alice, bob
    EXPECT_EQ(ReadPresence(welcome[2]).nick, "bob");
    service->Handle(carol, [] {
        TPacket p;
        ClearPacket(p);
        int length = BuildLanguageFilter(p, 1u << 2); // language 3 only
        p.bytes[OFF_TYPE] = REQ_LANGUAGE_FILTER;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        return p;
    }());
    service->RemoteLine("example.com", 900, 6, "bob", "hallo");
    EXPECT_EQ(aliceSink.Take(MSG_CHAT_LINE).size(), 1u);
    EXPECT_TRUE(carolSink.Take(MSG_CHAT_LINE).empty());

    service->RemoteLeft("example.com", RemoteKey("n2", 900));
    EXPECT_TRUE(aliceSink.Take(MSG_USER_LEFT).empty()); // still there through n3
    service->DropRemote("n3");
    auto left = aliceSink.Take(MSG_USER_LEFT);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadUserLeft(left[0]).user, 900u);

    // Alice also on another node: her leaving here is no departure for carol.
    service->RemoteEntered("example.com", "n2", Remote(alice.Id(), "alice"));
    EXPECT_TRUE(carolSink.Take(MSG_PRESENCE).empty());
    uint64_t aliceId = alice.Id();
    service->Disconnect(alice);
    EXPECT_TRUE(carolSink.Take(MSG_USER_LEFT).empty());
    EXPECT_EQ(link.calls.back(), "out example.com " + std::to_string(aliceId));
    service->Disconnect(carol);
}

// Chat messages of other nodes: a chat id may take all 64 bits, a line
// counts only from a member on the node that holds it, a malformed message
// is dropped, and a line said here goes once to each node with members.
TEST_F(ServiceTest, RemoteChatMessagesAreCheckedAndReachEachNodeOnce) {
    Make({});
    TRecordingLink link;
    service->SetClusterLink(link);
    TFakeSink aliceSink;
    TClient alice(aliceSink);
    SignIn(alice, "alice", "example.com");
    aliceSink.got.clear();
    const std::string n2 = "00000000000000aa", n3 = "00000000000000bb";
    const ChatId chat = 0xFFFFFFFFFFFFFF01; // the key's 56 bits set: all 64 bits used
    service->RemoteEvent(
        n2, cluster::TInvite{chat, 900, "example.com", {{900, n2}, {901, n3}}, alice.Id()});
    auto joined = aliceSink.Take(MSG_MEMBER_JOINED);
    ASSERT_EQ(joined.size(), 2u); // the inviter first
    EXPECT_EQ(ReadMember(joined[0]).address, MakeChatAddress(900, chat));
    EXPECT_EQ(ReadMember(joined[1]).address, MakeChatAddress(901, chat));
    const cluster::TNodeMessage aliceJoined = cluster::TChatJoined{chat, alice.Id()};
    EXPECT_EQ(link.sent, (std::vector<std::pair<std::string, cluster::TNodeMessage>>{
                             {n2, aliceJoined}, {n3, aliceJoined}}));

    service->RemoteEvent(n3, cluster::TChatLine{chat, 900, "forged"}); // 900 is on n2
    service->RemoteEvent(n2, cluster::TChatLine{chat - 0x100, 900, "no such chat"});
    // An invitation that does not name its inviter first, on its node.
    service->RemoteEvent(n3, cluster::TInvite{chat - 0x100, 900, "", {{900, n2}}, alice.Id()});
    EXPECT_TRUE(aliceSink.Take(MSG_MEMBER_JOINED).empty());
    service->RemoteEvent(n2, cluster::TChatLine{chat, 900, "hello"});
    auto lines = aliceSink.Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, "hello");

    link.sent.clear();
    TPacket p;
    ClearPacket(p);
    int length = BuildChatText(p, MakeChatAddress(alice.Id(), chat), "hi both");
    p.bytes[OFF_TYPE] = REQ_CHAT_TEXT;
    p.PutU16(OFF_LENGTH, uint16_t(length));
    service->Handle(alice, p);
    const cluster::TNodeMessage line = cluster::TChatLine{chat, alice.Id(), "hi both"};
    EXPECT_EQ(link.sent,
              (std::vector<std::pair<std::string, cluster::TNodeMessage>>{{n2, line}, {n3, line}}));

    // A node that stops beating takes its members out of the chat.
    service->DropRemote(n2);
    auto left = aliceSink.Take(MSG_MEMBER_LEFT);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadMember(left[0]).address, MakeChatAddress(900, chat));
    service->Disconnect(alice);
}

// An invitation that reaches no session: the inviter hears that the invitee
// left the chat, whether no node holds it, its node does not listen, or its
// node finds it gone (and says so to the inviter's node).
TEST_F(ServiceTest, AnInvitationThatReachesNobodyIsAnsweredAsTheInviteesLeaving) {
    Make({});
    TRecordingLink link;
    service->SetClusterLink(link);
    TFakeSink aliceSink;
    TClient alice(aliceSink);
    SignIn(alice, "alice", "example.com");
    const std::string n2 = "00000000000000aa";
    const ChatId chat = alice.chatKey << 8 | 1;
    auto invite = [&](uint64_t who) {
        TPacket p;
        ClearPacket(p);
        int length = BuildInvite(p, MakeChatAddress(who, chat));
        p.bytes[OFF_TYPE] = REQ_INVITE;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        service->Handle(alice, p);
    };
    auto heardLeaving = [&](uint64_t who) {
        auto left = aliceSink.Take(MSG_MEMBER_LEFT);
        return left.size() == 1 && ReadMember(left[0]).address == MakeChatAddress(who, chat);
    };
    aliceSink.got.clear();
    invite(900); // no node holds a session of 900
    EXPECT_TRUE(heardLeaving(900));

    link.where = {TNodeSessions{n2, 1, 1, 2}};
    link.listening = false;
    invite(901);
    EXPECT_TRUE(heardLeaving(901));

    link.listening = true;
    invite(902);
    EXPECT_TRUE(aliceSink.Take(MSG_MEMBER_LEFT).empty());
    service->RemoteEvent(n2, cluster::TInviteFailed{chat, alice.Id(), 902});
    EXPECT_TRUE(heardLeaving(902));

    // This node's side: an invitation for an account with no session here.
    link.sent.clear();
    const ChatId theirs = 0x4201;
    service->RemoteEvent(n2, cluster::TInvite{theirs, 900, "example.com", {{900, n2}}, 4242});
    EXPECT_EQ(link.sent, (std::vector<std::pair<std::string, cluster::TNodeMessage>>{
                             {n2, cluster::TInviteFailed{theirs, 900, 4242}}}));
    service->Disconnect(alice);
}

TPacket InviteRequest(uint64_t invitee, ChatId chat) {
    TPacket p;
    ClearPacket(p);
    int length = BuildInvite(p, MakeChatAddress(invitee, chat));
    p.bytes[OFF_TYPE] = REQ_INVITE;
    p.PutU16(OFF_LENGTH, uint16_t(length));
    return p;
}

std::vector<ChatAddress> Members(TFakeSink& sink, uint8_t type) {
    std::vector<ChatAddress> out;
    for (const TPacket& m : sink.Take(type))
        out.push_back(ReadMember(m).address);
    return out;
}

// A node alone takes the cluster's path: the invitee's session wherever it
// is, and an invitee with no session is answered as its leaving, so that
// the inviter's tab does not wait for it.
TEST_F(ServiceTest, ANodeAloneAnswersAnInvitationToNobodyAsTheInviteesLeaving) {
    Make({});
    TFakeSink aliceSink, bobSink, carolSink;
    TClient alice(aliceSink), bob(bobSink), carol(carolSink);
    SignIn(alice, "alice", "example.com");
    SignIn(bob, "bob", "example.com");
    SignIn(carol, "carol", "other.org");
    const ChatId chat = alice.chatKey << 8 | 1;
    aliceSink.got.clear(), bobSink.got.clear(), carolSink.got.clear();

    service->Handle(alice, InviteRequest(bob.Id(), chat));
    EXPECT_EQ(Members(bobSink, MSG_MEMBER_JOINED),
              std::vector<ChatAddress>{MakeChatAddress(alice.Id(), chat)});
    service->Handle(alice, InviteRequest(carol.Id(), chat)); // on another site
    EXPECT_EQ(Members(carolSink, MSG_MEMBER_JOINED),
              (std::vector<ChatAddress>{MakeChatAddress(alice.Id(), chat),
                                        MakeChatAddress(bob.Id(), chat)}));
    const uint64_t carolId = carol.Id();
    service->Disconnect(carol);
    aliceSink.got.clear(), bobSink.got.clear();

    for (uint64_t gone : {carolId, uint64_t(4242)}) { // offline; never known
        service->Handle(alice, InviteRequest(gone, chat));
        EXPECT_EQ(Members(aliceSink, MSG_MEMBER_LEFT),
                  std::vector<ChatAddress>{MakeChatAddress(gone, chat)});
        EXPECT_TRUE(bobSink.got.empty());
    }
    service->Disconnect(alice);
    service->Disconnect(bob);
}

// A remote member who leaves its site along with the chat: this node's
// members on that site hear "user left" from the site instead, unless the
// account stays on it through another node; members elsewhere hear the chat.
TEST_F(ServiceTest, ARemoteMemberLeavingItsSiteIsAnnouncedOnceToEachMember) {
    Make({});
    TRecordingLink link;
    service->SetClusterLink(link);
    TFakeSink aliceSink, carolSink;
    TClient alice(aliceSink), carol(carolSink);
    SignIn(alice, "alice", "example.com");
    SignIn(carol, "carol", "other.org");
    const std::string n2 = "00000000000000aa", n3 = "00000000000000bb";
    const ChatId chat = 0x4201; // under the remote inviter's key
    service->RemoteEntered("example.com", n2, Remote(900, "bob"));
    for (TClient* invitee : {&alice, &carol})
        service->RemoteEvent(
            n2, cluster::TInvite{chat, 900, "example.com", {{900, n2}}, invitee->Id()});
    aliceSink.got.clear(), carolSink.got.clear();
    const std::vector<ChatAddress> bobLeft{MakeChatAddress(900, chat)};

    service->RemoteEvent(n2, cluster::TChatLeft{chat, 900, "example.com", true});
    EXPECT_TRUE(Members(aliceSink, MSG_MEMBER_LEFT).empty());
    EXPECT_EQ(Members(carolSink, MSG_MEMBER_LEFT), bobLeft);

    service->RemoteEvent(n2, cluster::TChatJoined{chat, 900});
    service->RemoteEntered("example.com", n3, Remote(900, "bob"));
    aliceSink.got.clear(), carolSink.got.clear();
    service->RemoteEvent(n2, cluster::TChatLeft{chat, 900, "example.com", true});
    EXPECT_EQ(Members(aliceSink, MSG_MEMBER_LEFT), bobLeft); // still on the site through n3
    EXPECT_EQ(Members(carolSink, MSG_MEMBER_LEFT), bobLeft);
    service->Disconnect(alice);
    service->Disconnect(carol);
}

// A call handed here for a user whose last session here has just gone: the
// caller heard "called", so its message is kept by the one node told to keep
// it, unless the user is signed in on another node (which heard it there).
TEST_F(ServiceTest, ACallForAUserWhoJustLeftIsKeptOnceWhenOnlineNowhere) {
    Make({});
    TRecordingLink link;
    service->SetClusterLink(link);
    ASSERT_EQ(store->AddAccount("alice", "pw", 'x', 3), TAddAccountResult::Added);
    const uint64_t aliceId = store->FindAccountByNick("alice")->id;
    TFakeSink bobSink, bobAgainSink;
    TClient bob(bobSink), bobAgain(bobAgainSink);
    SignIn(bob, "bob", "example.com");
    const uint64_t bobId = bob.Id();
    service->Disconnect(bob);

    auto call = [&](std::string message, bool keep) {
        return cluster::TCall{bobId,          true,    "alice", std::move(message),
                              "one.com/page", aliceId, keep};
    };
    service->RemoteEvent("00000000000000aa", call("another node keeps this", false));
    service->RemoteEvent("00000000000000aa", call("", true)); // a bare call has nothing to keep
    link.where = {{"n3", 1, 0, 0}};
    service->RemoteEvent("00000000000000aa", call("heard on n3", true));
    link.where = {};
    service->RemoteEvent("00000000000000aa", call("call me", true));

    SignIn(bobAgain, "bob", "example.com");
    std::vector<std::string> heard;
    for (const TPacket& p : bobAgainSink.Take(MSG_LOOKING_FOR_YOU)) {
        TLookingForYouMsg m = ReadLookingForYou(p);
        EXPECT_EQ(m.nick, "alice");
        EXPECT_EQ(m.link, "one.com/page");
        heard.push_back(m.message);
    }
    EXPECT_EQ(heard, std::vector<std::string>{"call me"});
    service->Disconnect(bobAgain);
}

} // namespace
} // namespace navlet::server
