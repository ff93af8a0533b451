// The session's connection, as pure pieces: the server's endpoint and the
// service's web host with their overrides, the communication error texts, the
// sorting of update chunks and the console line of a reply time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "client/kit/environment.h"
#include "client/kit/socket.h"
#include "protocol/messages.h"

namespace navlet {

inline constexpr const char* SERVER_ENV = "NAVLET_SERVER";
inline constexpr const char* WEB_ENV = "NAVLET_WEB";

struct TEndpoint {
    std::string host;
    int port = 0;
    bool tls = false; // the session runs inside TLS, checked against the host
    bool operator==(const TEndpoint&) const = default;
};

// Where a server address says TLS: "tls://host:port".
inline constexpr const char* TLS_SCHEME = "tls://";

// "host:port" with a port of 1 to 65535 ("[::1]:80" for an IPv6 address);
// nothing for any other text.
std::optional<TEndpoint> ParseHostPort(const std::string& text);

// A session server's address: "host:port", or "tls://host:port" for a
// session inside TLS; nothing for any other text.
std::optional<TEndpoint> ParseServerAddress(const std::string& text);

// The session server: a valid NAVLET_SERVER, else a valid address stored in
// the settings (`setting`), else the service's host at `defaultPort`.
TEndpoint SessionEndpoint(const TEnvironment& env, const std::string& setting,
                          const std::string& serviceHost, int defaultPort);
// The host that prefixes the web site's page addresses: the service's host,
// or NAVLET_WEB as given ("host:port") when it is valid.
std::string WebSiteHost(const TEnvironment& env, const std::string& serviceHost);

inline constexpr size_t COMM_ERROR_BUFFER = 100;
// "Communication error %s" with the event's description, in a buffer shared
// by every bar of the module; valid until the next call.
const char* CommErrorText(TErrorEvent event);

// What an update chunk asks of the bar.
enum class TChunkClass {
    Wanted,       // a chunk of a newer version: the download takes it
    NothingNewer, // ask again in five hours
    InstallReady, // the end mark while the update file is open: install it
};
TChunkClass ClassifyUpdateChunk(int32_t moduleVersion, const TUpdateChunkMsg& chunk,
                                bool updateFileOpen);

// The console line of a reply time: the days between the last chat send and
// now as whole milliseconds, truncated toward zero.
std::string ReplyTimeLine(double localNow, double lastSendTime);

// The server's reason for ending a session as it follows "Disconnected: ":
// a first capital that starts a word goes small, and the reason ends in a
// full stop. Empty when there is no reason.
std::string DisconnectReason(const std::string& notice);

// The login's stamp for a local date-time: its time of day.
int32_t LoginStampAt(double localNow);

} // namespace navlet
