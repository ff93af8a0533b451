// Ignore and block through the service's front: requests in, what each
// session receives out, with the real store behind it.
#include "tests/server/people_fixture.h"

namespace navlet::server {
namespace {

class ShieldTest : public PeopleTest {
  protected:
    void Mark(TClient& c, uint8_t type, uint64_t user, uint8_t operation) {
        service->Handle(
            c, Request(type, [&](TPacket& p) { return BuildMarkChange(p, user, operation); }));
    }
    void Find(TClient& c, const std::string& nick, const std::string& message = "") {
        if (message.empty())
            service->Handle(
                c, Request(REQ_FIND_USER, [&](TPacket& p) { return BuildFindUser(p, nick); }));
        else
            service->Handle(c, Request(REQ_FIND_USER_WITH_MESSAGE, [&](TPacket& p) {
                                return BuildFindUserWithMessage(p, nick, message);
                            }));
    }
    static std::vector<uint64_t> Members(TClient& c, uint8_t type) {
        std::vector<uint64_t> out;
        for (const TPacket& p : Of(c, type))
            out.push_back(ReadMember(p).address.User());
        return out;
    }
    static std::vector<int32_t> SearchResults(TClient& c) {
        std::vector<int32_t> out;
        for (const TPacket& p : Of(c, MSG_SEARCH_ANSWER))
            out.push_back(ReadSearchAnswer(p).result);
        return out;
    }
    static std::vector<TMarkMsg> Marks(TClient& c) {
        std::vector<TMarkMsg> out;
        for (const TPacket& p : Of(c, MSG_MARK))
            out.push_back(ReadMark(p));
        return out;
    }
};

// Ignoring drops the user's public and private lines, calls and invitations
// for the ignorer alone, untold; every window of the ignorer holds it, and
// stopping brings it all back.
TEST_F(ShieldTest, IgnoringDropsAUsersWordsForTheIgnorerOnly) {
    TClient& ann = Open("ann");
    TClient& annToo = Open("ann", "other.org");
    TClient& bob = Open("bob");
    TClient& cid = Open("cid");
    ClearAll();

    Mark(ann, REQ_IGNORE_CHANGE, bob.Id(), MARK_SET);
    for (TClient* window : {&ann, &annToo}) {
        auto marks = Marks(*window);
        ASSERT_EQ(marks.size(), 1u);
        EXPECT_EQ(marks[0].user, bob.Id());
        EXPECT_EQ(marks[0].mark, MARK_IGNORED);
        EXPECT_EQ(marks[0].nick, "bob");
    }
    EXPECT_TRUE(Sink(bob).got.empty());             // not told
    EXPECT_TRUE(Users(ann, MSG_USER_LEFT).empty()); // still listed
    ClearAll();

    Say(bob, 0, "hello site");
    EXPECT_TRUE(Lines(ann).empty());
    EXPECT_EQ(Lines(cid), std::vector<std::string>{"hello site"});

    // A chat of cid's with both: bob's lines reach cid only.
    const ChatId chat = cid.chatKey << 8 | 1;
    Invite(cid, ann.Id(), chat);
    Invite(cid, bob.Id(), chat);
    ClearAll();
    Say(bob, chat, "psst");
    EXPECT_TRUE(Lines(ann).empty());
    EXPECT_EQ(Lines(cid), std::vector<std::string>{"psst"});

    // bob's invitation is answered as if ann had gone; cid's reached her.
    Invite(bob, ann.Id(), bob.chatKey << 8 | 1);
    EXPECT_TRUE(Sink(ann).got.empty());
    EXPECT_EQ(Members(bob, MSG_MEMBER_LEFT), std::vector<uint64_t>{ann.Id()});
    ClearAll();

    // Calls: bob hears "called", ann hears nothing; cid's call rings.
    Find(bob, "ann");
    Find(bob, "ann", "answer me");
    EXPECT_EQ(SearchResults(bob), (std::vector<int32_t>{1, 1}));
    EXPECT_TRUE(Sink(ann).got.empty());
    EXPECT_TRUE(Sink(annToo).got.empty());
    Find(cid, "ann", "hi");
    EXPECT_EQ(Of(ann, MSG_LOOKING_FOR_YOU).size(), 1u);
    ClearAll();

    Mark(annToo, REQ_IGNORE_CHANGE, bob.Id(), MARK_CLEAR);
    ASSERT_EQ(Marks(ann).size(), 1u);
    EXPECT_EQ(Marks(ann)[0].mark, MARK_NONE);
    Say(bob, 0, "back");
    EXPECT_EQ(Lines(ann), std::vector<std::string>{"back"});
}

// A block hides the two from each other as if each had left: lists,
// searches, invitations, friendship and the recent lines; the shared chat is
// left by the blocker. The blocked user is never told, a bystander sees no
// change, and unblocking shows them to each other again.
TEST_F(ShieldTest, ABlockHidesBothFromEachOtherUntilUndone) {
    TClient& ann = Open("ann");
    TClient& bob = Open("bob");
    TClient& cid = Open("cid");
    const ChatId chat = cid.chatKey << 8 | 1;
    Invite(cid, ann.Id(), chat);
    Invite(cid, bob.Id(), chat);
    ClearAll();

    Mark(ann, REQ_BLOCK_CHANGE, bob.Id(), MARK_SET);
    EXPECT_EQ(Users(ann, MSG_USER_LEFT), std::vector<uint64_t>{bob.Id()});
    EXPECT_EQ(Users(bob, MSG_USER_LEFT), std::vector<uint64_t>{ann.Id()});
    EXPECT_TRUE(Marks(bob).empty());
    // ann left the chat they shared: bob and cid hear her go, and nothing else.
    EXPECT_EQ(Members(bob, MSG_MEMBER_LEFT), std::vector<uint64_t>{ann.Id()});
    EXPECT_EQ(Members(cid, MSG_MEMBER_LEFT), std::vector<uint64_t>{ann.Id()});
    EXPECT_EQ(Sink(cid).got.size(), 1u);
    EXPECT_EQ(Sink(bob).got.size(), 2u);
    ClearAll();

    Find(bob, "ann");
    Find(ann, "bob", "hi");
    EXPECT_EQ(SearchResults(bob), std::vector<int32_t>{SEARCH_NOT_ONLINE});
    EXPECT_EQ(SearchResults(ann), std::vector<int32_t>{SEARCH_NOT_ONLINE});
    ClearAll();
    Invite(bob, ann.Id(), bob.chatKey << 8 | 1);
    EXPECT_TRUE(Sink(ann).got.empty());
    EXPECT_EQ(Members(bob, MSG_MEMBER_LEFT), std::vector<uint64_t>{ann.Id()});
    service->Handle(bob, Request(REQ_FRIEND_CHANGE, [&](TPacket& p) {
                        return BuildFriendChange(p, ann.Id(), FRIEND_ADD);
                    }));
    EXPECT_TRUE(store->Friends(bob.Id()).empty());
    Say(ann, 0, "unseen");
    Say(cid, 0, "seen");
    EXPECT_EQ(Lines(bob), std::vector<std::string>{"seen"});
    EXPECT_EQ(Lines(cid), std::vector<std::string>{"unseen"});

    // Another window of bob's arriving lists neither ann nor her lines.
    TClient& bobToo = Open("bob");
    std::vector<uint64_t> listed = Users(bobToo, MSG_PRESENCE);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), ann.Id()), 0);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), cid.Id()), 1);
    std::vector<std::string> recent;
    for (const TPacket& p : Of(bobToo, MSG_DATED_LINE))
        recent.push_back(ReadDatedLine(p).text);
    EXPECT_EQ(recent, std::vector<std::string>{"seen"});
    ClearAll();

    Mark(ann, REQ_BLOCK_CHANGE, bob.Id(), MARK_CLEAR);
    EXPECT_EQ(Users(ann, MSG_PRESENCE), std::vector<uint64_t>{bob.Id()});
    EXPECT_EQ(Users(bob, MSG_PRESENCE), std::vector<uint64_t>{ann.Id()});
    EXPECT_EQ(Users(bobToo, MSG_PRESENCE), std::vector<uint64_t>{ann.Id()});
    EXPECT_TRUE(Sink(cid).got.empty());
    Find(bob, "ann");
    EXPECT_EQ(SearchResults(bob), std::vector<int32_t>{1});
}

// The lists outlive the session: the next sign-in hears them before its
// welcome, and the blocked user's next welcome lists nobody who blocks it.
// Ignoring someone one blocks changes nothing, and a user one cannot mark
// (oneself, nobody) is refused.
TEST_F(ShieldTest, TheListsAreKeptAndSentAtSignIn) {
    TClient& ann = Open("ann");
    TClient& bob = Open("bob");
    TClient& cid = Open("cid");
    Mark(ann, REQ_BLOCK_CHANGE, bob.Id(), MARK_SET);
    Mark(ann, REQ_IGNORE_CHANGE, bob.Id(), MARK_SET); // a block holds it already
    Mark(ann, REQ_IGNORE_CHANGE, cid.Id(), MARK_SET);
    Mark(ann, REQ_IGNORE_CHANGE, ann.Id(), MARK_SET);
    Mark(ann, REQ_BLOCK_CHANGE, 987654, MARK_SET);
    const uint64_t annId = ann.Id(), bobId = bob.Id(), cidId = cid.Id();
    service->Disconnect(ann);
    service->Disconnect(bob);
    EXPECT_EQ(store->Marks(annId),
              (std::vector<TMark>{{bobId, STORED_BLOCK, "bob"}, {cidId, STORED_IGNORE, "cid"}}));
    EXPECT_EQ(store->BlockersOf(bobId), (std::vector<TMark>{{annId, STORED_BLOCK, "ann"}}));

    TClient& annAgain = Open("ann");
    ASSERT_FALSE(Sink(annAgain).got.empty());
    EXPECT_EQ(Sink(annAgain).got.front().Type(), MSG_MARK); // before the own record
    auto marks = Marks(annAgain);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].user, bobId);
    EXPECT_EQ(marks[0].mark, MARK_BLOCKED);
    EXPECT_EQ(marks[1].user, cidId);
    EXPECT_EQ(marks[1].mark, MARK_IGNORED);
    ClearAll();

    // bob's sign-in reads who blocks it: ann is not listed, nor told of bob.
    TClient& bobAgain = Open("bob");
    std::vector<uint64_t> listed = Users(bobAgain, MSG_PRESENCE);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), annId), 0);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), cidId), 1);
    EXPECT_TRUE(Marks(bobAgain).empty());
    EXPECT_TRUE(Users(annAgain, MSG_PRESENCE).empty());
    EXPECT_EQ(Users(cid, MSG_PRESENCE), std::vector<uint64_t>{bobId});
}

} // namespace
} // namespace navlet::server
