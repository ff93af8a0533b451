// navlet-admin: command lines into admin lines, and one exchange over a socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "tools/admin/admin_line.h"
#include "tools/admin/admin_session.h"

namespace navlet::admin {
namespace {

std::optional<std::string> Line(std::vector<std::string> words) {
    std::string error;
    auto line = BuildAdminLine(words, error);
    if (!line) {
        EXPECT_FALSE(error.empty());
    }
    return line;
}

TEST(AdminCommand, EveryNoticeKindBuildsItsLine) {
    EXPECT_EQ(Line({"notice", "status", "all", "Back", "at", "10"}),
              "NOTICE STATUS all Back at 10");
    EXPECT_EQ(Line({"notice", "ticker", "site:example.com", "Hi"}),
              "NOTICE TICKER site:example.com Hi");
    EXPECT_EQ(Line({"notice", "buttons", "3", "user:alice", "Join us"}),
              "NOTICE BUTTONS 3 user:alice Join us");
    EXPECT_EQ(Line({"NOTICE", "Console", "all", "x"}), "NOTICE CONSOLE all x");
    // Targets in any case, as the endpoint takes them; the name as typed.
    EXPECT_EQ(Line({"kick", "User:Bob"}), "KICK User:Bob");
    EXPECT_EQ(Line({"reconnect", "ALL"}), "RECONNECT ALL");
}

TEST(AdminCommand, SubCommandsKickAndListings) {
    EXPECT_EQ(Line({"reconnect", "all"}), "RECONNECT all");
    EXPECT_EQ(Line({"update", "site:a.b", "new", "version"}), "UPDATE site:a.b new version");
    EXPECT_EQ(Line({"replytime", "user:bob"}), "REPLYTIME user:bob");
    EXPECT_EQ(Line({"kick", "user:bob"}), "KICK user:bob");
    EXPECT_EQ(Line({"users", "example.com"}), "USERS example.com");
    EXPECT_EQ(Line({"sites"}), "SITES");
    EXPECT_EQ(Line({"reports"}), "REPORTS");
    EXPECT_EQ(Line({"reports", "All"}), "REPORTS All");
    EXPECT_EQ(Line({"report", "12"}), "REPORT 12");
    EXPECT_EQ(Line({"close", "12", "warned", "him"}), "CLOSE 12 warned him");
}

TEST(AdminCommand, MalformedCommandsAreRefusedBeforeConnecting) {
    EXPECT_FALSE(Line({}));
    EXPECT_FALSE(Line({"shout", "all", "x"}));
    EXPECT_FALSE(Line({"notice"}));
    EXPECT_FALSE(Line({"notice", "loud", "all", "x"}));
    EXPECT_FALSE(Line({"notice", "ticker", "all"}));           // no text
    EXPECT_FALSE(Line({"notice", "ticker", "everyone", "x"})); // bad target
    EXPECT_FALSE(Line({"notice", "ticker", "user:", "x"}));
    EXPECT_FALSE(Line({"notice", "buttons", "256", "all", "x"}));
    EXPECT_FALSE(Line({"notice", "buttons", "all", "x"}));
    EXPECT_FALSE(Line({"report"}));
    EXPECT_FALSE(Line({"report", "x"}));
    EXPECT_FALSE(Line({"report", "0"}));
    EXPECT_FALSE(Line({"report", "3", "more"}));
    EXPECT_FALSE(Line({"close", "-1"}));
    EXPECT_FALSE(Line({"reports", "closed"}));
    EXPECT_FALSE(Line({"kick"}));
    EXPECT_FALSE(Line({"kick", "all", "now"}));
    EXPECT_FALSE(Line({"notice", "ticker", "all", "two\nlines"}));
    EXPECT_FALSE(Line({"notice", "ticker", "all", std::string(1100, 'x')}));
}

TEST(AdminCommand, AnswerLinesAreClassified) {
    EXPECT_EQ(ClassifyAnswer("* example.com 3"), TAnswerLine::Data);
    EXPECT_EQ(ClassifyAnswer("OK 2"), TAnswerLine::Ok);
    EXPECT_EQ(ClassifyAnswer("ERR no such user"), TAnswerLine::Error);
    EXPECT_EQ(ClassifyAnswer("OKAY"), TAnswerLine::Other);
}

// Runs Converse against a peer that reads the command and writes `reply`.
struct TExchange {
    int status = -1;
    std::string command, out;
};
TExchange Exchange(const std::string& reply, bool closeAfter = true) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    TExchange result;
    std::thread peer([&] {
        char buffer[2048];
        ssize_t n = ::recv(fds[1], buffer, sizeof buffer, 0);
        if (n > 0)
            result.command.assign(buffer, size_t(n));
        ::send(fds[1], reply.data(), reply.size(), 0);
        if (closeAfter)
            ::shutdown(fds[1], SHUT_WR);
    });
    std::ostringstream out, err;
    result.status = Converse(fds[0], "SITES", out, err);
    peer.join();
    ::close(fds[0]);
    ::close(fds[1]);
    result.out = out.str();
    return result;
}

TEST(AdminSession, PrintsDataLinesUpToTheFinalStatus) {
    TExchange ok = Exchange("* example.com 3\r\n* b.org 1\nOK 2\n* never shown\n");
    EXPECT_EQ(ok.command, "SITES\n");
    EXPECT_EQ(ok.status, EXIT_OK);
    EXPECT_EQ(ok.out, "* example.com 3\n* b.org 1\nOK 2\n");

    EXPECT_EQ(Exchange("ERR no such user\n").status, EXIT_REFUSED);
}

TEST(AdminSession, CutOffOrOversizedAnswersAreReportedAsFailures) {
    EXPECT_EQ(Exchange("* half an answer\n").status, EXIT_UNREACHABLE);
    EXPECT_EQ(Exchange("").status, EXIT_UNREACHABLE);
    EXPECT_EQ(Exchange(std::string(3000, 'x')).status, EXIT_UNREACHABLE);
}

} // namespace
} // namespace navlet::admin
