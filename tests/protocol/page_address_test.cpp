#include <gtest/gtest.h>

#include "protocol/page_address.h"

namespace navlet {
namespace {

TEST(PageAddress, QueriesFragmentsAndUserPartsNeverLeave) {
    const std::pair<const char*, const char*> cases[] = {
        {"www.example.com/reset?token=S3CRET", "www.example.com/reset"},
        {"www.example.com/app#access_token=S3CRET", "www.example.com/app"},
        {"www.example.com/a#x?y", "www.example.com/a"},
        {"www.example.com?q=1", "www.example.com"},
        {"alice:S3CRET@www.example.com/news", "www.example.com/news"},
        {"alice@www.example.com", "www.example.com"},
        // A password may itself hold an '@': the host follows the last one.
        {"alice:p@ss@www.example.com/", "www.example.com/"},
        {"alice:pw@www.example.com/x?u=bob@mail.example", "www.example.com/x"},
    };
    for (const auto& [address, cut] : cases)
        EXPECT_EQ(CutPageAddress(address), cut) << address;
}

TEST(PageAddress, AnAtInThePathIsThePagesOwn) {
    EXPECT_EQ(CutPageAddress("medium.example/@alice/post"), "medium.example/@alice/post");
    EXPECT_EQ(CutPageAddress("www.example.com/plain"), "www.example.com/plain");
    EXPECT_EQ(CutPageAddress(""), "");
    EXPECT_EQ(CutPageAddress("?only=query"), "");
}

} // namespace
} // namespace navlet
