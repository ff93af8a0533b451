// The configuration file and the flags over it: the file's grammar, which
// source wins, password files, what a reload may change, and that the
// shipped sample and the operator's page name every key.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "server/config/config_file.h"
#include "server/config/server_options.h"

namespace {

using namespace navlet::server::config;

std::vector<TConfigEntry> Parse(std::string_view text, std::string* error = nullptr) {
    std::vector<TConfigEntry> out;
    std::string why;
    bool ok = ParseConfigText(text, out, why);
    if (error)
        *error = ok ? "" : why;
    return out;
}

TEST(ConfigFile, ReadsKeysValuesQuotesAndComments) {
    auto entries = Parse("# a comment\r\n"
                         "\n"
                         "   listen =  0.0.0.0:80  \r\n"
                         "web = \"\"\n"
                         "\tws_origin=https://a.example#x\n"
                         "banners = \"  /srv/with \\\"quote\\\" and \\\\ # kept  \"\n"
                         "  # indented comment\n"
                         "log_level = debug"); // no final line break
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].key, "listen");
    EXPECT_EQ(entries[0].value, "0.0.0.0:80");
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].value, "") << "an empty quoted value turns an option off";
    EXPECT_EQ(entries[2].value, "https://a.example#x") << "# inside a value is not a comment";
    EXPECT_EQ(entries[3].value, "  /srv/with \"quote\" and \\ # kept  ");
    EXPECT_EQ(entries[4].key, "log_level");
    EXPECT_EQ(entries[4].line, 8);
}

TEST(ConfigFile, RefusesMalformedLinesNamingTheLine) {
    struct TCase {
        const char* text;
        const char* why;
    } cases[] = {
        {"listen 0.0.0.0:80\n", "line 1: expected key = value"},
        {"ok = 1\n = 2\n", "line 2: no key before '='"},
        {"Listen = x\n", "line 1: a key has only a-z, 0-9 and _"},
        {"max-per-address = 3\n", "line 1: a key has only a-z, 0-9 and _"},
        {"web = \"127.0.0.1:80\n", "line 1: no closing quote"},
        {"web = \"a\" b\n", "line 1: text after the closing quote"},
        {"web = \"a\\n\"\n", "line 1: only \\\" and \\\\ may follow a backslash"},
        {"\n\nweb = a\x01b\n", "line 3: a control character"},
    };
    for (const TCase& c : cases) {
        std::string error;
        Parse(c.text, &error);
        EXPECT_EQ(error, c.why) << c.text;
    }
}

class ConfigOptions : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("navlet-config-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ::unsetenv("NAVLET_DATABASE_PASSWORD");
        ::unsetenv("NAVLET_REDIS_PASSWORD");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& text, mode_t mode = 0600) {
        std::string path = (dir / name).string();
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    // Resolves `args` (with --config FILE holding `file`); the error, or "".
    std::string Resolve(const std::string& file, std::vector<std::string> args,
                        TServerOptions& out) {
        args.insert(args.begin(), {"--config", Write("navlet-server.conf", file)});
        TCommandLine line;
        std::string error;
        if (!ParseCommandLine(args, line, error) || !ResolveOptions(line, out, error))
            return error;
        return "";
    }

    std::filesystem::path dir;
};

TEST_F(ConfigOptions, FlagsOverrideTheFileAndAFlaggedListStartsOver) {
    TServerOptions o;
    ASSERT_EQ(Resolve("listen = 0.0.0.0:80\n"
                      "max_per_address = 50\n"
                      "banner_interval = 30\n"
                      "ws_origin = https://a.example\n"
                      "ws_origin = https://b.example\n"
                      "trusted_proxy = 10.0.0.1\n"
                      "log_level = warn\n",
                      {"--max-per-address", "7", "--ws-origin", "https://c.example", "--ws-origin",
                       "https://d.example"},
                      o),
              "");
    EXPECT_EQ(o.config.listen, "0.0.0.0:80");
    EXPECT_EQ(o.config.limits.maxPerAddress, 7u);
    EXPECT_EQ(o.config.service.bannerIntervalMs, 30000);
    EXPECT_EQ(o.config.wsOrigins,
              (std::vector<std::string>{"https://c.example", "https://d.example"}));
    ASSERT_EQ(o.config.webLimits.http.trustedProxies.size(), 1u) << "kept: no flag gave one";
    EXPECT_EQ(o.config.webLimits.http.trustedProxies[0].to_string(), "10.0.0.1");
    EXPECT_EQ(o.logLevel, navlet::server::log::TLevel::Warn);
}

TEST_F(ConfigOptions, AdminAllowTakesRangesAndRefusesAnythingElse) {
    TServerOptions o;
    ASSERT_EQ(Resolve("admin = 10.1.0.5:8081\nadmin_allow = 10.1.0.0/24\n",
                      {"--admin-allow", "2001:db8::/32", "--admin-allow", "10.2.0.9"}, o),
              "");
    EXPECT_EQ(o.config.adminAllow, (std::vector<std::string>{"2001:db8::/32", "10.2.0.9"}));
    TServerOptions bad;
    EXPECT_NE(Resolve("admin_allow = monitoring.example\n", {}, bad), "");
    EXPECT_NE(Resolve("", {"--admin-allow", "10.0.0.0/40"}, bad), "");
}

TEST_F(ConfigOptions, FoldersDefaultBelowTheDataFolder) {
    TServerOptions o;
    ASSERT_EQ(Resolve("data = /srv/navlet\nbanners = /usr/share/navlet/banners\n", {}, o), "");
    auto config = ToServerConfig(o);
    EXPECT_EQ(config.dataDir, "/srv/navlet");
    EXPECT_EQ(config.updatesDir, "/srv/navlet/updates");
    EXPECT_EQ(config.bannersDir, "/usr/share/navlet/banners");
    EXPECT_EQ(config.database, "");
}

TEST_F(ConfigOptions, MistakesNameTheFileAndLineOrTheFlag) {
    TServerOptions o;
    std::string error = Resolve("listen = 0.0.0.0:80\n\nlisten = 0.0.0.0:81\n", {}, o);
    EXPECT_NE(error.find("navlet-server.conf line 3: listen is set twice"), std::string::npos)
        << error;
    TServerOptions other;
    error = Resolve("# x\nmax_users = 3\n", {}, other);
    EXPECT_NE(error.find("line 2: unknown option max_users"), std::string::npos) << error;
    TServerOptions fresh;
    error = Resolve("banner_interval = 0\n", {}, fresh);
    EXPECT_NE(error.find("line 1: bad value for banner_interval: 0"), std::string::npos) << error;
    TServerOptions again;
    EXPECT_EQ(Resolve("", {"--trusted-proxy", "nginx.local"}, again),
              "bad option --trusted-proxy nginx.local");
    TServerOptions unknown;
    EXPECT_EQ(Resolve("", {"--max-users", "3"}, unknown), "bad option --max-users 3");

    TCommandLine line;
    EXPECT_FALSE(ParseCommandLine({"--listen"}, line, error));
    EXPECT_EQ(error, "--listen needs a value");
    TCommandLine missing;
    missing.configGiven = true;
    missing.configPath = (dir / "absent.conf").string();
    EXPECT_FALSE(ResolveOptions(missing, o, error)) << "a named file must exist";
}

TEST_F(ConfigOptions, ACommandKeepsItsOwnWordsAfterTheFlags) {
    TCommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(
        {"--config", "", "--data", "/d", "account", "add", "bob", "pw", "--gender", "m"}, line,
        error));
    EXPECT_TRUE(line.configGiven);
    EXPECT_EQ(line.configPath, "") << "--config '' reads no file";
    ASSERT_EQ(line.flags.size(), 1u);
    EXPECT_EQ(line.flags[0].first, "data");
    EXPECT_EQ(line.rest,
              (std::vector<std::string>{"account", "add", "bob", "pw", "--gender", "m"}));
}

TEST_F(ConfigOptions, PasswordFilesMustBeTheOwnersAlone) {
    std::string out, error;
    EXPECT_TRUE(ReadSecretFile(Write("pw", "s3cret\n"), out, error)) << error;
    EXPECT_EQ(out, "s3cret") << "the final line break is not part of it";
    for (mode_t loose : {0640, 0604, 0644}) {
        EXPECT_FALSE(ReadSecretFile(Write("loose", "s3cret\n", loose), out, error)) << loose;
        EXPECT_NE(error.find("chmod 600"), std::string::npos);
    }
    EXPECT_FALSE(ReadSecretFile(Write("empty", "\n"), out, error));
    EXPECT_FALSE(ReadSecretFile(Write("two", "a\nb\n"), out, error));
    EXPECT_FALSE(ReadSecretFile((dir / "absent").string(), out, error));
    EXPECT_FALSE(ReadSecretFile(dir.string(), out, error)) << "a folder";

    TServerOptions o;
    ASSERT_EQ(Resolve("database_password_file = " + Write("db", "from-file\n") + "\n" +
                          "redis_password_file = " + Write("redis", "redis-file\n") + "\n",
                      {}, o),
              "");
    EXPECT_EQ(o.databasePassword, "from-file");
    EXPECT_EQ(ToServerConfig(o).cluster.password, "redis-file") << "the cluster node sends it";
    ::setenv("NAVLET_DATABASE_PASSWORD", "from-env", 1);
    ::setenv("NAVLET_REDIS_PASSWORD", "redis-env", 1);
    TServerOptions env;
    ASSERT_EQ(Resolve("", {}, env), "");
    EXPECT_EQ(env.databasePassword, "from-env");
    EXPECT_EQ(env.redisPassword, "redis-env");
    TServerOptions refused;
    EXPECT_NE(Resolve("redis_password_file = " + Write("r", "x\n", 0644) + "\n", {}, refused), "");
}

TEST_F(ConfigOptions, APasswordInAnAddressFlagIsWarnedAbout) {
    TServerOptions flagged, filed;
    ASSERT_EQ(Resolve("",
                      {"--database", "postgresql://navlet:pw@db/navlet", "--cluster",
                       "redis://:pw@127.0.0.1:6379"},
                      flagged),
              "");
    EXPECT_EQ(flagged.warnings.size(), 2u);
    ASSERT_EQ(Resolve("database = postgresql://navlet:pw@db/navlet\n"
                      "cluster = redis://:pw@127.0.0.1:6379\n",
                      {}, filed),
              "");
    EXPECT_TRUE(filed.warnings.empty());
}

TEST_F(ConfigOptions, AReloadTakesLiveKeysAndNamesTheRestUntilARestart) {
    TServerOptions started, edited, editedAgain;
    ASSERT_EQ(
        Resolve("listen = 127.0.0.1:80\nmax_per_address = 5\nlog_level = info\n", {}, started), "");
    ASSERT_EQ(Resolve("listen = 127.0.0.1:81\nmax_per_address = 6\nlog_level = info\n"
                      "trusted_proxy = 127.0.0.1\n",
                      {}, edited),
              "");
    TReloadPlan plan = PlanReload(started, started, edited);
    EXPECT_EQ(plan.live, (std::vector<std::string>{"max_per_address", "trusted_proxy"}));
    EXPECT_EQ(plan.restart, (std::vector<std::string>{"listen"}));
    // The next reload of the same file: the live keys are in force now, the
    // listener still waits for a restart.
    plan = PlanReload(started, edited, edited);
    EXPECT_TRUE(plan.live.empty());
    EXPECT_EQ(plan.restart, (std::vector<std::string>{"listen"}));
    ASSERT_EQ(Resolve("listen = 127.0.0.1:80\nmax_per_address = 6\nlog_level = info\n"
                      "trusted_proxy = 127.0.0.1\ndatabase_password_file = " +
                          Write("pw", "new\n") + "\n",
                      {}, editedAgain),
              "");
    plan = PlanReload(started, edited, editedAgain);
    EXPECT_TRUE(plan.live.empty());
    EXPECT_EQ(plan.restart,
              (std::vector<std::string>{"database_password_file", "database_password"}));
}

// The shipped sample and the operator's page name every key, so neither
// falls behind a new option.
TEST(ConfigDocs, TheSampleAndTheOperatorsPageNameEveryKey) {
    auto read = [](const char* doc) {
        std::ifstream in(std::string(NAVLET_SOURCE_DIR) + "/" + doc);
        std::stringstream all;
        all << in.rdbuf();
        return "\n" + all.str();
    };
    std::string sampleText = read("packaging/navlet-server.conf");
    std::string page = read("docs/operations.md");
    std::string usage = read("server/main.cpp"); // --help's text
    for (const std::string& key : OptionKeys()) {
        bool set = sampleText.find("\n" + key + " = ") != std::string::npos;
        bool shown = sampleText.find("\n# " + key + " = ") != std::string::npos;
        EXPECT_TRUE(set || shown) << "the sample lacks " << key;
        EXPECT_NE(page.find("| `" + key + "` |"), std::string::npos) << "the page lacks " << key;
        std::string flag = "\n  --" + key;
        std::replace(flag.begin(), flag.end(), '_', '-');
        EXPECT_NE(usage.find(flag + " "), std::string::npos) << "--help lacks " << flag.substr(3);
    }
    TServerOptions sample;
    TCommandLine line;
    line.configGiven = true;
    line.configPath = std::string(NAVLET_SOURCE_DIR) + "/packaging/navlet-server.conf";
    std::string error;
    EXPECT_TRUE(ResolveOptions(line, sample, error)) << error;
    EXPECT_EQ(sample.config.listen, "0.0.0.0:80");
}

} // namespace
