// The cluster link of a node alone: nobody else to tell, nobody else to ask.
// The subsystems talk to it as to a cluster's, so that their code paths are
// the same on one node and on many. Tests derive from it to play other nodes.
#pragma once

#include "server/core/cluster_link.h"

namespace navlet::server {

class TLocalLink : public TClusterLink {
  public:
    void AccountSessions(uint64_t, const TNodeSessions&) override {}
    void WhereIs(uint64_t, std::function<void(std::vector<TNodeSessions>)> done) override {
        done({});
    }
    void ToNode(const std::string&, const cluster::TNodeMessage&,
                std::function<void(bool)> delivered) override {
        if (delivered)
            delivered(false);
    }
    void SessionSite(uint64_t, const TAccount*, const std::string&) override {}
    void ListUsers(std::function<void(std::vector<cluster::TSessionRecord>)> done) override {
        done({});
    }
    void CallElsewhere(const cluster::TCall&, std::function<void(TCallReach)> done) override {
        done(TCallReach::Nobody);
    }
    void OperatorLine(int, const std::string&, uint64_t, uint8_t, const std::string&,
                      TReachedFn reached) override {
        if (reached)
            reached(-1);
    }
    void KickElsewhere(int, const std::string&, TReachedFn reached) override {
        if (reached)
            reached(-1);
    }
    void Entered(const std::string&, const TAccount&, uint8_t) override {}
    void Left(const std::string&, uint64_t) override {}
    void PublicLine(const std::string&, uint64_t, int, const std::string&,
                    const std::string&) override {}
    void SiteSnapshot(const std::string&, std::function<void(TSiteSnapshot)> done) override {
        done({});
    }
    void FriendState(const TAccount&, bool) override {}
    std::optional<std::vector<TSiteCount>> BusiestSites(size_t) const override {
        return std::nullopt;
    }
    TClusterStatus Status() const override { return TClusterStatus{false, 1, {}}; }
    // Alone, a user unknown here is unknown everywhere.
    int CountBeforeOthers(int here) const override { return here; }
};

} // namespace navlet::server
