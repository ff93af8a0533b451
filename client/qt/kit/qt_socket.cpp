#include "client/qt/kit/qt_socket.h"

#include <QPointer>
#include <QTimer>

namespace navlet::qt {

namespace {

constexpr int WSAEINTR = 10004;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAHOST_NOT_FOUND = 11001;

} // namespace

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

TQtClientSocket::TQtClientSocket() {
    QObject::connect(&socket, &QTcpSocket::connected, this, [this] { SocketConnected(); });
    QObject::connect(&socket, &QTcpSocket::readyRead, this, [this] { SocketReadyRead(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, this, [this] { SocketDisconnected(); });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, this,
                     [this](QAbstractSocket::SocketError e) { SocketError(e); });
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
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (OnConnecting)
        OnConnecting(*this);
    if (!active)
        return; // the handler closed it
    socket.connectToHost(QString::fromStdString(Host()), quint16(Port()));
}

void TQtClientSocket::Close() {
    if (!active)
        return;
    Finish();
}

void TQtClientSocket::Finish() {
    active = false;
    connected = false;
    readPending = false;
    ++generation;
    QObject::disconnect(&socket, &QTcpSocket::disconnected, this, nullptr);
    // Requests written just before the close still leave, as they do when the
    // platform's socket is closed: hand them to the system first.
    socket.flush();
    socket.abort();
    QObject::connect(&socket, &QTcpSocket::disconnected, this, [this] { SocketDisconnected(); });
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
    connected = true;
    if (OnConnect)
        OnConnect(*this);
    if (Connected() && socket.bytesAvailable() > 0)
        ScheduleRead();
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
    // An orderly close by the peer is a disconnect, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    Fail(connected ? TErrorEvent::eeReceive : TErrorEvent::eeConnect, WinsockErrorOf(error));
}

void TQtClientSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0 && active)
        Close();
}

} // namespace navlet::qt
