// The bar's self-update requests, answered from the module files the
// operator offers now; a download under way goes on from the file it began
// with.
#pragma once

#include "protocol/requests.h"
#include "server/core/client.h"
#include "server/core/updates.h"

namespace navlet::server {

class TUpdateDesk {
  public:
    explicit TUpdateDesk(TUpdateSet set) : set(std::move(set)) {}

    const TUpdateSet& Set() const { return set; }
    // Later answers offer the new set; a bar in the middle of an older
    // version's download is offered the newer one from its start.
    void Replace(TUpdateSet newer) { set = std::move(newer); }
    // Answers with one chunk, or with "nothing newer".
    void Request(TClient& client, const TUpdateRequest& request) const;

  private:
    TUpdateSet set;
};

} // namespace navlet::server
