#include "tools/load/load_options.h"

#include <charconv>
#include <cstdio>

namespace navlet::load {
namespace {

template <typename T> bool ParseNumber(const std::string& text, T& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool InRange(double value, double low, double high) {
    return value >= low && value <= high;
}

// Applies one option with its value; false with `error` set when it does not fit.
bool Apply(TLoadOptions& o, const std::string& name, const std::string& value, std::string& error) {
    auto number = [&](auto& field, double low, double high) {
        if (!ParseNumber(value, field) || !InRange(double(field), low, high)) {
            error = name + " takes a number from " + std::to_string(low) + " to " +
                    std::to_string(high);
            return false;
        }
        return true;
    };
    if (name == "--server")
        o.server = value;
    else if (name == "--web")
        o.web = value;
    else if (name == "--prefix")
        o.prefix = value;
    else if (name == "--password")
        o.password = value;
    else if (name == "--trace-writes")
        o.traceWrites = value;
    else if (name == "--ca")
        o.caFile = value;
    else if (name == "--tls-name")
        o.tlsName = value;
    else if (name == "--ws") {
        if (value.empty() || value.front() != '/' || value.size() > 200 ||
            value.find_first_of(" \r\n") != std::string::npos) {
            error = "--ws takes a path such as /session";
            return false;
        }
        o.wsPath = value;
    } else if (name == "--sessions")
        return number(o.sessions, 1, MAX_SESSIONS);
    else if (name == "--sites")
        return number(o.sites, 1, MAX_SESSIONS);
    else if (name == "--first-bot")
        return number(o.firstBot, 0, 99999);
    else if (name == "--rate")
        return number(o.rate, 0, MAX_RATE);
    else if (name == "--duration")
        return number(o.duration, 0, MAX_DURATION);
    else if (name == "--signin-timeout")
        return number(o.signInTimeout, 1, MAX_DURATION);
    else if (name == "--login-window")
        return number(o.loginWindow, 1, MAX_LOGIN_WINDOW);
    else if (name == "--sources")
        return number(o.sourceAddresses, 1, 250);
    else if (name == "--text-length")
        return number(o.textLength, 24, 230);
    else if (name == "--server-pid")
        return number(o.serverPid, 1, 1 << 30);
    else if (name == "--proxy-pid")
        return number(o.proxyPid, 1, 1 << 30);
    else if (name == "--ignores")
        return number(o.ignores, 0, MAX_IGNORES);
    else if (name == "--ignore-first-id")
        return number(o.ignoreFirstId, 1, double(int64_t(1) << 40));
    else {
        error = "unknown option " + name;
        return false;
    }
    return true;
}

} // namespace

std::optional<TLoadOptions> ParseLoadOptions(const std::vector<std::string>& args,
                                             std::string& error) {
    TLoadOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--version") {
            options.version = true;
            return options;
        }
        if (arg == "--tls") {
            options.tls = true;
            continue;
        }
        if (arg == "--create-accounts" || arg == "--create-only") {
            options.createAccounts = true;
            options.createOnly = options.createOnly || arg == "--create-only";
            continue;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (!Apply(options, arg, args[++i], error))
            return std::nullopt;
    }
    if (options.sites > options.sessions) {
        error = "--sites cannot exceed --sessions";
        return std::nullopt;
    }
    if (options.firstBot + options.sessions > 100000) {
        error = "bot numbers run out past 99999";
        return std::nullopt;
    }
    if (options.prefix.empty() || options.prefix.size() > 10) {
        error = "--prefix takes 1 to 10 characters (the nick adds five digits)";
        return std::nullopt;
    }
    if (options.password.empty() || options.password.size() > 15) {
        error = "--password takes 1 to 15 characters";
        return std::nullopt;
    }
    if (options.ignores > 0 && options.ignoreFirstId == 0) {
        error = "--ignores needs --ignore-first-id ID";
        return std::nullopt;
    }
    // Without a CA there is nothing to verify the server against, and a
    // bench that trusts any certificate would not pay for the verification.
    if (options.tls && options.caFile.empty()) {
        error = "--tls needs --ca FILE";
        return std::nullopt;
    }
    if (!options.tls && (!options.caFile.empty() || !options.tlsName.empty())) {
        error = "--ca and --tls-name go with --tls";
        return std::nullopt;
    }
    if (options.createAccounts && options.web.empty()) {
        error = "--create-accounts needs --web ADDR:PORT";
        return std::nullopt;
    }
    return options;
}

std::string BotNick(const TLoadOptions& options, int index) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05d", (options.firstBot + index) % 100000);
    return options.prefix + digits;
}

std::string BotSite(int index, int sites) {
    // The bar reports addresses without their scheme and without a final "/".
    return "site" + std::to_string(index % sites) + ".load.test/index.html";
}

std::string LoadUsage() {
    return R"(Usage: navlet-load [options]

A bounded load of protocol bots against navlet-server on this machine. Bot i
signs in as PREFIX followed by five digits (bot00000, bot00001, ...) with one
shared password, on site i mod SITES (siteK.load.test), then chats in the site's public chat.

  --server ADDR:PORT     session endpoint (127.0.0.1:80); with --ws the web site
  --ws PATH              sessions over WebSocket at PATH (/session) of --server
  --tls                  sessions over TLS (with --ws: wss), e.g. through nginx
  --ca FILE              the CA that the server's certificate must chain to
  --tls-name NAME        the name the certificate must hold (--server's address)
  --sessions N           bots, 1 to 20000 (100)
  --sites S              sites the bots spread over (1)
  --prefix P             nick prefix, 1 to 10 characters (bot)
  --first-bot K          number of the first bot (0)
  --password PW          the bots' password (loadpw)
  --create-accounts      sign the bots up first through the web site
  --create-only          sign the bots up and stop
  --web ADDR:PORT        the web site for --create-accounts
  --rate R               chat lines per bot per second, 0 to 100 (0: idle)
  --duration SECONDS     length of the chat (or idle) phase, up to 600 (10)
  --signin-timeout SEC   time allowed for all bots to sign in (120)
  --login-window N       connections not yet signed in at once (200)
  --sources K            source addresses 127.0.0.2 ... used by the bots (64)
  --text-length N        bytes per chat line, 24 to 230 (40)
  --ignores N            before the chat each bot ignores N accounts, 0 to 1000 (0)
  --ignore-first-id ID   the first of those accounts' ids (they follow in order;
                         best accounts that are not among the bots, so that
                         every line still reaches every bot)
  --server-pid PID       report the server's memory per session, CPU and
                         write calls per delivered line
  --proxy-pid PID        report also the memory and CPU of PID and its children
                         (nginx's master and workers), apart from the server's
  --trace-writes FILE    count the server's write calls with strace during chat
  --version              the version and the commit it was built from

Reports sign-ins per second, presence records received, delivered lines per
second, delivery latency p50/p99 (send time carried in each line), and with
--server-pid the server's resident memory per signed-in session and the
kernel's TCP memory (both ends of every loopback connection) apart. With
--tls, TLS handshakes that failed (a certificate not verified, a terminator
that closed) are counted apart from the sign-ins refused.
)";
}

} // namespace navlet::load
