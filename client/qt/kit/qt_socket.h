// The bar's client socket on Linux: a QSslSocket behind the kit's five
// notifications, plain TCP unless the endpoint asks for TLS. Everything runs
// on the thread of the Qt event loop.
#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

#include "client/kit/socket.h"

namespace navlet::qt {

// The certificates a TLS session trusts: the system's store, and those of
// NAVLET_TLS_CA (a PEM file) beside them, which lets a test trust a CA made
// for it. A file that holds none is a fault each TLS session reports.
struct TTlsTrust {
    QList<QSslCertificate> extraCas;
    std::string fault; // why the extra CAs could not be read; empty when fine

    static TTlsTrust FromEnvironment();
};

class TQtClientSocket : public QObject, public TClientSocket {
  public:
    explicit TQtClientSocket(TTlsTrust trust = {});
    ~TQtClientSocket() override;

    void Open() override;
    void Close() override;
    bool Active() const override { return active; }
    bool Connected() const override { return active && connected; }
    // Takes the whole block unless too much waits unsent already: then 0,
    // as a socket that would block.
    int Send(const uint8_t* data, int size) override;
    // At most `size` of the bytes that wait; 0 when none do.
    int Receive(uint8_t* data, int size) override;

    // Unsent bytes above this make Send answer "would block".
    static constexpr qint64 SEND_BACKLOG_LIMIT = 64 * 1024;
    // A server that takes the connection but never finishes the handshake
    // fails the attempt after this long, instead of leaving it hanging.
    static constexpr int HANDSHAKE_TIMEOUT_MS = 30000;
    void SetHandshakeTimeout(int ms) { handshakeTimeoutMs = ms; }

  private:
    void SocketConnected();
    void SocketSslErrors(const QList<QSslError>& errors);
    void SocketReadyRead();
    void SocketDisconnected();
    void SocketError(QAbstractSocket::SocketError error);
    // Calls OnRead, then again later while bytes wait unread.
    void NotifyRead();
    void ScheduleRead();
    void Fail(TErrorEvent event, int errorCode);
    void FailSecurity(const std::string& fault);
    void DeferSecurityFault(const std::string& fault);
    void Finish(); // the connection is over: drop the handle, tell OnDisconnect

    QSslSocket socket;
    const TTlsTrust trust;
    QTimer handshakeTimer;
    int handshakeTimeoutMs = HANDSHAKE_TIMEOUT_MS;
    bool active = false;
    bool connected = false;
    bool secure = false;        // this connection asked for TLS
    std::string handshakeFault; // the first certificate error of the handshake
    bool readPending = false;
    // Grows with every Open and Close, so that a queued read notification of
    // an older connection is dropped.
    uint32_t generation = 0;
};

class TQtSocketFactory : public TSocketFactory {
  public:
    std::unique_ptr<TClientSocket> CreateClientSocket() override {
        return std::make_unique<TQtClientSocket>(TTlsTrust::FromEnvironment());
    }
};

// The Winsock error number the bar's texts use for a Qt socket error.
int WinsockErrorOf(QAbstractSocket::SocketError error);

} // namespace navlet::qt
