#include "client/qt/kit/qt_socket.h"

#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>

namespace navlet::qt {

namespace {

constexpr int WSAEINTR = 10004;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAHOST_NOT_FOUND = 11001;

bool IsTlsError(QAbstractSocket::SocketError error) {
    return error == QAbstractSocket::SslHandshakeFailedError ||
           error == QAbstractSocket::SslInternalError ||
           error == QAbstractSocket::SslInvalidUserDataError;
}

} // namespace

TTlsTrust TTlsTrust::FromEnvironment() {
    TTlsTrust trust;
    const QString path = qEnvironmentVariable("NAVLET_TLS_CA");
    if (path.isEmpty())
        return trust;
    trust.extraCas = QSslCertificate::fromPath(path, QSsl::Pem);
    if (trust.extraCas.isEmpty())
        trust.fault = "NAVLET_TLS_CA names no PEM certificate (" + path.toStdString() + ").";
    return trust;
}

int WinsockErrorOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return WSAECONNREFUSED;
    case QAbstractSocket::HostNotFoundError:
        return WSAHOST_NOT_FOUND;
    case QAbstractSocket::SocketTimeoutError:
        return WSAETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return WSAENETDOWN;
    case QAbstractSocket::RemoteHostClosedError:
        return WSAECONNRESET;
    default:
        return WSAEINTR;
    }
}

TQtClientSocket::TQtClientSocket(TTlsTrust tlsTrust) : trust(std::move(tlsTrust)) {
    // Inside TLS the session begins when the handshake is done, not when TCP is.
    QObject::connect(&socket, &QSslSocket::connected, this, [this] {
        if (!secure)
            SocketConnected();
    });
    QObject::connect(&socket, &QSslSocket::encrypted, this, [this] { SocketConnected(); });
    QObject::connect(&socket, &QSslSocket::sslErrors, this,
                     [this](const QList<QSslError>& errors) { SocketSslErrors(errors); });
    QObject::connect(&socket, &QSslSocket::readyRead, this, [this] { SocketReadyRead(); });
    QObject::connect(&socket, &QSslSocket::disconnected, this, [this] { SocketDisconnected(); });
    QObject::connect(&socket, &QSslSocket::errorOccurred, this,
                     [this](QAbstractSocket::SocketError e) { SocketError(e); });
    handshakeTimer.setSingleShot(true);
    QObject::connect(&handshakeTimer, &QTimer::timeout, this, [this] {
        if (active && secure && !connected)
            FailSecurity("the server did not finish the TLS handshake in time.");
    });
}

TQtClientSocket::~TQtClientSocket() {
    // No notification reaches a bar that is going away.
    QObject::disconnect(&socket, nullptr, this, nullptr);
    socket.abort();
}

void TQtClientSocket::Open() {
    if (active)
        return;
    active = true;
    connected = false;
    ++generation;
    secure = Tls();
    handshakeFault.clear();
    securityFault.clear();
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (OnConnecting)
        OnConnecting(*this);
    if (!active)
        return; // the handler closed it
    const QString host = QString::fromStdString(Host());
    if (!secure) {
        socket.connectToHost(host, quint16(Port()));
        return;
    }
    // Never plain text where TLS was asked for: without it, the attempt fails.
    if (!QSslSocket::supportsSsl()) {
        DeferSecurityFault("this system has no TLS library for Qt.");
        return;
    }
    if (!trust.fault.empty()) {
        DeferSecurityFault(trust.fault);
        return;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!trust.extraCas.isEmpty())
        config.setCaCertificates(QSslConfiguration::systemCaCertificates() + trust.extraCas);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    socket.setSslConfiguration(config);
    handshakeTimer.start(handshakeTimeoutMs);
    socket.connectToHostEncrypted(host, quint16(Port()));
}

void TQtClientSocket::DeferSecurityFault(const std::string& fault) {
    // Reported from the event loop, as every other failure is, never from
    // inside Open.
    const uint32_t expected = generation;
    QTimer::singleShot(0, this, [this, expected, fault] {
        if (generation == expected && active)
            FailSecurity(fault);
    });
}

void TQtClientSocket::Close() {
    if (!active)
        return;
    Finish();
}

void TQtClientSocket::Finish() {
    handshakeTimer.stop();
    active = false;
    connected = false;
    readPending = false;
    ++generation;
    QObject::disconnect(&socket, &QSslSocket::disconnected, this, nullptr);
    // Requests written just before the close still leave, as they do when the
    // platform's socket is closed: hand them to the system first.
    socket.flush();
    socket.abort();
    QObject::connect(&socket, &QSslSocket::disconnected, this, [this] { SocketDisconnected(); });
    if (OnDisconnect)
        OnDisconnect(*this);
}

int TQtClientSocket::Send(const uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    if (socket.bytesToWrite() > SEND_BACKLOG_LIMIT)
        return 0;
    const qint64 n = socket.write(reinterpret_cast<const char*>(data), size);
    return n < 0 ? -1 : int(n);
}

int TQtClientSocket::Receive(uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    const qint64 n = socket.read(reinterpret_cast<char*>(data), size);
    return n < 0 ? 0 : int(n);
}

void TQtClientSocket::SocketConnected() {
    if (!active)
        return;
    handshakeTimer.stop();
    connected = true;
    if (OnConnect)
        OnConnect(*this);
    if (Connected() && socket.bytesAvailable() > 0)
        ScheduleRead();
}

void TQtClientSocket::SocketSslErrors(const QList<QSslError>& errors) {
    // Not ignored: the handshake fails next, and this names why.
    if (!errors.isEmpty() && handshakeFault.empty())
        handshakeFault = errors.first().errorString().trimmed().toStdString();
}

void TQtClientSocket::SocketReadyRead() {
    if (!Connected())
        return;
    NotifyRead();
}

void TQtClientSocket::NotifyRead() {
    readPending = false;
    if (OnRead)
        OnRead(*this);
    // The handler may have closed or reopened the socket; bytes it left wait
    // for another notification, as the platform's socket sends one.
    if (Connected() && socket.bytesAvailable() > 0)
        ScheduleRead();
}

void TQtClientSocket::ScheduleRead() {
    if (readPending)
        return;
    readPending = true;
    const uint32_t expected = generation;
    QTimer::singleShot(0, this, [this, expected] {
        if (generation != expected || !readPending || !Connected())
            return;
        NotifyRead();
    });
}

void TQtClientSocket::SocketDisconnected() {
    if (!active)
        return;
    if (secure && !connected) {
        FailSecurity(handshakeFault.empty()
                         ? "the server closed the connection during the TLS handshake."
                         : handshakeFault);
        return;
    }
    // What the peer sent before it closed is still read first, in bounded
    // rounds: a handler that reads nothing must not hold the close forever.
    constexpr int MAX_FINAL_READS = 64;
    for (int i = 0; i < MAX_FINAL_READS && Connected() && socket.bytesAvailable() > 0; ++i) {
        readPending = false;
        if (OnRead)
            OnRead(*this);
    }
    if (active)
        Finish();
}

void TQtClientSocket::SocketError(QAbstractSocket::SocketError error) {
    if (!active)
        return;
    if (secure && !connected) {
        if (IsTlsError(error)) {
            FailSecurity(handshakeFault.empty() ? socket.errorString().trimmed().toStdString()
                                                : handshakeFault);
            return;
        }
        if (error == QAbstractSocket::RemoteHostClosedError) {
            FailSecurity("the server closed the connection during the TLS handshake.");
            return;
        }
    }
    // Qt names no direction: requests still waiting to leave when the
    // connection fails are what failed, as the platform's send reports it.
    const bool sending = socket.bytesToWrite() > 0;
    // An orderly close by the peer, with nothing of ours lost, is a
    // disconnect, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError && !sending)
        return;
    if (!connected)
        Fail(TErrorEvent::eeConnect, WinsockErrorOf(error));
    else
        Fail(sending ? TErrorEvent::eeSend : TErrorEvent::eeReceive, WinsockErrorOf(error));
}

void TQtClientSocket::FailSecurity(const std::string& fault) {
    securityFault = fault;
    Fail(TErrorEvent::eeSecurity, WSAECONNABORTED);
}

void TQtClientSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0 && active)
        Close();
}

} // namespace navlet::qt
