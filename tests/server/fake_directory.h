// A directory for tests of one subsystem: the accounts and sessions the test
// puts in by hand, and nothing read from a store.
#pragma once

#include <unordered_map>

#include "server/core/directory.h"

namespace navlet::server {

struct TFakeDirectory : TDirectory {
    std::unordered_map<uint64_t, TAccountEntry*> accounts; // by id
    std::unordered_map<uint64_t, TClient*> live;           // by serial

    TAccountEntry* CachedById(uint64_t id) override {
        auto it = accounts.find(id);
        return it == accounts.end() ? nullptr : it->second;
    }
    TAccountEntry* CachedByNick(std::string_view) override { return nullptr; }
    void Remember(TAccount) override {}
    void ReadAccount(std::string_view, TWithFriends,
                     std::function<void(TStoredAccount)> done) override {
        done({});
    }
    TClient* LiveClient(uint64_t serial) override {
        auto it = live.find(serial);
        return it == live.end() ? nullptr : it->second;
    }
};

} // namespace navlet::server
