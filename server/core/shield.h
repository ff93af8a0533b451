// Ignore and block: whom each account ignores or blocks, kept in the store
// and spread to every node, so that every window of the account, wherever
// it is signed in, holds the same lists. The other desks ask an account's
// entry (TAccountEntry::Hears and Sees) as they deliver; this desk keeps
// those entries right and tells the bars.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/requests.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/store_runner.h"

namespace navlet::server {

// What a change of who sees whom needs of the sites and chats. The front
// implements it.
class TShieldNeighbours {
  public:
    // The viewer's sessions here stop seeing `other` on their sites (and,
    // `leaveChats`, leave the private chats it is in), or see it again.
    virtual void HidePerson(const TAccountEntry& viewer, uint64_t other, bool leaveChats) = 0;
    virtual void RevealPerson(const TAccountEntry& viewer, uint64_t other) = 0;

  protected:
    ~TShieldNeighbours() = default;
};

class TShieldDesk {
  public:
    TShieldDesk(TDirectory& directory, TStore& store, TStoreRunner& runner, TClusterLink& link,
                TShieldNeighbours& neighbours);
    ~TShieldDesk();
    TShieldDesk(const TShieldDesk&) = delete;
    TShieldDesk& operator=(const TShieldDesk&) = delete;
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }
    void SetLink(TClusterLink& l) { link = &l; }

    // The client signed in with the shield its sign-in read. The account's
    // first session here takes it as the account's; the session hears whom
    // the account ignores and blocks (before its welcome, so that the bar
    // shows the marks on its lists at once).
    void SignedIn(TClient& client, std::vector<TShieldEntry> shield, bool cameOnline);
    // Requests 16 (ignore) and 17 (block). A change the store refuses (an
    // unknown user, the list full) changes nothing.
    void Change(TClient& client, uint8_t requestType, const TMarkChangeRequest& request);
    // A change made on another node.
    void RemoteChange(const TAccount& owner, const TAccount& target, uint8_t mark);
    // `owner` now marks `target` so (0, 1 ignore, 2 block), as the store
    // holds it already (the bar's change, or the web site's undo): this
    // node's sessions of the two follow, and every other node's.
    void Marked(const TAccount& owner, const TAccount& target, uint8_t mark);

  private:
    // `owner` now marks `target` so (0, 1 ignore, 2 block): the two entries
    // here follow, the owner's sessions hear it, and who sees whom follows.
    void Apply(const TAccount& owner, const TAccount& target, uint8_t mark);

    TDirectory& directory;
    TStore& store;
    TStoreRunner* runner;
    TClusterLink* link;
    TShieldNeighbours& neighbours;
    std::shared_ptr<bool> alive; // lets late store answers find the desk gone
};

// The mark message (type 16) for the account's bars.
TWireRef MarkWire(uint64_t user, uint8_t mark, const std::string& nick);

} // namespace navlet::server
