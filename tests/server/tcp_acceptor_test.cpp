// The one TCP acceptor of every listener: it must outlive running out of
// descriptors (back off, then accept what waited), and per-address counts
// must never wrap when a connection is released twice.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "server/net/tcp_acceptor.h"

namespace navlet::server {
namespace {

using namespace std::chrono_literals;

// Takes every free descriptor under a lowered limit; gives them back and
// restores the limit when it goes.
class TNoDescriptors {
  public:
    TNoDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int i = 0; i < 256; ++i) {
            int fd = dup(0);
            if (fd < 0)
                break;
            held.push_back(fd);
        }
    }
    ~TNoDescriptors() {
        for (int fd : held)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
    }
    void FreeOne() {
        close(held.back());
        held.pop_back();
    }

  private:
    rlimit saved{};
    std::vector<int> held;
};

TEST(TcpAcceptor, BacksOffWhileOutOfDescriptorsThenAcceptsWhatWaited) {
    asio::io_context io;
    TTcpAcceptor acceptor(io);
    int accepted = 0;
    std::error_code ec;
    ASSERT_TRUE(acceptor.Listen(
        {asio::ip::make_address("127.0.0.1"), 0}, 16,
        [&](asio::ip::tcp::socket, const asio::ip::tcp::endpoint& peer) {
            EXPECT_TRUE(peer.address().is_loopback());
            ++accepted;
        },
        ec))
        << ec.message();
    asio::ip::tcp::socket client(io);
    client.open(asio::ip::tcp::v4());
    {
        TNoDescriptors none;
        // The handshake needs no descriptor of ours; the accept does.
        client.connect({asio::ip::make_address("127.0.0.1"), acceptor.Port()}, ec);
        ASSERT_FALSE(ec) << ec.message();
        // Failing accepts are retried a few times, not in a tight loop.
        size_t ran = io.run_for(300ms);
        EXPECT_EQ(accepted, 0);
        EXPECT_LT(ran, 40u);
        none.FreeOne();
        for (int round = 0; round < 20 && accepted == 0; ++round)
            io.run_for(50ms);
        EXPECT_EQ(accepted, 1);
    }
    acceptor.Close();
    io.run_for(10ms);
    EXPECT_EQ(acceptor.Port(), 0);
}

TEST(TcpAcceptor, AddressCountsDropAnAddressAtZeroAndNeverWrap) {
    TAddressCounts counts;
    counts.Take("192.0.2.1");
    counts.Take("192.0.2.1");
    counts.Take("192.0.2.2");
    EXPECT_EQ(counts.Of("192.0.2.1"), 2u);
    EXPECT_EQ(counts.Addresses(), 2u);
    counts.Release("192.0.2.2");
    counts.Release("192.0.2.2"); // a second release of the same end
    counts.Release("198.51.100.1");
    EXPECT_EQ(counts.Of("192.0.2.2"), 0u);
    EXPECT_EQ(counts.Addresses(), 1u);
    counts.Take("192.0.2.2");
    EXPECT_EQ(counts.Of("192.0.2.2"), 1u);
}

} // namespace
} // namespace navlet::server
