// The service's rules without sockets: a fake sink per client, a manual clock.
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

} // namespace
} // namespace navlet::server
