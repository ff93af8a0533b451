#include "tools/load/tls_link.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <signal.h>

namespace navlet::load {
namespace {

TTlsStatus StatusOf(SSL* ssl, int rc) {
    switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
        return TTlsStatus::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TTlsStatus::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return TTlsStatus::Closed;
    default:
        return TTlsStatus::Failed;
    }
}

bool IsAddress(const std::string& name) {
    in_addr v4{};
    in6_addr v6{};
    return ::inet_pton(AF_INET, name.c_str(), &v4) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), &v6) == 1;
}

} // namespace

void TSslFree::operator()(SSL* ssl) const {
    SSL_free(ssl);
}

std::unique_ptr<TTlsClient> TTlsClient::Make(const std::string& caFile, const std::string& name,
                                             std::string& error) {
    // OpenSSL writes to the socket itself, without MSG_NOSIGNAL: a peer that
    // went away must be an error, not a signal that ends the run.
    ::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<TTlsClient> client(new TTlsClient);
    client->name = name;
    client->nameIsAddress = IsAddress(name);
    client->context = SSL_CTX_new(TLS_client_method());
    if (!client->context) {
        error = "TLS: no context";
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(client->context, TLS1_2_VERSION);
    SSL_CTX_set_verify(client->context, SSL_VERIFY_PEER, nullptr);
    // A partial write leaves the rest in the bot's own buffer, which may move.
    SSL_CTX_set_mode(client->context,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    ERR_clear_error();
    if (SSL_CTX_load_verify_locations(client->context, caFile.c_str(), nullptr) != 1) {
        char text[256];
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        error = "TLS: cannot load the CA file " + caFile + ": " + text;
        return nullptr;
    }
    return client;
}

TTlsClient::~TTlsClient() {
    SSL_CTX_free(context);
}

TTlsConnection TTlsClient::Open(int fd) const {
    TTlsConnection ssl(SSL_new(context));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1)
        return nullptr;
    if (nameIsAddress) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), name.c_str()) != 1)
            return nullptr;
    } else if (SSL_set_tlsext_host_name(ssl.get(), name.c_str()) != 1 ||
               SSL_set1_host(ssl.get(), name.c_str()) != 1) {
        return nullptr;
    }
    SSL_set_connect_state(ssl.get());
    return ssl;
}

TTlsStatus TlsHandshake(SSL* ssl) {
    ERR_clear_error();
    int rc = SSL_do_handshake(ssl);
    return rc == 1 ? TTlsStatus::Done : StatusOf(ssl, rc);
}

TTlsStatus TlsRead(SSL* ssl, uint8_t* data, size_t size, size_t& got) {
    ERR_clear_error();
    got = 0;
    int rc = SSL_read_ex(ssl, data, size, &got);
    return rc == 1 ? TTlsStatus::Done : StatusOf(ssl, rc);
}

TTlsStatus TlsWrite(SSL* ssl, const uint8_t* data, size_t size, size_t& put) {
    ERR_clear_error();
    put = 0;
    int rc = SSL_write_ex(ssl, data, size, &put);
    return rc == 1 ? TTlsStatus::Done : StatusOf(ssl, rc);
}

bool TlsHasPending(SSL* ssl) {
    return SSL_has_pending(ssl) == 1;
}

std::string TlsFailureReason(SSL* ssl) {
    long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK)
        return X509_verify_cert_error_string(verified);
    unsigned long error = ERR_peek_last_error();
    if (error == 0)
        return "the connection closed during the handshake";
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
}

} // namespace navlet::load
