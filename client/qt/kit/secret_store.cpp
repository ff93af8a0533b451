#include "client/qt/kit/secret_store.h"

#include <cstdlib>

#include <libsecret/secret.h>

namespace navlet::qt {

namespace {

// The folder and the value's name find the secret; the label is what the
// user sees in the keyring's manager.
const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "net.navlet.Bar",
        SECRET_SCHEMA_NONE,
        {
            {"folder", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"setting", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

// The service takes text: the value's bytes (a scrambled password need not be
// UTF-8) travel as hex digits.
std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool FromHex(const char* text, std::string& out) {
    out.clear();
    for (const char* p = text; *p; p += 2) {
        const int high = HexDigit(p[0]);
        const int low = p[1] ? HexDigit(p[1]) : -1;
        if (high < 0 || low < 0)
            return false;
        out += char(high << 4 | low);
    }
    return true;
}

class TLibSecretStore final : public TSecretStore {
  public:
    TResult Read(const std::string& folder, const std::string& name, std::string& out) override {
        if (!Usable())
            return TResult::Unavailable;
        GError* error = nullptr;
        gchar* text = secret_password_lookup_sync(Schema(), nullptr, &error, "folder",
                                                  folder.c_str(), "setting", name.c_str(), nullptr);
        if (Failed(error))
            return TResult::Unavailable;
        if (!text)
            return TResult::Missing;
        const bool ok = FromHex(text, out);
        secret_password_free(text);
        return ok ? TResult::Ok : TResult::Missing;
    }

    TResult Write(const std::string& folder, const std::string& name,
                  const std::string& value) override {
        if (!Usable())
            return TResult::Unavailable;
        GError* error = nullptr;
        const std::string label = "Navlet bar: " + name;
        const gboolean stored = secret_password_store_sync(
            Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), ToHex(value).c_str(), nullptr,
            &error, "folder", folder.c_str(), "setting", name.c_str(), nullptr);
        if (Failed(error) || !stored)
            return TResult::Unavailable;
        return TResult::Ok;
    }

    TResult Remove(const std::string& folder, const std::string& name) override {
        if (!Usable())
            return TResult::Unavailable;
        GError* error = nullptr;
        secret_password_clear_sync(Schema(), nullptr, &error, "folder", folder.c_str(), "setting",
                                   name.c_str(), nullptr);
        return Failed(error) ? TResult::Unavailable : TResult::Ok;
    }

  private:
    // Without a session bus libsecret would try to start one (dbus-launch,
    // which needs a display and may wait): no bus, no secret service.
    bool Usable() const {
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        return !gaveUp && bus && *bus;
    }

    bool Failed(GError* error) {
        if (!error)
            return false;
        g_error_free(error);
        gaveUp = true;
        return true;
    }

    bool gaveUp = false;
};

} // namespace

std::unique_ptr<TSecretStore> DesktopSecretStore() {
    return std::make_unique<TLibSecretStore>();
}

} // namespace navlet::qt
