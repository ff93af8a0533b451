// The --cluster address, checked before a node connects.
#include <gtest/gtest.h>

#include "server/cluster/redis_link.h"

namespace navlet::server {
namespace {

TEST(ClusterFields, RedisAddresses) {
    TRedisAddress a;
    ASSERT_TRUE(ParseRedisAddress("redis://10.0.0.5:6380/2", a));
    EXPECT_EQ(a.host, "10.0.0.5");
    EXPECT_EQ(a.port, 6380);
    EXPECT_EQ(a.db, 2);
    ASSERT_TRUE(ParseRedisAddress("redis://cache.example", a));
    EXPECT_EQ(a.port, 6379);
    EXPECT_EQ(a.db, 0);
    for (const char* bad :
         {"cache:6379", "redis://", "redis://h:0", "redis://h:70000", "redis://h:63x9",
          "redis://h:6379/", "redis://h:6379/abc", "redis://user@h:6379"})
        EXPECT_FALSE(ParseRedisAddress(bad, a)) << bad;
}

} // namespace
} // namespace navlet::server
