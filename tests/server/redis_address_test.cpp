// The --cluster address, checked before a node connects.
#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_TRUE(a.user.empty() && a.password.empty());
    for (const char* bad :
         {"cache:6379", "redis://", "redis://h:0", "redis://h:70000", "redis://h:63x9",
          "redis://h:6379/", "redis://h:6379/abc", "redis://@h:6379", "redis://:@h", "redis://u:@h",
          "redis://u:p%4@h", "redis://u:p%zz@h", "redis://u:p@"})
        EXPECT_FALSE(ParseRedisAddress(bad, a)) << bad;
}

// A password may hold anything a URL escapes, and '@' and ':' even bare.
TEST(ClusterFields, RedisCredentials) {
    TRedisAddress a;
    ASSERT_TRUE(ParseRedisAddress("redis://:s3cret@10.0.0.5:6380/2", a));
    EXPECT_EQ(a.user, "");
    EXPECT_EQ(a.password, "s3cret");
    EXPECT_EQ(a.host, "10.0.0.5");
    EXPECT_EQ(a.port, 6380);
    ASSERT_TRUE(ParseRedisAddress("redis://node%2D1:p%40ss%3Aw@rd:x@cache.example/1", a));
    EXPECT_EQ(a.user, "node-1");
    EXPECT_EQ(a.password, "p@ss:w@rd:x");
    EXPECT_EQ(a.host, "cache.example");
    EXPECT_EQ(a.db, 1);
    ASSERT_TRUE(ParseRedisAddress("redis://navlet@h", a));
    EXPECT_EQ(a.user, "navlet");
    EXPECT_EQ(a.password, "");
}

// The password comes from the address, else the configuration, else the
// environment; it never shows in a name or an error.
TEST(ClusterFields, RedisPasswordSourcesAndNames) {
    ::unsetenv("NAVLET_REDIS_PASSWORD");
    TRedisAddress a;
    std::string error;
    EXPECT_FALSE(ResolveRedisAddress("redis://navlet@h", "", a, error));
    EXPECT_NE(error.find("navlet"), std::string::npos);
    ASSERT_TRUE(ResolveRedisAddress("redis://h", "", a, error));
    EXPECT_EQ(a.password, "");
    ::setenv("NAVLET_REDIS_PASSWORD", "from-env", 1);
    ASSERT_TRUE(ResolveRedisAddress("redis://navlet@h", "", a, error));
    EXPECT_EQ(a.password, "from-env");
    ASSERT_TRUE(ResolveRedisAddress("redis://navlet@h", "from-file", a, error));
    EXPECT_EQ(a.password, "from-file");
    ASSERT_TRUE(ResolveRedisAddress("redis://navlet:in-url@h", "from-file", a, error));
    EXPECT_EQ(a.password, "in-url");
    ::unsetenv("NAVLET_REDIS_PASSWORD");

    EXPECT_EQ(RedisAddressName(a), "redis://navlet:***@h:6379/0");
    ASSERT_TRUE(ParseRedisAddress("redis://:hush@h:7/3", a));
    EXPECT_EQ(RedisAddressName(a), "redis://:***@h:7/3");
    EXPECT_FALSE(ResolveRedisAddress("redis://:hush@h:port", "", a, error));
    EXPECT_EQ(error.find("hush"), std::string::npos) << error;
}

} // namespace
} // namespace navlet::server
