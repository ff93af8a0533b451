#include "tests/core/bar_test_support.h"

namespace navlet::testing {
namespace {

class SettingsTest : public BarTest {
  protected:
    void SetUp() override {
        BarTest::SetUp();
        MakeBar();
    }
    std::optional<TMemoryRegistry::TValue> Value(const char* name) {
        return tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, name);
    }
    void Put(const char* name, TMemoryRegistry::TValue value) {
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, name, std::move(value));
    }
};

TEST_F(SettingsTest, AFreshRegistryGetsAllLanguagesAndNoUpdateValue) {
    EXPECT_TRUE(tk.registry.HasKey(THive::CurrentUser, SETTINGS_KEY));
    EXPECT_EQ(Value("lang"), TMemoryRegistry::TValue(int32_t(0x80001FFF)));
    EXPECT_EQ(bar->languageMask, 0x80001FFFu);
    // Only "lang" was written by the construction; the server's address is
    // only read.
    EXPECT_EQ(tk.registry.log,
              (std::vector<std::string>{"read lang", "write lang", "read server"}));

    bar->updateVersion = 77;
    bar->SyncSettings(0, 0, 0, 0, 0, -1, 0);
    EXPECT_EQ(bar->updateVersion, 0);
    EXPECT_FALSE(Value("update").has_value());
}

TEST_F(SettingsTest, AStoredLanguageMaskIsTakenAsItIs) {
    Put("lang", int32_t(0));
    bar->SyncSettings(0, 0, 0, 0, -1, 0, 0);
    EXPECT_EQ(bar->languageMask, 0u);
    Put("lang", int32_t(0x7FFFE001));
    bar->SyncSettings(0, 0, 0, 0, -1, 0, 0);
    EXPECT_EQ(bar->languageMask, 0x7FFFE001u);
}

TEST_F(SettingsTest, AMissingAutologinIsWrittenAsOne) {
    bar->autoLogin = false;
    bar->SyncSettings(-1, -1, -1, 0, 0, 0, 0);
    EXPECT_TRUE(bar->autoLogin);
    EXPECT_EQ(Value("autologin"), TMemoryRegistry::TValue(int32_t(1)));
    EXPECT_EQ(bar->myNick, "");
    EXPECT_FALSE(Value("nck").has_value()); // reads never create strings

    Put("autologin", int32_t(0));
    bar->SyncSettings(0, 0, -1, 0, 0, 0, 0);
    EXPECT_FALSE(bar->autoLogin);
    Put("autologin", int32_t(5));
    bar->SyncSettings(0, 0, -1, 0, 0, 0, 0);
    EXPECT_TRUE(bar->autoLogin);
}

TEST_F(SettingsTest, NickAndPasswordRoundTripWithThePasswordScrambled) {
    bar->myNick = "marta";
    bar->password = "s3cret!";
    bar->SyncSettings(1, 1, 0, 0, 0, 0, 0);
    EXPECT_EQ(Value("nck"), TMemoryRegistry::TValue(std::string("marta")));
    auto stored = std::get<std::string>(*Value("pwd"));
    EXPECT_NE(stored, "s3cret!");
    EXPECT_EQ(stored.size(), 7u);
    EXPECT_EQ(stored.find('\0'), std::string::npos);

    bar->myNick.clear();
    bar->password.clear();
    bar->SyncSettings(-1, -1, 0, 0, 0, 0, 0);
    EXPECT_EQ(bar->myNick, "marta");
    EXPECT_EQ(bar->password, "s3cret!");
}

TEST_F(SettingsTest, AnEmptyPasswordIsStoredAsAnEmptyString) {
    bar->SyncSettings(0, 1, 0, 0, 0, 0, 0);
    EXPECT_EQ(Value("pwd"), TMemoryRegistry::TValue(std::string()));
}

TEST_F(SettingsTest, BarSizeReadsTheFirstTwoBytesSigned) {
    Put("BarSize", std::vector<uint8_t>{});
    bar->barSize = 9;
    bar->SyncSettings(0, 0, 0, 0, 0, 0, -1);
    EXPECT_EQ(bar->barSize, 0);

    Put("BarSize", std::vector<uint8_t>{0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
    bar->SyncSettings(0, 0, 0, 0, 0, 0, -1);
    EXPECT_EQ(bar->barSize, -1);

    tk.registry.Remove(THive::CurrentUser, SETTINGS_KEY, "BarSize");
    bar->SyncSettings(0, 0, 0, 0, 0, 0, -1);
    EXPECT_EQ(bar->barSize, 0);
}

TEST_F(SettingsTest, BarSizeIsWrittenAsEightLittleEndianBytes) {
    bar->barSize = 0x12345; // only the low 16 bits are kept
    bar->SyncSettings(0, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(Value("BarSize"),
              TMemoryRegistry::TValue(std::vector<uint8_t>{0x45, 0x23, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SettingsTest, AWrongTypedValueStopsTheCallThere) {
    Put("nck", std::string("old"));
    Put("autologin", std::string("yes"));
    Put("version", std::string("1.3.0.0"));
    Put("lang", int32_t(3));
    bar->myNick = "before";
    bar->autoLogin = false;
    bar->shownVersion = "keep";
    bar->languageMask = 99;
    bar->SyncSettings(-1, 0, -1, -1, -1, 0, 0);
    EXPECT_EQ(bar->myNick, "old"); // handled before the failure
    EXPECT_FALSE(bar->autoLogin);
    EXPECT_EQ(bar->shownVersion, "keep");
    EXPECT_EQ(bar->languageMask, 99u);
}

TEST_F(SettingsTest, ABarSizeLongerThanEightBytesIsAReadError) {
    Put("BarSize", std::vector<uint8_t>(9, 1));
    bar->barSize = 33;
    bar->SyncSettings(0, 0, 0, 0, 0, 0, -1);
    EXPECT_EQ(bar->barSize, 33);
}

TEST_F(SettingsTest, AFailedWriteStopsTheLaterValues) {
    tk.registry.FailValue("version", TRegResult::Failed);
    bar->shownVersion = "1.4.0.0";
    bar->languageMask = 5;
    bar->SyncSettings(0, 0, 1, 1, 1, 0, 0);
    EXPECT_EQ(Value("autologin"), TMemoryRegistry::TValue(int32_t(1)));
    EXPECT_EQ(Value("lang"), TMemoryRegistry::TValue(int32_t(0x80001FFF)));
}

TEST_F(SettingsTest, AKeyThatCannotBeOpenedChangesNothing) {
    tk.registry.failOpen = true;
    bar->languageMask = 5;
    bar->SyncSettings(0, 0, 0, 0, -1, 0, 0);
    EXPECT_EQ(bar->languageMask, 5u);
}

TEST(ScramblePassword, ScramblingTwiceGivesTheTextBack) {
    const std::string text = "a password of some length";
    for (int32_t seed : {-1, 0, 5, -7, 12345})
        EXPECT_EQ(TNavlet::ScramblePassword(TNavlet::ScramblePassword(text, seed), seed), text);
    EXPECT_EQ(TNavlet::ScramblePassword("", -1), "");
}

TEST(ScramblePassword, PositionThirteenReusesTheFirstKeyByte) {
    const std::string same(14, 'x');
    const std::string out = TNavlet::ScramblePassword(same, -1);
    EXPECT_EQ(out[13], out[0]);
    for (int i = 1; i < 13; ++i)
        EXPECT_NE(out[size_t(i)], out[0]) << i; // 13 distinct key bytes
    // A shifted seed shifts the key.
    EXPECT_EQ(TNavlet::ScramblePassword(same, 0)[0], out[1]);
}

// A bar at low integrity (the browser's Protected Mode) may not write the
// normal key: it writes the platform's low key, and reads there first and
// then what it wrote before it ran protected.
TEST_F(SettingsTest, AProtectedBarWritesTheLowKeyAndReadsItBeforeTheNormalOne) {
    Put("nck", std::string("alice"));
    Put("lang", int32_t(3));
    tk.module.protectedMode = true;
    tk.registry.log.clear();

    bar->SyncSettings(-1, 0, 0, 0, -1, 0, 0);
    EXPECT_EQ(bar->myNick, "alice"); // from the normal key
    EXPECT_EQ(bar->languageMask, 3u);

    bar->myNick = "bob";
    bar->languageMask = 5;
    bar->SyncSettings(1, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(tk.registry.Get(THive::CurrentUserLow, SETTINGS_KEY, "nck"),
              TMemoryRegistry::TValue(std::string("bob")));
    EXPECT_EQ(Value("nck"), TMemoryRegistry::TValue(std::string("alice"))); // left alone
    EXPECT_EQ(Value("lang"), TMemoryRegistry::TValue(int32_t(3)));

    bar->myNick.clear();
    bar->SyncSettings(-1, 0, 0, 0, -1, 0, 0);
    EXPECT_EQ(bar->myNick, "bob"); // the low key first
    EXPECT_EQ(bar->languageMask, 5u);

    // A missing "autologin" is written where the bar may write.
    bar->SyncSettings(0, 0, -1, 0, 0, 0, 0);
    EXPECT_EQ(tk.registry.Get(THive::CurrentUserLow, SETTINGS_KEY, "autologin"),
              TMemoryRegistry::TValue(int32_t(1)));
    EXPECT_FALSE(Value("autologin").has_value());
}

} // namespace
} // namespace navlet::testing
