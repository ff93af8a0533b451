// The bar's client socket on Linux: a QTcpSocket behind the kit's five
// notifications. Everything runs on the thread of the Qt event loop.
#pragma once

#include <QObject>
#include <QTcpSocket>

#include "client/kit/socket.h"

namespace navlet::qt {

class TQtClientSocket : public QObject, public TClientSocket {
  public:
    TQtClientSocket();
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

  private:
    void SocketConnected();
    void SocketReadyRead();
    void SocketDisconnected();
    void SocketError(QAbstractSocket::SocketError error);
    // Calls OnRead, then again later while bytes wait unread.
    void NotifyRead();
    void ScheduleRead();
    void Fail(TErrorEvent event, int errorCode);
    void Finish(); // the connection is over: drop the handle, tell OnDisconnect

    QTcpSocket socket;
    bool active = false;
    bool connected = false;
    bool readPending = false;
    // Grows with every Open and Close, so that a queued read notification of
    // an older connection is dropped.
    uint32_t generation = 0;
};

class TQtSocketFactory : public TSocketFactory {
  public:
    std::unique_ptr<TClientSocket> CreateClientSocket() override {
        return std::make_unique<TQtClientSocket>();
    }
};

// The Winsock error number the bar's texts use for a Qt socket error.
int WinsockErrorOf(QAbstractSocket::SocketError error);

} // namespace navlet::qt
