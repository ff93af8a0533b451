// The service without sockets: a fake sink per client that decodes what it
// is given, a verifier whose checks wait for the test, a manual clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "server/core/service.h"

namespace navlet::server {

struct TFakeSink final : TSessionSink {
    std::vector<TPacket> got;
    bool ended = false;
    std::string reason;
    // Bytes the service may queue before the test drains; each message
    // takes its size off (SIZE_MAX: never full).
    size_t room = SIZE_MAX;
    size_t Room() const override { return room; }
    void Deliver(const TWireRef& wire) override {
        if (room != SIZE_MAX)
            room -= std::min<size_t>(room, wire.Size());
        TPacket p;
        ClearPacket(p);
        std::memcpy(p.bytes, wire.Bytes(), wire.Size());
        EXPECT_GE(DecodePacket(p), 0);
        got.push_back(p);
    }
    void EndSession(std::string_view why) override {
        ended = true;
        reason = why;
    }
    std::vector<TPacket> Take(uint8_t type) {
        std::vector<TPacket> out;
        for (const TPacket& p : got)
            if (p.Type() == type)
                out.push_back(p);
        got.clear();
        return out;
    }
};

// Holds password checks until the test answers them.
struct TDeferredVerifier : TPasswordVerifier {
    std::vector<TPasswordCheck> waiting;
    bool Verify(TPasswordCheck check) override {
        waiting.push_back(std::move(check));
        return true;
    }
    // Answers even abandoned checks: the service must cope with late answers.
    void RunAll() {
        auto run = std::move(waiting);
        for (auto& check : run)
            check.done(VerifyPassword(check.hash, check.password));
    }
};

class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = std::filesystem::temp_directory_path() /
               ("navlet-service-test-" + std::to_string(::getpid()) + ".db");
        std::filesystem::remove(path);
        std::string error;
        store = TStore::Open(path.string(), error);
        ASSERT_TRUE(store) << error;
    }
    void TearDown() override {
        service.reset();
        store.reset();
        std::filesystem::remove(path);
    }
    void Make(TBannerSet banners, TUpdateSet updates = {}) {
        TServiceConfig config;
        config.bannerIntervalMs = 1000;
        service = std::make_unique<TService>(*store, clock, verifier, std::move(banners),
                                             std::move(updates), config);
    }
    void SignIn(TClient& client, const std::string& nick, const std::string& site,
                TTextCode code = TTextCode::Cp1252) {
        if (!service->FindAccountByNick(nick)) {
            ASSERT_EQ(store->AddAccount(nick, "pw", 'x', 3), TAddAccountResult::Added);
        }
        TLoginRequest login;
        login.nick = nick;
        login.password = "pw";
        login.site = site;
        login.languageMask = 0xFFFFFFFF;
        login.code = code;
        service->Login(client, login);
        verifier.RunAll();
        ASSERT_TRUE(client.SignedIn());
    }
    std::filesystem::path path;
    std::unique_ptr<TStore> store;
    TManualClock clock;
    TDeferredVerifier verifier;
    std::unique_ptr<TService> service;
};

} // namespace navlet::server
