// A cluster link for tests of one node's subsystems: Redis is up, but no
// other node holds anything, listens or answers with a count. A test
// overrides what its other nodes do.
#pragma once

#include "server/core/local_link.h"

namespace navlet::server {

class TQuietLink : public TLocalLink {
  public:
    TClusterStatus status{true, 2, "here"};
    TClusterStatus Status() const override { return status; }
    // Unlike a node alone, a user unknown here may be signed in elsewhere.
    int CountBeforeOthers(int here) const override { return TClusterLink::CountBeforeOthers(here); }
};

} // namespace navlet::server
