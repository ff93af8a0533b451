#include "server/config/server_options.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "server/config/config_file.h"
#include "server/core/restriction_rules.h"

namespace navlet::server::config {

bool ParseCount(const std::string& text, long max, long& out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 0 || v > max)
        return false;
    out = v;
    return true;
}

namespace {

bool ParsePositive(const std::string& text, long max, long& out) {
    return ParseCount(text, max, out) && out > 0;
}

std::string Join(const std::vector<std::string>& values) {
    std::string all;
    for (const std::string& v : values)
        all += (all.empty() ? "" : ",") + v;
    return all;
}

enum class TShape { Single, List };
enum class TChange { Live, Restart };

struct TOption {
    const char* key;
    TShape shape;
    TChange change;
    // False when `value` is not one this option takes.
    bool (*set)(TServerOptions& o, const std::string& value);
    // The value as compared across a reload.
    std::string (*show)(const TServerOptions& o);
    // A list option given again by a later source starts over.
    void (*clear)(TServerOptions& o) = nullptr;
};

using S = TServerOptions;

const TOption OPTIONS[] = {
    {"listen", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.config.listen = v, !v.empty(); },
     [](const S& o) { return o.config.listen; }},
    {"web", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.config.web = v, true; },
     [](const S& o) { return o.config.web; }},
    {"ws_origin", TShape::List, TChange::Live,
     [](S& o, const std::string& v) { return o.config.wsOrigins.push_back(v), !v.empty(); },
     [](const S& o) { return Join(o.config.wsOrigins); }, [](S& o) { o.config.wsOrigins.clear(); }},
    {"admin", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.config.admin = v, true; },
     [](const S& o) { return o.config.admin; }},
    {"admin_allow", TShape::List, TChange::Restart,
     [](S& o, const std::string& v) {
         TAddressRange range;
         return ParseAddressRange(v, range) && (o.config.adminAllow.push_back(v), true);
     },
     [](const S& o) { return Join(o.config.adminAllow); },
     [](S& o) { o.config.adminAllow.clear(); }},
    {"data", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.dataDir = v, !v.empty(); },
     [](const S& o) { return o.dataDir; }},
    {"database", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.database = v, true; },
     [](const S& o) { return o.database; }},
    {"database_password_file", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.databasePasswordFile = v, true; },
     [](const S& o) { return o.databasePasswordFile; }},
    {"cluster", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.config.cluster.redis = v, true; },
     [](const S& o) { return o.config.cluster.redis; }},
    {"redis_password_file", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.redisPasswordFile = v, true; },
     [](const S& o) { return o.redisPasswordFile; }},
    {"cluster_ttl", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) {
         long n = 0;
         if (!ParsePositive(v, 600, n))
             return false;
         o.config.cluster.ttl = std::chrono::seconds(n);
         o.config.cluster.heartbeat = std::chrono::milliseconds(n * 200);
         return true;
     },
     [](const S& o) { return std::to_string(o.config.cluster.ttl.count()); }},
    {"updates", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.updatesDir = v, true; },
     [](const S& o) { return o.updatesDir; }},
    {"banners", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) { return o.bannersDir = v, true; },
     [](const S& o) { return o.bannersDir; }},
    {"banner_interval", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         return ParsePositive(v, 86400, n) && (o.config.service.bannerIntervalMs = n * 1000, true);
     },
     [](const S& o) { return std::to_string(o.config.service.bannerIntervalMs); }},
    {"max_per_address", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         return ParsePositive(v, 1000000, n) && (o.config.limits.maxPerAddress = size_t(n), true);
     },
     [](const S& o) { return std::to_string(o.config.limits.maxPerAddress); }},
    {"max_signing_in_per_address", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         return ParsePositive(v, 1000000, n) &&
                (o.config.limits.maxSigningInPerAddress = size_t(n), true);
     },
     [](const S& o) { return std::to_string(o.config.limits.maxSigningInPerAddress); }},
    {"web_max_per_address", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         return ParsePositive(v, 100000, n) &&
                (o.config.webLimits.http.maxPerAddress = size_t(n), true);
     },
     [](const S& o) { return std::to_string(o.config.webLimits.http.maxPerAddress); }},
    {"web_signups_per_address", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         if (!ParsePositive(v, 1000000, n))
             return false;
         o.config.webLimits.signUps.perAddressBurst = double(n);
         o.config.webLimits.signUps.perAddressEvery = std::chrono::seconds(std::max(1L, 60 / n));
         return true;
     },
     [](const S& o) { return std::to_string(o.config.webLimits.signUps.perAddressBurst); }},
    {"web_signups_per_second", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) {
         long n = 0;
         if (!ParsePositive(v, 1000000, n))
             return false;
         o.config.webLimits.signUps.totalPerSecond = double(n);
         o.config.webLimits.signUps.totalBurst = std::max(20.0, double(n));
         return true;
     },
     [](const S& o) { return std::to_string(o.config.webLimits.signUps.totalPerSecond); }},
    {"trusted_proxy", TShape::List, TChange::Live,
     [](S& o, const std::string& v) {
         std::error_code ec;
         asio::ip::address address = asio::ip::make_address(v, ec);
         if (!ec)
             o.config.webLimits.http.trustedProxies.push_back(address);
         return !ec;
     },
     [](const S& o) {
         std::vector<std::string> all;
         for (const auto& a : o.config.webLimits.http.trustedProxies)
             all.push_back(a.to_string());
         return Join(all);
     },
     [](S& o) { o.config.webLimits.http.trustedProxies.clear(); }},
    {"password_threads", TShape::Single, TChange::Restart,
     [](S& o, const std::string& v) {
         long n = 0;
         return ParseCount(v, 64, n) && (o.config.passwords.threads = size_t(n), true);
     },
     [](const S& o) { return std::to_string(o.config.passwords.threads); }},
    {"log_level", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) { return log::ParseLevel(v, o.logLevel); },
     [](const S& o) { return std::string(log::LevelName(o.logLevel)); }},
    {"log_format", TShape::Single, TChange::Live,
     [](S& o, const std::string& v) { return log::ParseFormat(v, o.logFormat); },
     [](const S& o) { return std::string(o.logFormat == log::TFormat::Json ? "json" : "text"); }},
};

const TOption* FindOption(const std::string& key) {
    for (const TOption& option : OPTIONS)
        if (key == option.key)
            return &option;
    return nullptr;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream all;
    all << in.rdbuf();
    out = all.str();
    return true;
}

// From `file` when one is named, else from the environment variable.
bool ReadPassword(const std::string& file, const char* variable, std::string& out,
                  std::string& error) {
    if (!file.empty())
        return ReadSecretFile(file, out, error);
    const char* value = std::getenv(variable);
    out = value ? value : "";
    return true;
}

std::string DefaultDataDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::string(xdg) + "/navlet";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/navlet";
    return "navlet-data";
}

} // namespace

bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!out.rest.empty() || arg.rfind("--", 0) != 0) {
            out.rest.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--config") {
            out.configPath = value;
            out.configGiven = true;
            continue;
        }
        std::string key = arg.substr(2);
        std::replace(key.begin(), key.end(), '-', '_');
        out.flags.emplace_back(std::move(key), value);
    }
    return true;
}

bool SetOption(const std::string& key, const std::string& value, TServerOptions& out,
               std::vector<std::string>& fresh, std::string& error) {
    const TOption* option = FindOption(key);
    if (!option) {
        error = "unknown option " + key;
        return false;
    }
    if (option->shape == TShape::List &&
        std::find(fresh.begin(), fresh.end(), key) == fresh.end()) {
        option->clear(out);
        fresh.push_back(key);
    }
    if (!option->set(out, value)) {
        error = "bad value for " + key + ": " + value;
        return false;
    }
    return true;
}

bool ResolveOptions(const TCommandLine& line, TServerOptions& out, std::string& error) {
    std::string path = line.configGiven ? line.configPath : "";
    if (!line.configGiven) {
        struct stat st {};
        if (::stat(DEFAULT_CONFIG_PATH, &st) == 0)
            path = DEFAULT_CONFIG_PATH;
    }
    out.configPath = path;
    if (!path.empty()) {
        std::string text;
        std::vector<TConfigEntry> entries;
        if (!ReadWholeFile(path, text, error))
            return false;
        if (!ParseConfigText(text, entries, error)) {
            error = path + " " + error;
            return false;
        }
        std::vector<std::string> fresh, seen;
        for (const TConfigEntry& entry : entries) {
            const TOption* option = FindOption(entry.key);
            bool again = std::find(seen.begin(), seen.end(), entry.key) != seen.end();
            if (option && option->shape == TShape::Single && again) {
                error = path + " line " + std::to_string(entry.line) + ": " + entry.key +
                        " is set twice";
                return false;
            }
            seen.push_back(entry.key);
            if (!SetOption(entry.key, entry.value, out, fresh, error)) {
                error = path + " line " + std::to_string(entry.line) + ": " + error;
                return false;
            }
        }
    }
    std::vector<std::string> fresh;
    for (const auto& [key, value] : line.flags) {
        if (!SetOption(key, value, out, fresh, error)) {
            std::string flag = key;
            std::replace(flag.begin(), flag.end(), '_', '-');
            error = "bad option --" + flag + " " + value;
            return false;
        }
        if (key == "database" && DatabaseName(value) != value)
            out.warnings.push_back(
                "the database password is on the command line, where every local user "
                "reads it: use database_password_file or NAVLET_DATABASE_PASSWORD");
        if (key == "cluster" && value.find('@') != std::string::npos)
            out.warnings.push_back(
                "the Redis password is on the command line, where every local user "
                "reads it: use redis_password_file or NAVLET_REDIS_PASSWORD");
    }
    if (!ReadPassword(out.databasePasswordFile, "NAVLET_DATABASE_PASSWORD", out.databasePassword,
                      error) ||
        !ReadPassword(out.redisPasswordFile, "NAVLET_REDIS_PASSWORD", out.redisPassword, error))
        return false;
    return true;
}

TServerConfig ToServerConfig(const TServerOptions& options) {
    TServerConfig config = options.config;
    config.dataDir = options.dataDir.empty() ? DefaultDataDir() : options.dataDir;
    config.database = options.database;
    config.cluster.password = options.redisPassword;
    config.updatesDir =
        options.updatesDir.empty() ? config.dataDir + "/updates" : options.updatesDir;
    config.bannersDir =
        options.bannersDir.empty() ? config.dataDir + "/banners" : options.bannersDir;
    return config;
}

bool ReadSecretFile(const std::string& path, std::string& out, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read the password file " + path;
        return false;
    }
    if (st.st_mode & (S_IRGRP | S_IROTH)) {
        error = "the password file " + path +
                " may be read by its group or others: make it readable by its owner only "
                "(chmod 600)";
        return false;
    }
    std::string text;
    if (!ReadWholeFile(path, text, error))
        return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty() || text.find('\n') != std::string::npos) {
        error = "the password file " + path + " must hold one line, the password";
        return false;
    }
    out = std::move(text);
    return true;
}

TReloadPlan PlanReload(const TServerOptions& started, const TServerOptions& running,
                       const TServerOptions& next) {
    TReloadPlan plan;
    for (const TOption& option : OPTIONS) {
        const TServerOptions& before = option.change == TChange::Live ? running : started;
        if (option.show(before) == option.show(next))
            continue;
        (option.change == TChange::Live ? plan.live : plan.restart).push_back(option.key);
    }
    // Connections already open keep the old password; new ones would mix.
    if (started.databasePassword != next.databasePassword)
        plan.restart.push_back("database_password");
    if (started.redisPassword != next.redisPassword)
        plan.restart.push_back("redis_password");
    return plan;
}

std::vector<std::string> OptionKeys() {
    std::vector<std::string> keys;
    for (const TOption& option : OPTIONS)
        keys.push_back(option.key);
    return keys;
}

} // namespace navlet::server::config
