// The pure pieces of the session's connection.
#include "client/core/connection.h"

#include <cmath>
#include <cstdio>

#include "protocol/requests.h"

namespace navlet {

namespace {

constexpr double MS_PER_DAY = 24.0 * 60 * 60 * 1000;
constexpr int MAX_PORT = 65535;

bool ParsePort(const std::string& digits, int& port) {
    if (digits.empty() || digits.size() > 5)
        return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > MAX_PORT)
        return false;
    port = value;
    return true;
}

const char* ErrorDescription(TErrorEvent event) {
    switch (event) {
    case TErrorEvent::eeSend:
        return "sending data.";
    case TErrorEvent::eeReceive:
        return "receiving data.";
    case TErrorEvent::eeConnect:
        return "connecting. Try again in a few seconds...";
    case TErrorEvent::eeDisconnect:
        return "disconnecting.";
    case TErrorEvent::eeAccept:
        return "accepting connection.";
    case TErrorEvent::eeSecurity:
        return "securing the connection.";
    case TErrorEvent::eeGeneral:
        break;
    }
    return "undefined.";
}

char commErrorBuffer[COMM_ERROR_BUFFER];

} // namespace

std::optional<TEndpoint> ParseHostPort(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return std::nullopt;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return std::nullopt; // an IPv6 address needs its brackets
    }
    TEndpoint endpoint{host, 0};
    if (!ParsePort(text.substr(colon + 1), endpoint.port))
        return std::nullopt;
    return endpoint;
}

std::optional<TEndpoint> ParseServerAddress(const std::string& text) {
    const std::string scheme = TLS_SCHEME;
    const bool tls = text.compare(0, scheme.size(), scheme) == 0;
    std::optional<TEndpoint> endpoint = ParseHostPort(tls ? text.substr(scheme.size()) : text);
    if (endpoint)
        endpoint->tls = tls;
    return endpoint;
}

TEndpoint SessionEndpoint(const TEnvironment& env, const std::string& setting,
                          const std::string& serviceHost, int defaultPort) {
    if (std::optional<std::string> value = env.Lookup(SERVER_ENV))
        if (std::optional<TEndpoint> endpoint = ParseServerAddress(*value))
            return *endpoint;
    if (std::optional<TEndpoint> endpoint = ParseServerAddress(setting))
        return *endpoint;
    return {serviceHost, defaultPort};
}

std::string WebSiteHost(const TEnvironment& env, const std::string& serviceHost) {
    if (std::optional<std::string> value = env.Lookup(WEB_ENV))
        if (ParseHostPort(*value))
            return *value;
    return serviceHost;
}

const char* CommErrorText(TErrorEvent event) {
    std::snprintf(commErrorBuffer, sizeof commErrorBuffer, "Communication error %s",
                  ErrorDescription(event));
    return commErrorBuffer;
}

TChunkClass ClassifyUpdateChunk(int32_t moduleVersion, const TUpdateChunkMsg& chunk,
                                bool updateFileOpen) {
    const bool wanted = moduleVersion != 0 && chunk.version != -1 && !chunk.IsEndMark() &&
                        moduleVersion < chunk.version;
    if (wanted)
        return TChunkClass::Wanted;
    if (chunk.IsEndMark() && updateFileOpen)
        return TChunkClass::InstallReady;
    return TChunkClass::NothingNewer;
}

std::string ReplyTimeLine(double localNow, double lastSendTime) {
    const double ms = std::trunc((localNow - lastSendTime) * MS_PER_DAY);
    // A clock far from the last send cannot overflow the printed number.
    const double bounded = std::fmax(std::fmin(ms, 2147483647.0), -2147483648.0);
    char line[32];
    std::snprintf(line, sizeof line, "--> %d ms", int(bounded));
    return line;
}

std::string DisconnectReason(const std::string& notice) {
    const size_t first = notice.find_first_not_of(" ");
    const size_t last = notice.find_last_not_of(" ");
    if (first == std::string::npos)
        return {};
    std::string reason = notice.substr(first, last - first + 1);
    // "Wrong nick" becomes "wrong nick"; "IP blocked" keeps its capitals.
    const bool wordStart = reason.size() < 2 || !(reason[1] >= 'A' && reason[1] <= 'Z');
    if (reason[0] >= 'A' && reason[0] <= 'Z' && wordStart)
        reason[0] = char(reason[0] - 'A' + 'a');
    const char end = reason.back();
    if (end != '.' && end != '!' && end != '?')
        reason += '.';
    return reason;
}

int32_t LoginStampAt(double localNow) {
    const double timeOfDay = localNow - std::floor(localNow);
    double ms = std::floor(timeOfDay * MS_PER_DAY + 0.5);
    if (ms >= MS_PER_DAY)
        ms = MS_PER_DAY - 1;
    return LoginStamp(uint32_t(ms));
}

} // namespace navlet
