// A crowded site's welcome goes out as the connection drains: the site may
// change meanwhile, and the newcomer's list must still come out right.
#include <set>

#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

TPacket SiteReportPacket(std::string_view site) {
    TPacket p;
    ClearPacket(p);
    int length = BuildSiteReport(p, site);
    p.bytes[OFF_TYPE] = REQ_SITE_REPORT;
    p.PutU16(OFF_LENGTH, uint16_t(length));
    return p;
}

// Replays what a bar would list from `got`: a record for somebody already
// listed, or "left" for somebody not listed, is a fault.
std::set<UserId> ListedBy(const TFakeSink& sink, UserId self) {
    std::set<UserId> listed;
    for (const TPacket& p : sink.got) {
        if (p.Type() == MSG_PRESENCE) {
            TPresenceMsg m = ReadPresence(p);
            if (m.user == self || m.listFlag != 0)
                continue;
            EXPECT_TRUE(listed.insert(m.user).second) << m.nick << " listed twice";
        } else if (p.Type() == MSG_USER_LEFT) {
            UserId user = ReadUserLeft(p).user;
            EXPECT_EQ(listed.erase(user), 1u) << user << " left before it was listed";
        }
    }
    return listed;
}

struct TUser {
    TFakeSink sink;
    TClient client{sink};
};

// Each drain lets one more record out.
void DrainOne(TService& service, TUser& user) {
    user.sink.room = 1;
    service.Drained(user.client);
}

TEST_F(ServiceTest, ArrivalsDeparturesAndMovesDuringAWelcomeListEveryoneOnce) {
    Make({});
    constexpr int CROWD = 6;
    TUser crowd[CROWD], secondWindow, late, newcomer;
    for (int i = 0; i < CROWD; ++i)
        SignIn(crowd[i].client, "user" + std::to_string(i), "crowd.example");
    SignIn(secondWindow.client, "user2", "crowd.example/other-window");

    newcomer.sink.room = 1; // the own record, then nothing until drained
    SignIn(newcomer.client, "newcomer", "crowd.example");
    UserId self = newcomer.client.Id();
    ASSERT_EQ(newcomer.sink.got.size(), 1u);
    DrainOne(*service, newcomer);
    DrainOne(*service, newcomer);
    ASSERT_EQ(ListedBy(newcomer.sink, self),
              (std::set<UserId>{crowd[0].client.Id(), crowd[1].client.Id()}));

    UserId gone1 = crowd[1].client.Id(), gone3 = crowd[3].client.Id();
    service->Disconnect(crowd[1].client); // listed: "left" follows
    service->Disconnect(crowd[3].client); // not yet listed: never will be
    service->Disconnect(crowd[2].client); // user2 stays through its other window
    service->Handle(crowd[4].client, SiteReportPacket("elsewhere.example"));
    service->Handle(crowd[4].client, SiteReportPacket("crowd.example/back"));
    SignIn(late.client, "late", "crowd.example"); // told live

    newcomer.sink.room = SIZE_MAX;
    service->Drained(newcomer.client);
    std::set<UserId> listed = ListedBy(newcomer.sink, self);
    EXPECT_EQ(listed,
              (std::set<UserId>{crowd[0].client.Id(), secondWindow.client.Id(),
                                crowd[4].client.Id(), crowd[5].client.Id(), late.client.Id()}));
    EXPECT_FALSE(listed.count(gone1) || listed.count(gone3));
    EXPECT_EQ(newcomer.sink.got.back().Type(), MSG_BANNER); // the welcome ended

    // Past the welcome, departures reach the newcomer as anybody.
    newcomer.sink.got.clear();
    service->Disconnect(crowd[5].client);
    ASSERT_EQ(newcomer.sink.Take(MSG_USER_LEFT).size(), 1u);

    for (TUser* user : {&crowd[0], &crowd[4], &secondWindow, &late, &newcomer})
        service->Disconnect(user->client);
    EXPECT_EQ(service->SiteCount(), 0u);
}

// Bob is on the site through another node when the welcome starts; his
// window here comes later (not told live: he is already on the site), then
// the other node lets him go before the welcome reached him.
TEST_F(ServiceTest, AnAccountHandedFromAnotherNodeDuringAWelcomeIsListedOnce) {
    Make({});
    TUser alice, bob, newcomer;
    SignIn(alice.client, "alice", "shared.example");
    SignIn(bob.client, "bob", "nowhere.example");
    UserId bobId = bob.client.Id();
    service->RemoteEntered("shared.example", "n2", TAccount{bobId, "bob", 'x', 3, ""});

    newcomer.sink.room = 1;
    SignIn(newcomer.client, "newcomer", "shared.example");
    service->Handle(bob.client, SiteReportPacket("shared.example"));
    service->RemoteLeft("shared.example", RemoteKey("n2", bobId));
    newcomer.sink.room = SIZE_MAX;
    service->Drained(newcomer.client);
    EXPECT_EQ(ListedBy(newcomer.sink, newcomer.client.Id()),
              (std::set<UserId>{alice.client.Id(), bobId}));

    for (TUser* user : {&alice, &bob, &newcomer})
        service->Disconnect(user->client);
}

} // namespace
} // namespace navlet::server
