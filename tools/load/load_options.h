// navlet-load's command line. Every run is bounded: session count, sites,
// rate, duration and the number of connections opened at once all have limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace navlet::load {

inline constexpr int MAX_SESSIONS = 20000;
inline constexpr double MAX_RATE = 100.0;     // lines per bot per second
inline constexpr double MAX_DURATION = 600.0; // seconds of chat
inline constexpr int MAX_LOGIN_WINDOW = 5000;
inline constexpr int MAX_IGNORES = 1000; // the server keeps at most this many per account

struct TLoadOptions {
    std::string server = "127.0.0.1:80"; // session endpoint
    std::string web;                     // ADDR:PORT of the web site for --create-accounts
    int sessions = 100;
    int sites = 1;
    int firstBot = 0; // bots are PREFIX + 5-digit index from here
    std::string prefix = "bot";
    std::string password = "loadpw";
    bool createAccounts = false; // sign the bots up through the web site first
    bool createOnly = false;     // and then stop
    double rate = 0;             // chat lines per bot per second; 0 = stay idle
    double duration = 10;        // seconds of chat (or of idling after sign-in)
    double signInTimeout = 120;  // seconds for every bot to sign in
    int loginWindow = 200;       // connections not yet signed in at once
    int sourceAddresses = 64;    // bots bind 127.0.0.2 ... so one address holds few
    int textLength = 40;         // bytes of each chat line (stamp + padding)
    int serverPid = 0;           // memory, CPU and write counts of this process
    std::string traceWrites;     // file for `strace -c` of the server during chat
    std::string wsPath;          // not empty: sessions over WebSocket at this path
    // Sessions over TLS (a terminator in front of the server), the server's
    // certificate verified against caFile for tlsName (default: --server's address).
    bool tls = false;
    std::string caFile;
    std::string tlsName;
    int proxyPid = 0; // memory and CPU of this process and its children (nginx)
    // Each bot ignores the accounts with ids ignoreFirstId ... + ignores - 1
    // before the chat, so the fan-out meets full ignore lists.
    int ignores = 0;
    int64_t ignoreFirstId = 0;
    bool help = false;
    bool version = false;
};

// Parses argv; nothing, with `error` set, on an unknown option or a value out of bounds.
std::optional<TLoadOptions> ParseLoadOptions(const std::vector<std::string>& args,
                                             std::string& error);
std::string LoadUsage();

// The nick of bot `index`: prefix followed by five digits ("bot00042").
std::string BotNick(const TLoadOptions& options, int index);
// The page bot `index` reports: one host per site ("site3.load.test/index.html").
std::string BotSite(int index, int sites);

} // namespace navlet::load
