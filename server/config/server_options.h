// navlet-server's settings as the operator gives them: a configuration file
// (config_file.h) and flags over it, both spelling the same options (the
// flag --max-per-address is the key max_per_address). One table knows every
// option, how to read it and whether a running server can take a new value.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "server/log/log.h"
#include "server/server.h"

namespace navlet::server::config {

// Read when --config is not given, if it exists.
inline constexpr const char* DEFAULT_CONFIG_PATH = "/etc/navlet/navlet-server.conf";

struct TServerOptions {
    TServerConfig config;               // the folders below are filled in by ToServerConfig
    std::string dataDir;                // empty: $XDG_DATA_HOME/navlet or ~/.local/share/navlet
    std::string database;               // empty: DATA/navlet.db
    std::string updatesDir, bannersDir; // empty: DATA/updates, DATA/banners
    log::TLevel logLevel = log::TLevel::Info;
    log::TFormat logFormat = log::TFormat::Text;
    std::string databasePasswordFile, redisPasswordFile;
    // Read from the files above or the environment; never logged, never shown.
    std::string databasePassword, redisPassword;
    std::string configPath; // the file read; empty: none
    // Things the operator should hear about once the log is set up.
    std::vector<std::string> warnings;
};

// What the command line says, before any file is read.
struct TCommandLine {
    std::string configPath; // --config; "" with configGiven: no file at all
    bool configGiven = false;
    std::vector<std::pair<std::string, std::string>> flags; // key spelling, value
    std::vector<std::string> rest; // a command (account add ...) and its words
};

// Splits argv (without --help and --version, which main answers first).
// False with `error` for a flag without its value.
bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& out, std::string& error);

// The file the command line names (an error when it cannot be read), or the
// default file when it exists, then the flags over it, then the passwords
// from their files or the environment. False with `error` naming the file
// and line or the flag.
bool ResolveOptions(const TCommandLine& line, TServerOptions& out, std::string& error);

// Applies one option (key spelling) to `out`. `fresh` is set of the list
// options this source has given already: a list given again by a later
// source (the flags after the file) starts over. False with `error`.
bool SetOption(const std::string& key, const std::string& value, TServerOptions& out,
               std::vector<std::string>& fresh, std::string& error);

// The server's configuration with every default folder filled in.
TServerConfig ToServerConfig(const TServerOptions& options);

// A password file's text without its final line break. It must be a regular
// file that neither its group nor others may read; false with `error`.
bool ReadSecretFile(const std::string& path, std::string& out, std::string& error);

// What a reload does with `next`: the keys whose new value the running
// server takes (compared with what it runs now) and those it keeps until a
// restart (compared with what it started with).
struct TReloadPlan {
    std::vector<std::string> live;
    std::vector<std::string> restart;
};
TReloadPlan PlanReload(const TServerOptions& started, const TServerOptions& running,
                       const TServerOptions& next);

// Every key the file takes, in the order of --help.
std::vector<std::string> OptionKeys();

} // namespace navlet::server::config
