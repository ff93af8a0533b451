// The bar's settings under the current user's "Software\Navlet", and the
// scrambling of the stored password.
#include <array>

#include "client/core/navlet.h"
#include "client/core/privacy.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// Control characters only: a character typed into the password box never
// equals one, so a scrambled password holds no zero byte that a string value
// would cut at, and printable text stays in its block of 32.
constexpr std::array<uint8_t, 13> PasswordKey = {0x13, 0x05, 0x1B, 0x0E, 0x02, 0x19, 0x0B,
                                                 0x1D, 0x07, 0x11, 0x03, 0x16, 0x0C};

constexpr size_t BAR_SIZE_BYTES = 8;

// Each returns false when the value's handling failed; the call then stops.
bool SyncString(TRegistryKey& key, const char* name, int direction, std::string& field) {
    if (direction > 0)
        return key.WriteString(name, field) == TRegResult::Ok;
    std::string value;
    TRegResult r = key.ReadString(name, value);
    if (r == TRegResult::Missing) {
        field.clear();
        return true;
    }
    if (r != TRegResult::Ok)
        return false;
    field = std::move(value);
    return true;
}

// Reads an integer; a missing value is written as `fallback` and taken when
// `writeMissing`, or only taken otherwise.
bool ReadIntegerOr(TRegistryKey& key, const char* name, int32_t fallback, bool writeMissing,
                   int32_t& out) {
    int32_t value = 0;
    TRegResult r = key.ReadInteger(name, value);
    if (r == TRegResult::Ok) {
        out = value;
        return true;
    }
    if (r != TRegResult::Missing)
        return false;
    if (writeMissing && key.WriteInteger(name, fallback) != TRegResult::Ok)
        return false;
    out = fallback;
    return true;
}

bool SyncBarSize(TRegistryKey& key, int direction, int32_t& field) {
    std::array<uint8_t, BAR_SIZE_BYTES> bytes = {};
    if (direction > 0) {
        bytes[0] = uint8_t(field);
        bytes[1] = uint8_t(field >> 8);
        return key.WriteBinary("BarSize", bytes) == TRegResult::Ok;
    }
    size_t size = 0;
    TRegResult r = key.ReadBinary("BarSize", bytes, size);
    if (r == TRegResult::Missing) {
        field = 0;
        return true;
    }
    if (r != TRegResult::Ok)
        return false;
    field = size == 0 ? 0 : int16_t(uint16_t(bytes[0] | bytes[1] << 8));
    return true;
}

// The settings of a bar at low integrity: written to the key the platform
// lets it write, read from there first and then from the normal key, which
// holds what the bar wrote before it ran protected.
class TLowFirstKey final : public TRegistryKey {
  public:
    TLowFirstKey(std::unique_ptr<TRegistryKey> lowKey, std::unique_ptr<TRegistryKey> normalKey)
        : low(std::move(lowKey)), normal(std::move(normalKey)) {}

    TRegResult ReadString(std::string_view name, std::string& out) override {
        return Read([&](TRegistryKey& k) { return k.ReadString(name, out); });
    }
    TRegResult WriteString(std::string_view name, std::string_view value) override {
        return low->WriteString(name, value);
    }
    TRegResult ReadInteger(std::string_view name, int32_t& out) override {
        return Read([&](TRegistryKey& k) { return k.ReadInteger(name, out); });
    }
    TRegResult WriteInteger(std::string_view name, int32_t value) override {
        return low->WriteInteger(name, value);
    }
    TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer, size_t& size) override {
        return Read([&](TRegistryKey& k) { return k.ReadBinary(name, buffer, size); });
    }
    TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) override {
        return low->WriteBinary(name, data);
    }

  private:
    template <class ReadOne> TRegResult Read(ReadOne&& read) {
        const TRegResult r = read(*low);
        if (r != TRegResult::Missing || !normal)
            return r;
        return read(*normal);
    }

    std::unique_ptr<TRegistryKey> low;
    std::unique_ptr<TRegistryKey> normal; // null when the bar never wrote one
};

} // namespace

std::unique_ptr<TRegistryKey> TNavlet::OpenSettingsKey() {
    if (!kit.module.ProtectedMode())
        return kit.registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
    auto low = kit.registry.OpenKey(THive::CurrentUserLow, SETTINGS_KEY, TKeyOpen::Create);
    if (!low)
        return nullptr;
    return std::make_unique<TLowFirstKey>(
        std::move(low), kit.registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Existing));
}

std::string TNavlet::ScramblePassword(const std::string& text, int32_t seed) {
    std::string out = text;
    for (size_t i = 1; i <= out.size(); ++i) {
        uint32_t index = (uint32_t(seed) + uint32_t(i)) % PasswordKey.size();
        out[i - 1] = char(uint8_t(out[i - 1]) ^ PasswordKey[index]);
    }
    return out;
}

void TNavlet::SyncSettings(int nick, int pwd, int autologin, int version, int lang, int update,
                           int barSizeArg) {
    std::unique_ptr<TRegistryKey> key = OpenSettingsKey();
    if (!key)
        return;

    if (nick != 0 && !SyncString(*key, "nck", nick, myNick))
        return;
    if (pwd != 0) {
        std::string stored = ScramblePassword(password, -1);
        if (!SyncString(*key, "pwd", pwd, stored))
            return;
        if (pwd < 0)
            password = ScramblePassword(stored, -1);
    }
    if (autologin > 0 && key->WriteInteger("autologin", autoLogin ? 1 : 0) != TRegResult::Ok)
        return;
    if (autologin < 0) {
        int32_t value = 0;
        if (!ReadIntegerOr(*key, "autologin", 1, /*writeMissing=*/true, value))
            return;
        autoLogin = value != 0;
    }
    if (version != 0 && !SyncString(*key, "version", version, shownVersion))
        return;
    if (lang > 0 && key->WriteInteger("lang", int32_t(languageMask)) != TRegResult::Ok)
        return;
    if (lang < 0) {
        int32_t value = 0;
        if (!ReadIntegerOr(*key, "lang", int32_t(LANGUAGE_MASK_ALL), /*writeMissing=*/true, value))
            return;
        languageMask = uint32_t(value);
    }
    if (update > 0 && key->WriteInteger("update", updateVersion) != TRegResult::Ok)
        return;
    if (update < 0 && !ReadIntegerOr(*key, "update", 0, /*writeMissing=*/false, updateVersion))
        return;
    if (barSizeArg != 0)
        SyncBarSize(*key, barSizeArg, barSize);
}

void TNavlet::SyncPanelSettings(int direction) {
    if (direction == 0)
        return;
    std::unique_ptr<TRegistryKey> key = OpenSettingsKey();
    if (!key)
        return;
    if (direction > 0) {
        if (key->WriteInteger("textsize", int32_t(PanelStyle.TextSize())) == TRegResult::Ok)
            key->WriteInteger("notify", Attention.Notify() ? 1 : 0);
        return;
    }
    int32_t notify = 0;
    if (!ReadIntegerOr(*key, "notify", 0, /*writeMissing=*/false, notify))
        return;
    Attention.SetNotify(notify != 0);
    int32_t size = int32_t(TTextSize::Normal);
    if (!ReadIntegerOr(*key, "textsize", size, /*writeMissing=*/false, size))
        return;
    // A value from elsewhere that names no size leaves the default.
    if (size >= int32_t(TTextSize::Small) && size <= int32_t(TTextSize::Large))
        PanelStyle.SetTextSize(TTextSize(size));
}

void TNavlet::SyncPrivacySettings(int direction) {
    if (direction == 0)
        return;
    std::unique_ptr<TRegistryKey> key = OpenSettingsKey();
    if (!key)
        return;
    if (direction > 0) {
        if (key->WriteInteger("share", int32_t(shareScope)) != TRegResult::Ok ||
            key->WriteString("neverreport", JoinPatternList(neverReported)) != TRegResult::Ok)
            return;
        key->WriteInteger("neverreportdefaults", neverReportDefaults ? 1 : 0);
        key->WriteInteger("privacy", PrivacyFlags());
        return;
    }
    // Missing values are not written: the host's default and the built-in
    // patterns follow the bar until the user chooses.
    int32_t scope = 0;
    if (!ReadIntegerOr(*key, "share", int32_t(kit.module.DefaultShareScope()),
                       /*writeMissing=*/false, scope))
        return;
    shareScope =
        scope == int32_t(TShareScope::SiteOnly) ? TShareScope::SiteOnly : TShareScope::Page;
    std::string patterns;
    if (!SyncString(*key, "neverreport", -1, patterns))
        return;
    neverReported = ParsePatternList(patterns);
    int32_t defaults = 1;
    if (!ReadIntegerOr(*key, "neverreportdefaults", 1, /*writeMissing=*/false, defaults))
        return;
    neverReportDefaults = defaults != 0;
    int32_t privacy = PRIVACY_DEFAULT;
    if (!ReadIntegerOr(*key, "privacy", PRIVACY_DEFAULT, /*writeMissing=*/false, privacy))
        return;
    invisible = (privacy & PRIVACY_INVISIBLE) != 0;
    visibleToFriends = (privacy & PRIVACY_VISIBLE_TO_FRIENDS) != 0;
    tellFriends = (privacy & PRIVACY_TELL_FRIENDS) != 0;
}

} // namespace navlet
