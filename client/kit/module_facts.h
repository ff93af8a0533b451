// What the bar learns about the module it runs in and its user.
#pragma once

#include <cstdint>
#include <string>

namespace navlet {

// What the bar reports of the page the browser shows.
enum class TShareScope : int32_t {
    Page = 0,     // the host and path, without query, fragment or user part
    SiteOnly = 1, // the host alone
};

class TModuleFacts {
  public:
    virtual ~TModuleFacts() = default;
    // The full file name of the bar's own module; false when it cannot be had.
    virtual bool ModuleFileName(std::string& out) const = 0;
    // The locale id of the user's default locale.
    virtual uint32_t UserDefaultLcid() const = 0;
    // The session server's host name (the service's own; the port is 80).
    virtual std::string ServiceHostName() const = 0;
    // How the service's web pages are addressed: "https://" for a host whose
    // session travels over TLS too, so that no page of the service is asked
    // for in clear beside it.
    virtual std::string ServiceWebScheme() const { return "http://"; }
    // Whether the browser runs the bar at low integrity (Protected Mode): the
    // normal settings key and the module's folder are then read-only to it.
    virtual bool ProtectedMode() const { return false; }
    // The folder a protected bar may write its download in, ending in a
    // separator; empty when the platform gives none.
    virtual std::string WritableFolder() const { return {}; }
    // The module's version "a.b.c.d" as its host states it, for a host whose
    // module carries no version resource (a browser extension's manifest);
    // empty: the version is read from the module file.
    virtual std::string HostStatedVersion() const { return {}; }
    // Whether the host replaces the module itself (a browser updates its
    // extension): the bar then downloads no module of its own.
    virtual bool HostUpdatesModule() const { return false; }
    // What the bar reports until its user chooses: a host that follows every
    // tab of today's browsers shares less by default.
    virtual TShareScope DefaultShareScope() const { return TShareScope::Page; }
    // Whether the host opens the service's sign-up page itself, once, when it
    // installs the bar (a browser extension): the bar then never opens it on
    // a first showing.
    virtual bool HostOpensSignUpPage() const { return false; }
};

} // namespace navlet
