// People signed in to the service without sockets, each with a fake sink,
// and the requests a test has them send: the fixture of the tests that
// watch what one user's action does to what the others receive.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/server/service_fixture.h"

namespace navlet::server {

// A request packet as a bar sends it.
inline TPacket Request(uint8_t type, const std::function<int(TPacket&)>& build) {
    TPacket p;
    ClearPacket(p);
    int length = build(p);
    p.bytes[OFF_TYPE] = type;
    p.PutU16(OFF_LENGTH, uint16_t(length));
    return p;
}

class PeopleTest : public ServiceTest {
  protected:
    struct TPerson {
        TFakeSink sink;
        TClient client{sink};
    };
    void SetUp() override {
        ServiceTest::SetUp();
        Make({});
    }
    void TearDown() override {
        for (auto& person : people)
            if (person->client.SignedIn())
                service->Disconnect(person->client);
        ServiceTest::TearDown();
    }
    TClient& Open(const std::string& nick, const std::string& site = "example.com") {
        people.push_back(std::make_unique<TPerson>());
        SignIn(people.back()->client, nick, site);
        return people.back()->client;
    }
    static TFakeSink& Sink(TClient& c) { return static_cast<TFakeSink&>(c.sink); }
    void ClearAll() {
        for (auto& person : people)
            person->sink.got.clear();
    }
    void Say(TClient& c, ChatId chat, const std::string& text) {
        service->Handle(c, Request(REQ_CHAT_TEXT, [&](TPacket& p) {
                            return BuildChatText(p, MakeChatAddress(c.Id(), chat), text);
                        }));
    }
    void Invite(TClient& c, uint64_t user, ChatId chat) {
        service->Handle(c, Request(REQ_INVITE, [&](TPacket& p) {
                            return BuildInvite(p, MakeChatAddress(user, chat));
                        }));
    }
    // What the session received of one type, kept for other looks (ClearAll
    // forgets it).
    static std::vector<TPacket> Of(TClient& c, uint8_t type) {
        std::vector<TPacket> out;
        for (const TPacket& p : Sink(c).got)
            if (p.Type() == type)
                out.push_back(p);
        return out;
    }
    // Lines of users, public and private (not the ticker's notices).
    static std::vector<std::string> Lines(TClient& c) {
        std::vector<std::string> out;
        for (const TPacket& p : Of(c, MSG_CHAT_LINE))
            if (ReadChatLine(p).address.User() != 0)
                out.push_back(ReadChatLine(p).text);
        return out;
    }
    static std::vector<uint64_t> Users(TClient& c, uint8_t type) {
        std::vector<uint64_t> out;
        for (const TPacket& p : Of(c, type))
            out.push_back(type == MSG_PRESENCE ? ReadPresence(p).user : ReadUserLeft(p).user);
        return out;
    }
    std::vector<std::unique_ptr<TPerson>> people;
};

} // namespace navlet::server
