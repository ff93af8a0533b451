// What the nodes read from Redis: their message fields and the --cluster
// address, both checked before use.
#include <gtest/gtest.h>

#include "server/cluster/fields.h"
#include "server/cluster/redis_link.h"

namespace navlet::server {
namespace {

TEST(ClusterFields, RoundTripAnyBytesAndRefuseMalformedText) {
    std::vector<std::string> fields{"line", "", std::string("a\0b:9", 5), "caf\xe9 12:x"};
    std::vector<std::string> back;
    ASSERT_TRUE(UnpackFields(PackFields(fields), back));
    EXPECT_EQ(back, fields);
    ASSERT_TRUE(UnpackFields("", back));
    EXPECT_TRUE(back.empty());

    for (std::string bad : {"3:ab", "x:a", "2ab", ":ab", "99999999999:a", "1:a1"})
        EXPECT_FALSE(UnpackFields(bad, back)) << bad;
    EXPECT_FALSE(UnpackFields(std::string(MAX_CLUSTER_MESSAGE + 1, '0'), back));
    EXPECT_FALSE(
        UnpackFields(PackFields(std::vector<std::string>(MAX_CLUSTER_FIELDS + 1, "f")), back));
}

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
