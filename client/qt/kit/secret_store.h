// Where the Linux bar keeps what must not lie in a plain file (the stored
// password): the desktop's secret service (GNOME Keyring, KWallet, KeePassXC
// and others speak its protocol), reached through libsecret. A session
// without one (no session bus, nothing answering) says so, and the caller
// keeps the value in its settings file instead.
#pragma once

#include <memory>
#include <string>

namespace navlet::qt {

class TSecretStore {
  public:
    enum class TResult {
        Ok,
        Missing,     // the service answered: no such secret
        Unavailable, // no service answered; nothing was read or written
    };
    virtual ~TSecretStore() = default;
    // `name` tells the secret apart from the others of the same `folder`
    // (the settings folder it stands in for). Values are bytes.
    virtual TResult Read(const std::string& folder, const std::string& name, std::string& out) = 0;
    virtual TResult Write(const std::string& folder, const std::string& name,
                          const std::string& value) = 0;
    virtual TResult Remove(const std::string& folder, const std::string& name) = 0;
};

// The desktop's secret service. Once it has not answered, the store stops
// asking for the rest of the process: a missing service must not cost a
// D-Bus round trip on every settings read.
std::unique_ptr<TSecretStore> DesktopSecretStore();

} // namespace navlet::qt
