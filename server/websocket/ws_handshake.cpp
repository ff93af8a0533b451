#include "server/websocket/ws_handshake.h"

#include <array>
#include <cstdint>

namespace navlet::ws {
namespace {

constexpr std::string_view GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Whether the comma-separated list `value` holds `token` (without regard to case).
bool HasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        if (EqualNoCase(Trim(value.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

bool IsBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// A key is 16 bytes in base64: 22 characters and "==".
bool IsValidKey(std::string_view key) {
    if (key.size() != 24 || key.substr(22) != "==")
        return false;
    for (size_t i = 0; i < 22; ++i) {
        if (!IsBase64Char(key[i]))
            return false;
    }
    return true;
}

// The host[:port] part of "scheme://host[:port]".
std::string_view OriginHost(std::string_view origin) {
    size_t scheme = origin.find("://");
    return scheme == std::string_view::npos ? std::string_view() : origin.substr(scheme + 3);
}

uint32_t Rotate(uint32_t v, int bits) {
    return (v << bits) | (v >> (32 - bits));
}

} // namespace

TOriginPolicy TOriginPolicy::Default() {
    return TOriginPolicy({"chrome-extension://*", "moz-extension://*"});
}

bool TOriginPolicy::Allows(std::string_view origin, std::string_view host) const {
    if (origin.empty())
        return true;
    std::string_view own = OriginHost(origin);
    if (!host.empty() && !own.empty() && EqualNoCase(own, host))
        return true;
    for (const std::string& entry : entries) {
        if (entry == "*" || EqualNoCase(entry, origin))
            return true;
        // "scheme://*": the scheme must match and something must follow it.
        if (entry.size() > 4 && entry.ends_with("://*") && origin.size() > entry.size() - 1 &&
            EqualNoCase(origin.substr(0, entry.size() - 1),
                        std::string_view(entry).substr(0, entry.size() - 1)))
            return true;
    }
    return false;
}

int CheckUpgradeRequest(const web::THttpRequest& request, const TOriginPolicy& origins) {
    if (request.method != "GET" || request.contentLength != 0)
        return 400;
    if (!HasToken(request.Header("upgrade"), "websocket") ||
        !HasToken(request.Header("connection"), "upgrade"))
        return 400;
    if (Trim(request.Header("sec-websocket-version")) != "13")
        return 400;
    if (!IsValidKey(Trim(request.Header("sec-websocket-key"))))
        return 400;
    if (!origins.Allows(Trim(request.Header("origin")), Trim(request.Header("host"))))
        return 403;
    return 0;
}

std::string AcceptKey(std::string_view key) {
    std::string joined(key);
    joined += GUID;
    return Base64(Sha1(joined));
}

std::string UpgradeResponse(std::string_view key) {
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           AcceptKey(key) + "\r\n\r\n";
}

std::string UpgradeRequest(std::string_view host, std::string_view path, std::string_view key,
                           std::string_view origin) {
    std::string out = "GET " + std::string(path) + " HTTP/1.1\r\nHost: " + std::string(host) +
                      "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: " +
                      std::string(key) + "\r\n";
    if (!origin.empty())
        out += "Origin: " + std::string(origin) + "\r\n";
    return out + "\r\n";
}

bool CheckUpgradeResponse(std::string_view head, std::string_view key) {
    size_t lineEnd = head.find("\r\n");
    std::string_view status = head.substr(0, lineEnd);
    if (status.substr(0, 13) != "HTTP/1.1 101 " && status != "HTTP/1.1 101")
        return false;
    std::string expected = AcceptKey(key);
    std::string_view rest = head.substr(lineEnd == std::string_view::npos ? head.size() : lineEnd);
    bool accepted = false, upgraded = false;
    while (!rest.empty()) {
        size_t start = rest.find_first_not_of("\r\n");
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        size_t end = rest.find("\r\n");
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view name = Trim(line.substr(0, colon));
        std::string_view value = Trim(line.substr(colon + 1));
        if (EqualNoCase(name, "sec-websocket-accept"))
            accepted = value == expected;
        else if (EqualNoCase(name, "upgrade"))
            upgraded = HasToken(value, "websocket");
    }
    return accepted && upgraded;
}

std::string MakeKey(uint64_t seed) {
    std::string bytes(16, '\0');
    for (size_t i = 0; i < 16; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        bytes[i] = char(seed >> 56);
    }
    return Base64(bytes);
}

std::string Base64(std::string_view bytes) {
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            v |= uint8_t(bytes[i + 2]);
        out += ALPHABET[(v >> 18) & 63];
        out += ALPHABET[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? ALPHABET[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? ALPHABET[v & 63] : '=';
    }
    return out;
}

// SHA-1 (FIPS 180-4): the handshake needs it and nothing else here does.
std::string Sha1(std::string_view bytes) {
    std::array<uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string message(bytes);
    uint64_t bits = uint64_t(bytes.size()) * 8;
    message += char(0x80);
    while (message.size() % 64 != 56)
        message += '\0';
    for (int i = 7; i >= 0; --i)
        message += char(bits >> (8 * i));
    for (size_t block = 0; block < message.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const uint8_t*>(message.data() + block + 4 * i);
            w[i] = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        }
        for (int i = 16; i < 80; ++i)
            w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20)
                f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6;
            uint32_t t = Rotate(a, 5) + f + e + k + w[i];
            e = d, d = c, c = Rotate(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::string digest;
    for (uint32_t v : h) {
        for (int i = 3; i >= 0; --i)
            digest += char(v >> (8 * i));
    }
    return digest;
}

} // namespace navlet::ws
