// TLS for navlet-load's bots (OpenSSL) over their own non-blocking sockets:
// the bots reach navlet-server through a TLS terminator (nginx) and verify its
// certificate against a given CA and name, as a bar would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;

namespace navlet::load {

// What one step of TLS on a non-blocking socket came to. WantRead and
// WantWrite: call again once the socket is readable or writable.
enum class TTlsStatus { Done, WantRead, WantWrite, Closed, Failed };

struct TSslFree {
    void operator()(SSL* ssl) const;
};
using TTlsConnection = std::unique_ptr<SSL, TSslFree>;

class TTlsClient {
  public:
    // Nothing, with `error` set, when the CA file cannot be loaded. `name` is
    // what the certificate must name: an IP address or a DNS name (then also
    // sent as SNI).
    static std::unique_ptr<TTlsClient> Make(const std::string& caFile, const std::string& name,
                                            std::string& error);
    ~TTlsClient();
    TTlsClient(const TTlsClient&) = delete;
    TTlsClient& operator=(const TTlsClient&) = delete;

    // A client connection over `fd` (connected, non-blocking; the caller
    // keeps the descriptor and closes it after the connection), or null.
    TTlsConnection Open(int fd) const;

  private:
    TTlsClient() = default;
    SSL_CTX* context = nullptr;
    std::string name;
    bool nameIsAddress = false;
};

TTlsStatus TlsHandshake(SSL* ssl);
// Decrypted bytes into `data`; `got` is how many when Done.
TTlsStatus TlsRead(SSL* ssl, uint8_t* data, size_t size, size_t& got);
// Bytes out; `put` is how many were taken when Done (maybe fewer than `size`).
// After WantWrite or WantRead the same bytes must be offered again.
TTlsStatus TlsWrite(SSL* ssl, const uint8_t* data, size_t size, size_t& put);
// Decrypted or received bytes that the connection holds and the socket no longer signals.
bool TlsHasPending(SSL* ssl);
// Why the last handshake of `ssl` failed, in OpenSSL's words.
std::string TlsFailureReason(SSL* ssl);

} // namespace navlet::load
